"""Finding and loading the card library.

The folder of the libraries is, in this order: the environment variable XAVOKZ_LIBRARY_DIR when
it is set; the run-time folder of the build in the repository this package lies in
(build/default/bin); else the library is looked up where the system keeps installed libraries.
The simulated card's hardware-access library is loaded first from the same folder, so that its
card set can be chosen before the card library finds the cards (it does so once, when it loads).
"""

import ctypes
import ctypes.util
import os
import sys
import threading
from pathlib import Path

from . import capi

ENVIRONMENT_VARIABLE = "XAVOKZ_LIBRARY_DIR"

if sys.platform == "win32":
    _CARD_LIBRARY, _HAL_LIBRARY = "XAVOKZ.dll", "XAVOCommonHAL.dll"
elif sys.platform == "darwin":
    _CARD_LIBRARY, _HAL_LIBRARY = "libXAVOKZ.dylib", "libXAVOCommonHAL.dylib"
else:
    _CARD_LIBRARY, _HAL_LIBRARY = "libXAVOKZ.so", "libXAVOCommonHAL.so"

_BUILD_RUNTIME_FOLDER = Path(__file__).resolve().parents[2] / "build" / "default" / "bin"


class LibraryNotFound(OSError):
    """The card library is in none of the places it is looked for."""


class _Api:
    """The functions of one shared library with their result and argument types set. A function
    the library does not export is None (a hardware-access library for real cards has no control
    interface of the simulated card)."""

    def __init__(self, dll, table):
        self.dll = dll
        for name, result, arguments in table:
            function = getattr(dll, name, None)
            if function is not None:
                function.restype = result
                function.argtypes = list(arguments)
            setattr(self, name, function)


def library_folder():
    """The folder the libraries are loaded from, or None for the system's search."""
    configured = os.environ.get(ENVIRONMENT_VARIABLE)
    if configured:
        folder = Path(configured)
        if not (folder / _CARD_LIBRARY).exists():
            raise LibraryNotFound(f"{ENVIRONMENT_VARIABLE}={configured} holds no {_CARD_LIBRARY}")
        return folder
    if (_BUILD_RUNTIME_FOLDER / _CARD_LIBRARY).exists():
        return _BUILD_RUNTIME_FOLDER
    return None


def _load(folder, file_name, library_name):
    if folder is not None:
        return ctypes.CDLL(str(folder / file_name), mode=ctypes.RTLD_GLOBAL)
    found = ctypes.util.find_library(library_name)
    if found is None:
        raise LibraryNotFound(
            f"{file_name} not found: set {ENVIRONMENT_VARIABLE}, build the project (build/default/bin) "
            "or install the library")
    return ctypes.CDLL(found, mode=ctypes.RTLD_GLOBAL)


_lock = threading.RLock()
_hal = None
_card = None
_board_states = None


def hal():
    """The hardware-access library's control interface of the simulated card (loaded on first
    use); its functions are None when the library is not the simulated card."""
    global _hal
    with _lock:
        if _hal is None:
            _hal = _Api(_load(library_folder(), _HAL_LIBRARY, "XAVOCommonHAL"), capi.SIM_FUNCTIONS)
        return _hal


def is_loaded():
    return _card is not None


def api():
    """The card library's functions (loaded on first use; loading finds the cards)."""
    global _card
    with _lock:
        if _card is None:
            folder = library_folder()
            hal()
            _card = _Api(_load(folder, _CARD_LIBRARY, "XAVOKZ"), capi.FUNCTIONS)
        return _card


def board_states():
    """The library's exported `pBoardStates`: a pointer to one BoardState per card (null while
    no card was found)."""
    global _board_states
    with _lock:
        if _board_states is None:
            _board_states = ctypes.POINTER(capi.BoardState).in_dll(api().dll, "pBoardStates")
        return _board_states
