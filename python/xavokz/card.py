"""A Kelzor card as a Python object: initialisation as a context manager, settings as
properties, state files, and A-scans and B-scans as NumPy arrays."""

import ctypes
import os

import numpy as np

from . import _library, capi
from .errors import KZError, call

SAMPLE_STORAGE_16_BIT = 0
SCAN_STORAGE_SINGLE_ASCAN = 1
_HEADER_BYTES = 4


def _setting(name, signed=False, doc=None):
    """A property over KZ_Set<name> and KZ_Get<name>."""
    value_type = ctypes.c_int32 if signed else ctypes.c_uint32

    def getter(self):
        value = value_type()
        call(f"KZ_Get{name}", self.index, ctypes.byref(value))
        return value.value

    def setter(self, value):
        call(f"KZ_Set{name}", self.index, int(value))

    return property(getter, setter, doc=doc or f"KZ_Get{name} / KZ_Set{name}")


def _reading(name, doc=None):
    """A read-only property over KZ_Get<name>."""

    def getter(self):
        value = ctypes.c_uint32()
        call(f"KZ_Get{name}", self.index, ctypes.byref(value))
        return value.value

    return property(getter, doc=doc or f"KZ_Get{name}")


class Card:
    """Card `index` of the library.

    `with Card(0) as card:` initialises the card (KZ_Initialise, or the older firmware with
    sequenced=False) and uninitialises it at the end of the block; open() and close() do the same
    by hand. A failing call raises KZError with the library's error code and message.
    """

    def __init__(self, index=0, sequenced=True):
        self.index = index
        self.sequenced = sequenced
        self._open = False

    # ---- life cycle ----

    @staticmethod
    def count():
        """The number of cards the library found."""
        return _library.api().KZ_ReturnNumberOfKelzorBoards()

    def open(self):
        call("KZ_InitialiseSequenced" if self.sequenced else "KZ_InitialiseNonSequenced", self.index)
        self._open = True
        return self

    def close(self):
        if self._open:
            self._open = False
            call("KZ_Uninitialise", self.index)

    def __enter__(self):
        return self.open()

    def __exit__(self, *exception):
        if exception[0] is None:
            self.close()
        else:
            try:
                self.close()
            except KZError:
                pass  # the exception that ended the block is the one to see
        return False

    @property
    def is_initialised(self):
        return bool(_library.api().KZ_GetIsInitialised(self.index))

    @property
    def state(self):
        """The library's state record of the card (a ctypes BoardState, live)."""
        states = _library.board_states()
        if not states or self.index >= self.count():
            raise KZError("pBoardStates", 0, f"no card {self.index}")
        return states[self.index]

    # ---- settings ----

    number_of_samples = _setting("NumberOfSamples")
    number_of_oversamples = _setting("NumberOfOversamples")
    drop_number_of_samples = _setting("DropNumberOfSamples")
    start_delay = _setting("StartDelay", doc="start delay in sample clocks")
    sample_storage_mode = _setting("SampleStorageMode", doc="0: 16-bit samples, 1: 8-bit samples")
    rectifier_mode = _setting("RectifierMode")
    scan_storage_options = _setting("ScanStorageOptions")
    number_of_ascans_per_bscan = _setting("NumberOfAScansPerBScan")
    number_of_bscans_per_bank = _setting("NumberOfBScansPerBank")
    sampling_frequency = _setting("SamplingFrequency", doc="sample clock in Hz")
    repetition_rate = _setting("RepetitionRate", doc="A-scans per second")
    repetition_time = _setting("RepetitionTime")
    bscan_repetition_rate = _setting("BScanRepetitionRate")
    trigger_select = _setting("TriggerSelect")
    sync_pulse_mode = _setting("SyncPulseMode")
    transducer_pulse_width = _setting("TransducerPulseWidth", doc="in pulse-clock periods")
    encoder_select = _setting("EncoderSelect")
    number_of_encoder_clicks_per_bscan = _setting("NumberOfEncoderClicksPerBScan")
    steps_in_sequence = _setting("StepsInSequence")
    sequence_step = _setting("SequenceStep")
    analogue_input = _setting("AnalogueInput")
    analogue_input_range = _setting("AnalogueInputRange")
    input_coupling = _setting("InputCoupling")
    input_impedance = _setting("InputImpedance")
    aux_input = _setting("AuxInput")
    zero_offset = _setting("ZeroOffset", signed=True)
    tcg_enable = _setting("TCGEnable")
    tcg_trigger_event = _setting("TCGTriggerEvent")
    sensor_array_aperture_size = _setting("SensorArrayApertureSize")
    is_bscan_mode_enabled = _setting("IsBScanModeEnabled")

    serial_number = _reading("SerialNumber")
    sampling_firmware_version = _reading("SamplingFirmwareVersion")
    sampling_firmware_revision = _reading("SamplingFirmwareRevision")
    peripheral_firmware_version = _reading("PeripheralFirmwareVersion")
    peripheral_firmware_revision = _reading("PeripheralFirmwareRevision")
    number_of_bscans_in_sram = _reading("NumberOfBScansInSRAM")

    def set_bscans_per_bank_automatic(self, flag):
        """With True the library chooses the B-scans per bank itself (as many as fit); B-scan
        retrieval needs one B-scan per bank: switch this off and set number_of_bscans_per_bank."""
        call("KZ_SetNumberOfBScansPerBankIsAutomatic", self.index, 1 if flag else 0)

    def set_value(self, name, value):
        """Sets a setting by its state-file key (KZ_SetValue; letter case does not matter)."""
        call("KZ_SetValue", self.index, os.fsencode(name), int(value))

    def __setitem__(self, name, value):
        self.set_value(name, value)

    def register(self, raw_offset):
        value = ctypes.c_uint32()
        call("KZ_GetRegister", self.index, raw_offset, ctypes.byref(value))
        return value.value

    def set_register(self, raw_offset, value):
        call("KZ_SetRegister", self.index, raw_offset, value)

    # ---- state files ----

    def save_state(self, path, section=capi.KZ_SFSAll):
        """Writes the card's settings to a state file (".dab" is appended unless the name ends
        in it)."""
        call("KZ_SaveState", self.index, os.fsencode(os.fspath(path)), section)

    def load_state(self, path, section=capi.KZ_SFSAll):
        call("KZ_LoadState", self.index, os.fsencode(os.fspath(path)), section)

    # ---- gates ----

    @property
    def maximum_number_of_gates(self):
        return _library.api().KZ_ReturnMaximumNumberOfGates(self.state.isSequenceCompatibleFirmware)

    def add_gate(self, gate_index, start, end, threshold, **fields):
        """Adds (or replaces) a gate of the current channel; `start` and `end` in samples, further
        GateDefinition fields by name (enabled defaults to 1, triggerGate to none)."""
        gate = capi.GateDefinition(gateIndex=gate_index, start=start, end=end, threshold=threshold,
                                   enabled=1, triggerGate=capi.KZ_GATE_TRIGGER_NONE)
        for name, value in fields.items():
            if not hasattr(gate, name):
                raise TypeError(f"GateDefinition has no field {name}")
            setattr(gate, name, value)
        call("KZ_AddGate", self.index, ctypes.byref(gate))

    def remove_gate(self, gate_index):
        call("KZ_RemoveGate", self.index, gate_index)

    def gates(self, channel=None):
        """The enabled gates of a channel (default: the current sequence step with
        sequence-compatible firmware, else channel 0) as GateDefinition copies."""
        if channel is None:
            channel = self.state.currentSequenceStep if self.state.isSequenceCompatibleFirmware else 0
        found = []
        for gate_index in range(self.maximum_number_of_gates):
            gate = capi.GateDefinition()
            call("KZ_GetGate2", self.index, channel, gate_index, ctypes.byref(gate))
            if gate.enabled:
                found.append(gate)
        return found

    # ---- scans ----

    def _sample_type(self):
        if self.sample_storage_mode == SAMPLE_STORAGE_16_BIT:
            return np.dtype("<i2")
        # 8-bit storage holds the code >> 4, or a magnitude of 0 to 255 when rectified
        return np.dtype("u1") if self.rectifier_mode else np.dtype("i1")

    def _oversamples_of_position(self, position):
        api = _library.api()
        if self.state.isSequenceCompatibleFirmware:
            return api.KZ_ReturnOversampleCountThisStep(self.index, position % self.steps_in_sequence)
        return api.KZ_ReturnOversampleCountThisStep(self.index, 0)

    @property
    def positions(self):
        """A-scan positions of a B-scan: the steps of the sequence with sequence-compatible
        firmware, else the A-scans per B-scan less their oversamples."""
        if self.state.isSequenceCompatibleFirmware:
            return self.steps_in_sequence
        count = ctypes.c_uint32()
        call("KZ_GetNumberOfAScansPerBScan", self.index, ctypes.byref(count))
        return count.value // max(self._oversamples_of_position(0), 1)

    @staticmethod
    def _samples_of_records(raw, oversamples, per_oversample, dtype):
        """The samples of an A-scan record: each oversample is a header word and
        `per_oversample` samples; a record cut short keeps the samples that arrived."""
        samples = []
        offset = 0
        for _ in range(oversamples):
            if offset + _HEADER_BYTES > len(raw):
                break
            offset += _HEADER_BYTES
            count = min(per_oversample, (len(raw) - offset) // dtype.itemsize)
            samples.append(np.frombuffer(raw, dtype, count, offset))
            offset += count * dtype.itemsize
        return np.concatenate(samples) if samples else np.empty(0, dtype)

    def ascan(self, position=0, bscan=0):
        """A-scan `position` of B-scan `bscan` of the next completed bank (KZ_GetAScan): its
        samples, the oversamples one after the other, as a NumPy array (int16 in 16-bit storage,
        int8 in 8-bit storage, uint8 when 8-bit and rectified)."""
        api = _library.api()
        dtype = self._sample_type()
        oversamples = self._oversamples_of_position(position)
        values = api.KZ_ReturnAScanSampleValuesThisStep(self.index, position)
        buffer = ctypes.create_string_buffer(_HEADER_BYTES * oversamples + dtype.itemsize * values)
        call("KZ_GetAScan", self.index, buffer, len(buffer), position, bscan)
        return self._samples_of_records(bytes(buffer), oversamples, values // max(oversamples, 1), dtype)

    def bscan(self):
        """The B-scan of the next completed bank (KZ_GetBScan) as a 2-D NumPy array, one row per
        A-scan position (a list of 1-D arrays when the positions differ in length).

        The card's transfer counts an A-scan's sample bytes from its header word on, so each row
        ends 4 bytes of samples short of the A-scan (2 samples in 16-bit storage)."""
        api = _library.api()
        dtype = self._sample_type()
        count = ctypes.c_uint32()
        call("KZ_GetNumberOfAScansPerBScan", self.index, ctypes.byref(count))  # oversamples included
        positions = self.positions
        values = [api.KZ_ReturnAScanSampleValuesThisStep(self.index, i) for i in range(positions)]
        lengths = [count * dtype.itemsize for count in values]
        # one entry per A-scan the card counts; the card fills those of the positions
        buffers = [ctypes.create_string_buffer(max(length, 1)) for length in lengths]
        pointers = (ctypes.c_void_p * max(count.value, positions, 1))(*[ctypes.addressof(b) for b in buffers])
        call("KZ_GetBScan", self.index, pointers)
        rows = []
        for i, buffer in enumerate(buffers):
            oversamples = max(self._oversamples_of_position(i), 1)
            rows.append(self._samples_of_records(bytes(buffer)[:lengths[i]], oversamples, values[i] // oversamples,
                                                 dtype))
        if rows and all(len(row) == len(rows[0]) for row in rows):
            return np.stack(rows)
        return rows

    def bscans(self, count=None):
        """An iterator over B-scans (`count` of them, or without end)."""
        taken = 0
        while count is None or taken < count:
            yield self.bscan()
            taken += 1

    def __repr__(self):
        return f"Card({self.index}, sequenced={self.sequenced})"
