"""The pictures: each rendered to PNG and read back, for its size, that it is not blank, and that
the echoes show where the scene puts them; the command line over kzctl scan files."""

import contextlib
import io
import subprocess
import sys

import h5py
import numpy as np
import pytest

from conftest import PACKAGE_DIR, assert_picture, needs_initialisation, pixel_of, read_png
from xavokz import capi, demo, plot, scanfile, sim

FS = 66e6
INTERFACE_US = 40.5
WALL_US = INTERFACE_US + 6.76
FLAW_US = INTERFACE_US + 4.05
WATER_US = 20.0
BLUE = np.array([31, 119, 180]) / 255    # the A-scan line
ORANGE = np.array([255, 127, 14]) / 255  # gate 0


def echo(samples, at_us, amplitude, fs=FS):
    """A 5 MHz Gaussian-windowed cosine peaking at `at_us`."""
    t = np.arange(samples) / fs * 1e6 - at_us
    return amplitude * np.exp(-(t / 0.25) ** 2) * np.cos(2 * np.pi * 5 * t)


def synthetic_ascan(samples=4800, flaw=False):
    signal = echo(samples, INTERFACE_US, 1000) + echo(samples, WALL_US, 400)
    if flaw:
        signal += echo(samples, FLAW_US, 300)
    return np.round(signal).astype(np.int16)


def synthetic_bscans(count=32, flaw_rows=range(10, 20)):
    return np.stack([synthetic_ascan(flaw=row in flaw_rows) for row in range(count)])


def strength(pixels, row, column, half_width):
    """The brightest pixel within `half_width` columns of a pixel (mean of R, G and B: the B-scan's
    colour scale runs from black at its floor to pale yellow at full scale)."""
    patch = pixels[row, max(column - half_width, 0):column + half_width + 1, :3]
    return float(patch.mean(axis=-1).max())


def has_colour(pixels, rows, columns, colour, tolerance=0.08):
    patch = pixels[rows[0]:rows[1] + 1, columns[0]:columns[1] + 1, :3]
    return bool((np.abs(patch - colour).max(axis=-1) < tolerance).any())


def assert_echo_rows(figure, path, rows_with, rows_without, at_us):
    """In a B-scan picture the echo at `at_us` is strongly coloured in `rows_with` and faint in
    `rows_without`."""
    pixels = read_png(path)
    axes = figure.axes[0]
    for row in rows_with:
        r, c = pixel_of(axes, at_us, row, pixels.shape[0])
        assert strength(pixels, r, c, 3) > 0.25, f"no echo at {at_us} µs in row {row}"
    for row in rows_without:
        r, c = pixel_of(axes, at_us, row, pixels.shape[0])
        assert strength(pixels, r, c, 3) < 0.15, f"an echo at {at_us} µs in row {row}"


# ---- pictures of arrays ----

def test_ascan_shows_the_echoes_at_their_times_and_each_gate_as_a_bar_at_its_threshold(tmp_path):
    samples = synthetic_ascan()
    gate = capi.GateDefinition(gateIndex=0, start=int(45 * 66), end=int(49 * 66), threshold=300, enabled=1)
    figure = plot.ascan(samples, FS, gates=[gate])
    path = tmp_path / "ascan.png"
    plot.save(figure, path)
    pixels = assert_picture(path)
    axes = figure.axes[0]
    height = pixels.shape[0]

    def line_reaches(at_us, low, high):
        top, left = pixel_of(axes, at_us - 0.3, high, height)
        bottom, right = pixel_of(axes, at_us + 0.3, low, height)
        return has_colour(pixels, (top, bottom), (left, right), BLUE)

    assert line_reaches(INTERFACE_US, 900, 1000)
    assert line_reaches(WALL_US, 330, 400)
    assert not line_reaches(WATER_US, 100, 1000)
    row, column = pixel_of(axes, 47.0, 300, height)
    assert has_colour(pixels, (row - 1, row + 1), (column - 2, column + 2), ORANGE)
    row, column = pixel_of(axes, 30.0, 300, height)  # outside the gate's window
    assert not has_colour(pixels, (row - 1, row + 1), (column - 2, column + 2), ORANGE)


def test_bscan_image_shows_each_echo_in_the_rows_that_have_it(tmp_path):
    image = synthetic_bscans()
    figure = plot.bscan(image, FS)
    path = tmp_path / "bscan.png"
    plot.save(figure, path)
    assert_picture(path)
    assert_echo_rows(figure, path, [0, 15, 31], [], INTERFACE_US)
    assert_echo_rows(figure, path, [0, 31], [], WALL_US)
    assert_echo_rows(figure, path, [10, 15, 19], [2, 25], FLAW_US)
    assert_echo_rows(figure, path, [], [0, 15, 31], WATER_US)


