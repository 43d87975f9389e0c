"""The Card class against the simulated card: life cycle, settings, state files, scans (ramp
content exact), the simulated card's controls, and failures as exceptions."""

import ctypes

import numpy as np
import pytest

import xavokz
from conftest import needs_initialisation, run_python
from xavokz import KZError, sim

BAD_CARD_INDEX = 0x7900


# ---- failures, without an initialised card ----

def test_failure_raises_the_code_and_message_the_library_reported():
    card = xavokz.Card(0)  # not initialised
    with pytest.raises(KZError) as raised:
        card.number_of_samples
    assert raised.value.code == BAD_CARD_INDEX
    assert raised.value.message == xavokz.code_string(BAD_CARD_INDEX) != ""
    assert raised.value.function == "KZ_GetNumberOfSamples"
    assert "0x7900" in str(raised.value)


def test_failure_without_a_code_of_its_own_does_not_take_an_older_one():
    with pytest.raises(KZError):
        xavokz.Card(0).sample_storage_mode  # leaves 0x7900 as the last error
    # the register layer refuses an index beyond the cards without a report
    with pytest.raises(KZError) as raised:
        xavokz.Card(7).register(0)
    assert raised.value.code == 0
    assert "no error code" in raised.value.message


def test_board_state_record_reads_through_the_exported_pointer():
    states = xavokz.board_states()
    assert states[0].isPresent == 1
    assert states[0].isInitialised == 0


def test_library_is_found_through_the_environment_variable(tmp_path):
    found = run_python("import xavokz; print(xavokz.library_folder()); print(xavokz.Card.count())")
    assert found.returncode == 0, found.stderr
    folder, cards = found.stdout.split()
    assert folder == str(xavokz.library_folder()) and cards == "1"
    missing = run_python("import xavokz; xavokz.api()", XAVOKZ_LIBRARY_DIR=str(tmp_path))
    assert missing.returncode != 0
    assert "LibraryNotFound" in missing.stderr and str(tmp_path) in missing.stderr


def test_simulated_card_set_is_chosen_before_the_library_finds_the_cards():
    code = """
import xavokz
from xavokz import sim
sim.set_number_of_cards(3)
print(xavokz.Card.count())
try:
    sim.set_number_of_cards(1)
except sim.SimulationError as error:
    print("refused")
"""
    result = run_python(code)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["3", "refused"]


@needs_initialisation
def test_second_card_of_a_two_card_set_initialises_on_its_own():
    code = """
import xavokz
xavokz.sim.set_number_of_cards(2)
with xavokz.Card(1) as card:
    print(card.is_initialised, xavokz.Card(0).is_initialised)
print(xavokz.Card(1).is_initialised)
"""
    result = run_python(code, XAVO_ERROR_QUIET="1")
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["True", "False", "False"]


# ---- an initialised card ----

@needs_initialisation
def test_context_manager_initialises_and_uninitialises():
    with xavokz.Card(0) as card:
        assert card.is_initialised
        assert card.state.isInitialised == 1
    assert not card.is_initialised
    with pytest.raises(KZError) as raised:
        card.number_of_samples
    assert raised.value.code == BAD_CARD_INDEX


@needs_initialisation
def test_failure_inside_the_block_still_uninitialises():
    with pytest.raises(ZeroDivisionError):
        with xavokz.Card(0) as card:
            1 / 0
    assert not card.is_initialised


@needs_initialisation
def test_board_state_record_agrees_with_the_getters(card):
    # fields far into the record: a layout fault in the ctypes record shows here
    state = card.state
    assert state.samplingFrequency == card.sampling_frequency == 66_000_000
    assert state.currentSequenceStep == card.sequence_step
    assert state.isSequenceCompatibleFirmware == 1
    assert state.numberOfBScansPerBank == card.number_of_bscans_per_bank == 1
    assert state.updateSampleParametersHookCount == 0


@needs_initialisation
@pytest.mark.parametrize("setting, value", [
    ("number_of_samples", 2000),
    ("start_delay", 1234),
    ("drop_number_of_samples", 3),
    ("repetition_rate", 2000),
    ("transducer_pulse_width", 40),
    ("sample_storage_mode", 1),
    ("rectifier_mode", 2),
    ("zero_offset", -17),
])
def test_settings_read_back_what_was_set(card, setting, value):
    setattr(card, setting, value)
    assert getattr(card, setting) == value


@needs_initialisation
def test_named_settings_go_through_the_state_file_keys(card):
    card.set_value("NumberOfSamples", 3000)
    assert card.number_of_samples == 3000
    card["startdelay"] = 99  # letter case does not matter
    assert card.start_delay == 99
    with pytest.raises(KZError) as raised:
        card.set_value("NoSuchSetting", 1)
    assert raised.value.code != 0 and raised.value.message == xavokz.code_string(raised.value.code)


@needs_initialisation
def test_refused_setting_raises_and_keeps_the_old_value(card):
    card.number_of_samples = 1000
    with pytest.raises(KZError) as raised:
        card.number_of_samples = 70000
    assert raised.value.code != 0
    assert card.number_of_samples == 1000


