"""Fixtures of the Python tests: the library of the build (XAVOKZ_LIBRARY_DIR), an initialised
simulated card, and reading back rendered pictures."""

import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import xavokz
from xavokz import sim

PACKAGE_DIR = Path(__file__).resolve().parents[1]


def initialisation_available():
    return xavokz.api().KZ_Initialise is not None


needs_initialisation = pytest.mark.skipif(
    "not __import__('conftest').initialisation_available()",
    reason="the card library of this build cannot initialise a card yet (no KZ_Initialise)")


@pytest.fixture
def card():
    """Card 0 of the simulated card set, initialised, with one B-scan per bank of one A-scan
    position; the card's simulation knobs are back to their defaults afterwards."""
    if not initialisation_available():
        pytest.skip("the card library of this build cannot initialise a card yet (no KZ_Initialise)")
    with xavokz.Card(0) as opened:
        opened.set_bscans_per_bank_automatic(False)
        opened.number_of_bscans_per_bank = 1
        try:
            yield opened
        finally:
            sim.clear_fault_rules()
            sim.set_data_source(0, sim.DATA_MODEL)
            sim.set_scene(0)
            sim.set_encoder_count(0, 0, 0)


def run_python(code, **environment):
    """Runs `code` in a fresh interpreter (a fresh library load) with the package importable;
    returns the completed process."""
    env = dict(os.environ, PYTHONPATH=str(PACKAGE_DIR), **environment)
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=120)


def read_png(path):
    """The picture's pixels as [rows][columns][RGBA] floats."""
    from matplotlib import image

    return image.imread(str(path))


def pixel_of(axes, x, y, height):
    """The (row, column) of the PNG pixel at data point (x, y) of `axes`, for a picture of
    `height` rows saved at the figure's own resolution."""
    column, row_from_bottom = axes.transData.transform((x, y))
    return int(round(height - row_from_bottom)), int(round(column))


def assert_picture(path, size=(800, 450)):
    """The file is a PNG of `size` (width, height) pixels that is not blank."""
    pixels = read_png(path)
    assert (pixels.shape[1], pixels.shape[0]) == size
    colours = np.unique((pixels[..., :3] * 255).astype(np.uint8).reshape(-1, 3), axis=0)
    assert len(colours) > 50, "the picture is (nearly) blank"
    return pixels
