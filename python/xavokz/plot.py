"""Pictures of scans with Matplotlib: an A-scan with its gates, a B-scan image and a C-scan map.

The figures are drawn with the Agg renderer and do not touch pyplot's global state, so they work
in scripts, tests and notebooks alike. From the command line, for kzctl scan files:

    python3 -m xavokz.plot FILE.h5 --ascan | --bscan | --cscan -o FILE.png
"""

import argparse
import sys

import numpy as np
from matplotlib.backends.backend_agg import FigureCanvasAgg
from matplotlib.figure import Figure

from . import scanfile

FIGURE_SIZE = (8.0, 4.5)  # inches
DPI = 100
BSCAN_COLOURS = "inferno"
CSCAN_COLOURS = "viridis"
GATE_COLOURS = ("tab:orange", "tab:green", "tab:red", "tab:purple", "tab:brown", "tab:pink", "tab:olive", "tab:cyan")


def _figure():
    figure = Figure(figsize=FIGURE_SIZE, dpi=DPI)
    FigureCanvasAgg(figure)
    return figure, figure.add_subplot()


def sample_times_us(count, sampling_frequency_hz, start_delay_samples=0, drop_count=0):
    """The time after the trigger of each stored sample, in µs: sample j is taken
    (delay + j (drop + 1)) sample clocks after the trigger."""
    clocks = start_delay_samples + np.arange(count) * (drop_count + 1)
    return clocks / sampling_frequency_hz * 1e6


def _gate_fields(gate):
    if isinstance(gate, dict):
        get = gate.get
    else:
        def get(name, default=None):
            return getattr(gate, name, default)
    polarity = get("thresholdPolarity", get("polarity", 0))
    index = get("gateIndex", get("index", None))
    return index, get("start"), get("end"), get("threshold"), polarity


def ascan(samples, sampling_frequency_hz, start_delay_samples=0, drop_count=0, gates=(), title=None):
    """Amplitude over time in µs, each gate a bar over its window at its threshold (below the
    axis as well for negative or both polarities). Gates are GateDefinition records,
    scanfile.Gate objects or dicts; their windows count sample clocks from the first sample."""
    figure, axes = _figure()
    samples = np.asarray(samples)
    times = sample_times_us(len(samples), sampling_frequency_hz, start_delay_samples, drop_count)
    axes.plot(times, samples, color="tab:blue", linewidth=0.8, label="A-scan")
    for number, gate in enumerate(gates):
        index, start, end, threshold, polarity = _gate_fields(gate)
        window = (np.array([start, end]) + start_delay_samples) / sampling_frequency_hz * 1e6
        colour = GATE_COLOURS[(index if index is not None else number) % len(GATE_COLOURS)]
        label = f"gate {index if index is not None else number}"
        levels = {0: [threshold], 1: [-threshold], 2: [threshold, -threshold]}.get(polarity, [threshold])
        for level in levels:
            axes.hlines(level, window[0], window[1], colors=colour, linewidth=4, label=label)
            label = None
    axes.set_xlabel("time (µs)")
    axes.set_ylabel("amplitude (counts)")
    if len(times):
        axes.set_xlim(times[0], times[-1])
    axes.grid(True, linewidth=0.3)
    if len(gates):
        axes.legend(loc="upper right", fontsize="small")
    axes.set_title(title or "A-scan")
    figure.tight_layout()
    return figure


def full_scale_of(samples):
    """The magnitude of a full-scale sample of an array of stored samples: 2048 for 16-bit codes,
    128 for 8-bit codes, 256 for rectified 8-bit magnitudes, else the largest magnitude."""
    samples = np.asarray(samples)
    known = {np.dtype(np.int16): 2048, np.dtype(np.int8): 128, np.dtype(np.uint8): 256}
    if samples.dtype in known:
        return known[samples.dtype]
    return max(float(np.abs(samples).max()) if samples.size else 1.0, 1.0)