@needs_initialisation
def test_state_file_saves_and_restores_the_settings(card, tmp_path):
    card.number_of_samples = 2400
    card.start_delay = 500
    card.add_gate(1, start=100, end=400, threshold=321)
    card.save_state(tmp_path / "settings")
    assert (tmp_path / "settings.dab").exists()
    card.number_of_samples = 1000
    card.start_delay = 0
    card.remove_gate(1)
    assert card.gates() == []
    card.load_state(tmp_path / "settings.dab")
    assert (card.number_of_samples, card.start_delay) == (2400, 500)
    assert [(g.gateIndex, g.start, g.end, g.threshold) for g in card.gates()] == [(1, 100, 400, 321)]
    with pytest.raises(KZError):
        card.load_state(tmp_path / "missing.dab")


@needs_initialisation
@pytest.mark.parametrize("mode, dtype", [(0, np.int16), (1, np.int8)])
def test_ascan_holds_the_ramp_exactly(card, mode, dtype):
    sim.set_data_source(0, sim.DATA_RAMP)
    card.sample_storage_mode = mode
    card.number_of_samples = 1000
    samples = card.ascan()
    assert samples.dtype == dtype and samples.shape == (1000,)
    expected = sim.ramp(0, 0, 1000)
    np.testing.assert_array_equal(samples, expected if mode == 0 else (expected >> 4).astype(np.int8))


def ramp_record(position, samples, oversamples, length):
    """The first `length` samples of a position's ramp record, the oversamples one after the
    other."""
    return np.concatenate([sim.ramp(0, position, samples, o) for o in range(oversamples)])[:length]


@needs_initialisation
@pytest.mark.parametrize("positions", [
    [(600, 1)] * 4,          # (samples per oversample, oversamples) of each position
    [(300, 2), (500, 1)],
])
def test_bscan_of_several_positions_holds_the_ramp_exactly(card, positions):
    sim.set_data_source(0, sim.DATA_RAMP)
    for step, (samples, oversamples) in enumerate(positions):
        card.sequence_step = step
        card.number_of_oversamples = oversamples
        card.number_of_samples = samples * oversamples
    card.steps_in_sequence = len(positions)
    card.sequence_step = 0
    assert card.positions == len(positions)
    image = card.bscan()
    # each A-scan moves its sample bytes counted from its first header word, so the header words
    # of its oversamples take the place of as many samples at its end
    lengths = [samples * oversamples - 2 * oversamples for samples, oversamples in positions]
    if len(set(lengths)) == 1:
        assert image.shape == (len(positions), lengths[0]) and image.dtype == np.int16
    else:
        assert isinstance(image, list) and [len(row) for row in image] == lengths
    for k, (samples, oversamples) in enumerate(positions):
        np.testing.assert_array_equal(image[k], ramp_record(k, samples, oversamples, lengths[k]))
        np.testing.assert_array_equal(card.ascan(k), ramp_record(k, samples, oversamples, samples * oversamples))


@needs_initialisation
def test_scans_of_the_older_firmware_hold_the_ramp_exactly():
    with xavokz.Card(0, sequenced=False) as card:
        assert card.state.isSequenceCompatibleFirmware == 0
        card.set_bscans_per_bank_automatic(False)
        card.number_of_bscans_per_bank = 1
        sim.set_data_source(0, sim.DATA_RAMP)
        card.number_of_samples = 500
        card.number_of_ascans_per_bscan = 3
        assert card.positions == 3
        image = card.bscan()
        assert image.shape == (3, 498)
        for k in range(3):
            np.testing.assert_array_equal(image[k], sim.ramp(0, k, 498))
        np.testing.assert_array_equal(card.ascan(2), sim.ramp(0, 2, 500))
        sim.set_data_source(0, sim.DATA_MODEL)


@needs_initialisation
def test_bscans_iterator_yields_one_new_bscan_after_another(card):
    sim.set_data_source(0, sim.DATA_RAMP)
    card.number_of_samples = 200
    before = sim.capture_status(0).releases
    images = list(card.bscans(5))
    assert len(images) == 5 and all(image.shape == (1, 198) for image in images)
    assert sim.capture_status(0).releases - before == 5
    np.testing.assert_array_equal(images[-1][0], sim.ramp(0, 0, 198))


@needs_initialisation
def test_constant_data_and_a_failing_transfer(card):
    sim.set_data_source(0, sim.DATA_CONSTANT, -123)
    card.number_of_samples = 100
    assert set(card.bscan()[0].tolist()) == {-123}
    rule = sim.add_fault_rule(operations=xavokz.capi.XAVO_SIM_OP_DMA_TRANSFER, card=0)
    with pytest.raises(KZError) as raised:
        card.bscan()
    assert raised.value.function == "KZ_GetBScan"
    assert sim.fault_rule_hits(rule) == 1
    sim.remove_fault_rule(rule)
    assert set(card.bscan()[0].tolist()) == {-123}


@needs_initialisation
def test_bscan_refused_with_two_bscans_per_bank(card):
    card.number_of_bscans_per_bank = 2
    with pytest.raises(KZError) as raised:
        card.bscan()
    assert raised.value.code == 0x5B08
    assert raised.value.message.startswith("KZ_GetBScan fail: invalid number of B-scans per bank")


def test_sim_records_and_calls_refuse_unknown_fields():
    with pytest.raises(TypeError):
        sim.set_scene(0, noSuchField=1)
    with pytest.raises(TypeError):
        sim.add_fault_rule(noSuchField=1)
    scene = sim.default_scene()
    assert (scene.interfaceNanoseconds, scene.backWallNanoseconds) == (40_500, 6_760)
    assert isinstance(scene.flawElements, ctypes.Array)
