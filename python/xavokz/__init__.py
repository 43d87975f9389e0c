"""XAVOKZ for Python: drive Kelzor cards (or the simulated card) through the card library, get
A-scans and B-scans as NumPy arrays, and plot them (xavokz.plot).

    import xavokz
    with xavokz.Card(0) as card:
        card.number_of_samples = 4000
        image = card.bscan()

The library is found through XAVOKZ_LIBRARY_DIR, else the repository's build (build/default/bin),
else the installed library. `xavokz.api()` gives every exported function with its C types.
"""

from . import capi, sim
from ._library import LibraryNotFound, api, board_states, library_folder
from .card import Card
from .errors import KZError, code_string

__all__ = ["Card", "KZError", "LibraryNotFound", "api", "board_states", "capi", "code_string", "library_folder",
           "sim"]
__version__ = "1.0.0"
