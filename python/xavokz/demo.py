"""Captures a B-scan picture of the simulated card's synthetic scene: a probe in water over a
20 mm steel plate, moved along the plate (encoder 0) past a flaw. Each row of the picture is one
B-scan's A-scan: the interface echo at 40.5 µs, the back wall 6.76 µs later with its repeats, and
the flaw echo between them where the probe passes over it.

    python3 -m xavokz.demo [-o scene-bscan.png]
"""

import argparse
import sys

import numpy as np

from . import plot, sim
from .card import Card
from .errors import KZError

SAMPLES = 4800          # 72.7 µs at 66 MHz: the interface echo, the back wall and its three repeats
PULSE_WIDTH = 20        # pulse-clock periods
FLAW_FIRST, FLAW_LAST = 24, 39  # encoder counts over the flaw


def capture_scene(card, bscans=64):
    """Sets card `card` (initialised, simulated) to the scene with a flaw, captures `bscans`
    B-scans with encoder 0 at 0, 1, 2, ... and returns them as rows [bscans][samples]."""
    sim.set_data_source(card.index, sim.DATA_MODEL)
    sim.set_scene(card.index, flawEnabled=1, flawEncoderFirst=FLAW_FIRST, flawEncoderLast=FLAW_LAST,
                  flawElements=(0xFFFFFFFF,) * 8)
    card.set_bscans_per_bank_automatic(False)
    card.number_of_bscans_per_bank = 1
    card.sample_storage_mode = 0
    card.number_of_samples = SAMPLES
    card.transducer_pulse_width = PULSE_WIDTH
    rows = []
    for position in range(bscans):
        sim.set_encoder_count(card.index, 0, position)
        rows.append(card.bscan()[0])
    return np.stack(rows)


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m xavokz.demo", description=__doc__.split("\n\n")[0])
    parser.add_argument("-o", "--output", default="scene-bscan.png", help="picture to write (PNG)")
    parser.add_argument("-n", "--bscans", type=int, default=64, help="B-scans to capture (default 64)")
    arguments = parser.parse_args(argv)
    try:
        with Card(0) as card:
            image = capture_scene(card, arguments.bscans)
            figure = plot.bscan(image, card.sampling_frequency, card.start_delay, card.drop_number_of_samples,
                                ylabel="B-scan (encoder 0)",
                                title="Synthetic scene: interface, back wall and repeats, flaw")
    except (KZError, sim.NotSimulated, OSError) as error:
        print(f"{parser.prog}: {error}", file=sys.stderr)
        return 1
    plot.save(figure, arguments.output)
    print(f"B-scan picture of the synthetic scene written to {arguments.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