def peak_columns(magnitudes, columns):
    """[rows][samples] -> [rows][<= columns]: the largest magnitude of each run of samples, so
    that a narrow echo keeps its peak however many samples a pixel covers. Returns the array and
    the samples per column."""
    samples = magnitudes.shape[1]
    per_column = max(1, -(-samples // columns))
    padded = np.zeros((magnitudes.shape[0], -(-samples // per_column) * per_column), magnitudes.dtype)
    padded[:, :samples] = magnitudes
    return padded.reshape(magnitudes.shape[0], -1, per_column).max(axis=2), per_column


def bscan(image, sampling_frequency_hz, start_delay_samples=0, drop_count=0, ylabel="A-scan position",
          title=None, full_scale=None, dynamic_range_db=48.0, columns=512):
    """An image of rows of A-scans: time in µs across, the rows down, the amplitude's magnitude as
    colour in dB to `full_scale` (default: that of the samples' type) over `dynamic_range_db`, so
    that weak echoes show beside strong ones. Each column shows the peak of the samples it covers
    (at most `columns` columns)."""
    figure, axes = _figure()
    image = np.asarray(image)
    if image.ndim == 1:
        image = image[np.newaxis, :]
    full_scale = full_scale_of(image) if full_scale is None else full_scale
    magnitudes, per_column = peak_columns(np.abs(image.astype(np.float64)), columns)
    floor = full_scale * 10 ** (-(dynamic_range_db + 1) / 20)  # silence shows as the bottom colour
    decibels = 20 * np.log10(np.maximum(magnitudes, floor) / full_scale)
    step = (drop_count + 1) / sampling_frequency_hz * 1e6
    first = start_delay_samples / sampling_frequency_hz * 1e6
    shown = axes.imshow(decibels, aspect="auto", interpolation="nearest", cmap=BSCAN_COLOURS,
                        vmin=-dynamic_range_db, vmax=0.0, origin="upper",
                        extent=(first - step / 2, first + (magnitudes.shape[1] * per_column - 0.5) * step,
                                image.shape[0] - 0.5, -0.5))
    figure.colorbar(shown, ax=axes, label="amplitude (dB to full scale)")
    axes.set_xlabel("time (µs)")
    axes.set_ylabel(ylabel)
    axes.set_title(title or "B-scan")
    figure.tight_layout()
    return figure


def gate_amplitudes(scans, first_sample=0, last_sample=None):
    """The largest magnitude of each A-scan within samples [first, last]: scans [..][samples]
    -> [..]."""
    scans = np.asarray(scans)
    window = scans[..., first_sample:None if last_sample is None else last_sample + 1]
    return np.abs(window.astype(np.int32)).max(axis=-1)


def cscan(amplitudes, title=None, label="gate amplitude (counts)"):
    """A map of gate amplitudes [B-scans][positions]: B-scan index across, position down."""
    figure, axes = _figure()
    amplitudes = np.asarray(amplitudes, dtype=np.float64)
    if amplitudes.ndim == 1:
        amplitudes = amplitudes[:, np.newaxis]
    shown = axes.imshow(amplitudes.T, aspect="auto", interpolation="nearest", cmap=CSCAN_COLOURS, origin="upper",
                        extent=(-0.5, amplitudes.shape[0] - 0.5, amplitudes.shape[1] - 0.5, -0.5))
    figure.colorbar(shown, ax=axes, label=label)
    axes.set_xlabel("B-scan")
    axes.set_ylabel("A-scan position")
    axes.set_title(title or "C-scan")
    figure.tight_layout()
    return figure


def save(figure, path):
    figure.savefig(path, dpi=DPI)


# ---- scan files ----

def _window_in_samples(scan, gate_window):
    """The stored-sample window [first, last] of a gate window in sample clocks."""
    start, end = gate_window
    step = scan.drop_count + 1
    return max(start // step, 0), max(end // step, 0)


def figure_of_file(path, kind, bscan_index=0, position=0, gate_window=None):
    """The picture `kind` ("ascan", "bscan" or "cscan") of a kzctl scan file."""
    scan = scanfile.read(path)
    if scan.bscans == 0:
        raise scanfile.ScanFileError(f"{path}: holds no B-scan")
    if not 0 <= bscan_index < scan.bscans:
        raise scanfile.ScanFileError(f"{path}: B-scan {bscan_index} out of 0 to {scan.bscans - 1}")
    if not 0 <= position < len(scan.positions):
        raise scanfile.ScanFileError(f"{path}: position {position} out of 0 to {len(scan.positions) - 1}")
    timing = dict(sampling_frequency_hz=scan.sampling_frequency_hz, start_delay_samples=scan.start_delay_samples,
                  drop_count=scan.drop_count)
    if kind == "ascan":
        return ascan(scan.positions[position][bscan_index], gates=scan.gates,
                     title=f"A-scan: B-scan {bscan_index}, position {position}", **timing)
    if kind == "bscan":
        if len(scan.positions) > 1:
            image = scan.bscan(bscan_index)
            if isinstance(image, list):
                width = min(len(row) for row in image)
                image = np.stack([row[:width] for row in image])
            return bscan(image, title=f"B-scan {bscan_index}", **timing)
        # one position per B-scan: the B-scans of the file, one row each
        return bscan(scan.positions[0], ylabel="B-scan", title=f"B-scans of position 0 ({scan.bscans})", **timing)
    if kind == "cscan":
        if gate_window is None and scan.gates:
            gate_window = (scan.gates[0].start, scan.gates[0].end)
        first, last = _window_in_samples(scan, gate_window) if gate_window else (0, None)
        amplitudes = np.stack([gate_amplitudes(p, first, last) for p in scan.positions], axis=1)
        where = f"samples {first} to {last}" if last is not None else "whole A-scan"
        return cscan(amplitudes, title=f"C-scan ({where})")
    raise ValueError(f"unknown picture {kind}")


def _gate_window(text):
    try:
        start, end = (int(part, 0) for part in text.split(":"))
    except ValueError as error:
        raise argparse.ArgumentTypeError("expected START:END in sample clocks") from error
    if end < start:
        raise argparse.ArgumentTypeError("END before START")
    return start, end


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m xavokz.plot",
                                     description="Draws an A-scan, a B-scan image or a C-scan map of a scan file "
                                                 "written by kzctl.")
    parser.add_argument("file", help="scan file written by kzctl acquire (HDF5)")
    kind = parser.add_mutually_exclusive_group(required=True)
    kind.add_argument("--ascan", dest="kind", action="store_const", const="ascan", help="one A-scan with its gates")
    kind.add_argument("--bscan", dest="kind", action="store_const", const="bscan",
                      help="a B-scan image (with one position per B-scan: every B-scan of the file)")
    kind.add_argument("--cscan", dest="kind", action="store_const", const="cscan",
                      help="gate amplitude over B-scan and position")
    parser.add_argument("-o", "--output", required=True, help="picture to write (PNG)")
    parser.add_argument("-b", "--bscan-index", type=int, default=0, help="B-scan of --ascan and --bscan (default 0)")
    parser.add_argument("-p", "--position", type=int, default=0, help="A-scan position of --ascan (default 0)")
    parser.add_argument("-g", "--gate", type=_gate_window, metavar="START:END",
                        help="window of --cscan in sample clocks (default: the first gate of the file's state, "
                             "else the whole A-scan)")
    arguments = parser.parse_args(argv)
    try:
        figure = figure_of_file(arguments.file, arguments.kind, arguments.bscan_index, arguments.position,
                                arguments.gate)
        save(figure, arguments.output)
    except (OSError, scanfile.ScanFileError, KeyError) as error:
        print(f"{parser.prog}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