def test_cscan_map_puts_each_amplitude_at_its_bscan_and_position(tmp_path):
    bscans = np.zeros((40, 8, 100), dtype=np.int16)
    bscans[10:20, 2:5, 50] = -1500  # a flaw under B-scans 10-19, positions 2-4, inside the window
    bscans[:, :, 90] = 2000         # outside the window: must not show
    amplitudes = plot.gate_amplitudes(bscans, 40, 60)
    assert amplitudes.shape == (40, 8)
    figure = plot.cscan(amplitudes)
    path = tmp_path / "cscan.png"
    plot.save(figure, path)
    pixels = assert_picture(path)
    axes = figure.axes[0]
    hot = pixels[pixel_of(axes, 15, 3, pixels.shape[0])][:3]
    cold = pixels[pixel_of(axes, 30, 6, pixels.shape[0])][:3]
    assert np.abs(hot - np.array([0.993, 0.906, 0.144])).max() < 0.1  # the top of the colour scale
    assert np.abs(cold - np.array([0.267, 0.005, 0.329])).max() < 0.1  # its bottom


# ---- scan files and the command line ----

STATE = ("[SystemSubsystem]\r\nSerialNumber = 1\r\n\r\n[Gates]\r\n\r\n[Gate0]\r\nStart = 2904\r\nEnd = 3036\r\n"
         "Threshold = 200\r\nTriggerGate = 0xffffffff\r\nThresholdPolarity = 0\r\nTriggerMode = 0\r\n"
         "DistanceMetric = 2\r\nEnabled = 1\r\nAmplitudePeakSelect = 15\r\nDistancePeakSelect = 15\r\n"
         "\r\n[TCG]\r\nTCG0 = 255\r\n")


def write_scan_file(path, bscans, lengths=None, state=STATE):
    """A scan file as kzctl writes it: [bscans][positions][samples], or with `lengths` one
    dataset per position."""
    with h5py.File(path, "w") as f:
        f.attrs["format"] = np.bytes_("kzctl-scan")
        f.attrs["format_version"] = np.uint32(1)
        scan = f.create_group("scan")
        for name, value in (("bscans", bscans.shape[0]), ("positions", bscans.shape[1]),
                            ("sampling_frequency_hz", int(FS)), ("start_delay_samples", 0), ("drop_count", 0),
                            ("storage_mode", 0)):
            scan.attrs[name] = np.uint32(value)
        scan.attrs["sample_type"] = np.bytes_("int16")
        if lengths is None:
            scan.create_dataset("ascans", data=bscans)
        else:
            group = scan.create_group("ascans")
            group.attrs["positions"] = np.uint32(len(lengths))
            for k, length in enumerate(lengths):
                group.create_dataset(f"position_{k:03d}", data=bscans[:, k, :length])
        f.create_dataset("state", data=np.bytes_(state))


def plot_command(*arguments):
    """Runs the command line in this process: (exit code, standard error)."""
    errors = io.StringIO()
    with contextlib.redirect_stderr(errors):
        code = plot.main([str(a) for a in arguments])
    return code, errors.getvalue()


def test_module_runs_as_a_program(tmp_path):
    source = tmp_path / "scan.h5"
    write_scan_file(source, synthetic_bscans(4)[:, np.newaxis, :])
    result = subprocess.run([sys.executable, "-m", "xavokz.plot", str(source), "--bscan", "-o",
                             str(tmp_path / "bscan.png")], cwd=PACKAGE_DIR, capture_output=True, text=True,
                            timeout=120)
    assert result.returncode == 0, result.stderr
    assert_picture(tmp_path / "bscan.png")


def test_state_file_gates_are_read_from_the_gates_section_only():
    gates = scanfile.gates_of_state(STATE)
    assert [(g.index, g.start, g.end, g.threshold) for g in gates] == [(0, 2904, 3036, 200)]
    assert scanfile.gates_of_state("[Gates]\r\n") == []


@pytest.mark.parametrize("kind", ["ascan", "bscan", "cscan"])
def test_command_line_draws_each_picture_of_a_scan_file(tmp_path, kind):
    bscans = synthetic_bscans()[:, np.newaxis, :]  # one position per B-scan
    source = tmp_path / "scan.h5"
    write_scan_file(source, bscans)
    output = tmp_path / f"{kind}.png"
    code, errors = plot_command(source, f"--{kind}", "-o", output)
    assert code == 0, errors
    assert_picture(output)
    figure = plot.figure_of_file(source, kind)
    if kind == "bscan":  # one row per B-scan
        assert_echo_rows(figure, output, [12, 18], [2, 25], FLAW_US)
        assert_echo_rows(figure, output, [0, 31], [], INTERFACE_US)
    if kind == "cscan":  # the file's gate 0 (44 to 46 µs) sees the flaw under B-scans 10-19
        pixels = read_png(output)
        axes = figure.axes[0]
        hot = pixels[pixel_of(axes, 15, 0, pixels.shape[0])][:3]
        cold = pixels[pixel_of(axes, 25, 0, pixels.shape[0])][:3]
        assert hot[1] > 0.8 and cold[1] < 0.1  # yellow against dark violet


def test_command_line_reads_positions_of_different_lengths(tmp_path):
    bscans = np.repeat(synthetic_bscans(4)[:, np.newaxis, :], 3, axis=1)
    source = tmp_path / "uneven.h5"
    write_scan_file(source, bscans, lengths=[4800, 4000, 4800])
    scan = scanfile.read(source)
    assert [p.shape for p in scan.positions] == [(4, 4800), (4, 4000), (4, 4800)]
    for kind in ("ascan", "bscan", "cscan"):
        output = tmp_path / f"{kind}.png"
        code, errors = plot_command(source, f"--{kind}", "-o", output, "--position", 1)
        assert code == 0, errors
        assert_picture(output)


@pytest.mark.parametrize("arguments, message", [
    (["--bscan", "--bscan-index", "32"], "B-scan 32 out of 0 to 31"),
    (["--ascan", "--position", "1"], "position 1 out of 0 to 0"),
])
def test_command_line_refuses_what_the_file_does_not_hold(tmp_path, arguments, message):
    source = tmp_path / "scan.h5"
    write_scan_file(source, synthetic_bscans()[:, np.newaxis, :])
    code, errors = plot_command(source, *arguments, "-o", tmp_path / "out.png")
    assert code == 1
    assert message in errors
    assert not (tmp_path / "out.png").exists()


def test_command_line_refuses_a_file_that_is_not_a_scan_file(tmp_path):
    other = tmp_path / "other.h5"
    with h5py.File(other, "w") as f:
        f.create_dataset("data", data=np.zeros(4))
    code, errors = plot_command(other, "--ascan", "-o", tmp_path / "out.png")
    assert code == 1 and "not a kzctl-scan file" in errors
    code, errors = plot_command(tmp_path / "missing.h5", "--ascan", "-o", tmp_path / "out.png")
    assert code == 1 and "missing.h5" in errors


def test_pictures_of_kzctls_own_scan_file(tmp_path):
    folder = __import__("xavokz").library_folder()
    kzctl = folder / "kzctl" if folder else None
    if kzctl is None or not kzctl.exists():
        pytest.skip("kzctl is not built")
    source = tmp_path / "kzctl.h5"
    acquired = subprocess.run([str(kzctl), "acquire", "--bscans", "8", "--set", "NumberOfSamples=4800",
                               "--set", "TransducerPulseWidth=20", "-o", str(source)],
                              capture_output=True, text=True, timeout=120)
    assert acquired.returncode == 0, acquired.stderr
    for kind in ("ascan", "bscan", "cscan"):
        output = tmp_path / f"{kind}.png"
        code, errors = plot_command(source, f"--{kind}", "-o", output)
        assert code == 0, errors
        assert_picture(output)
        if kind == "bscan":  # the scene's echoes in every B-scan
            figure = plot.figure_of_file(source, kind)
            assert_echo_rows(figure, output, [0, 7], [], INTERFACE_US)
            assert_echo_rows(figure, output, [0, 7], [], WALL_US)
            assert_echo_rows(figure, output, [], [0, 7], WATER_US)


# ---- pictures of the simulated card's scene ----

@needs_initialisation
def test_scene_captured_from_the_simulated_card_shows_its_echoes(card, tmp_path):
    image = demo.capture_scene(card, bscans=48)
    assert image.dtype == np.int16
    figure = plot.bscan(image, card.sampling_frequency)
    path = tmp_path / "scene.png"
    plot.save(figure, path)
    assert_picture(path)
    assert_echo_rows(figure, path, [0, 20, 47], [], INTERFACE_US)
    assert_echo_rows(figure, path, [0, 47], [], WALL_US)
    assert_echo_rows(figure, path, [0, 47], [], INTERFACE_US + 2 * 6.76)  # the first repeat
    inside = [demo.FLAW_FIRST, (demo.FLAW_FIRST + demo.FLAW_LAST) // 2, demo.FLAW_LAST]
    assert_echo_rows(figure, path, inside, [demo.FLAW_FIRST - 4, demo.FLAW_LAST + 4], FLAW_US)
    assert_echo_rows(figure, path, [], [0, 30], WATER_US)


@needs_initialisation
def test_ascan_of_the_simulated_card_with_a_gate_on_the_back_wall(card, tmp_path):
    sim.set_data_source(0, sim.DATA_MODEL)
    card.number_of_samples = 4000
    card.add_gate(0, start=int(46.5 * 66), end=int(48 * 66), threshold=250)
    samples = card.ascan()
    figure = plot.ascan(samples, card.sampling_frequency, gates=card.gates())
    path = tmp_path / "ascan.png"
    plot.save(figure, path)
    pixels = assert_picture(path)
    axes = figure.axes[0]
    top, left = pixel_of(axes, INTERFACE_US - 0.3, 1100, pixels.shape[0])
    bottom, right = pixel_of(axes, INTERFACE_US + 0.3, 800, pixels.shape[0])
    assert has_colour(pixels, (top, bottom), (left, right), BLUE)
    row, column = pixel_of(axes, 47.2, 250, pixels.shape[0])
    assert has_colour(pixels, (row - 1, row + 1), (column - 2, column + 2), ORANGE)
