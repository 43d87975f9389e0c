"""The simulated card's control interface, for tests and notebooks: the card set, the data the
cards capture (ramp, constant, the synthetic scene), card time, encoders and fault rules.

Every function needs the project's simulated hardware-access library; with a library for real
cards they raise NotSimulated. The raw control calls are `xavokz.sim.api()`'s attributes
(XAVO_SIM_...), with the records and constants in `xavokz.capi`.
"""

import ctypes

from . import _library, capi

DATA_MODEL = capi.XAVO_SIM_DATA_MODEL
DATA_RAMP = capi.XAVO_SIM_DATA_RAMP
DATA_CONSTANT = capi.XAVO_SIM_DATA_CONSTANT
KELZOR_DEVICE_IDS = (0x86E1, 0x5602)


class NotSimulated(RuntimeError):
    """The loaded hardware-access library is not the simulated card."""


class SimulationError(RuntimeError):
    """A control call of the simulated card refused its arguments."""


def api():
    """The control functions of the simulated card."""
    hal = _library.hal()
    if hal.XAVO_SIM_ReturnNumberOfCards is None:
        raise NotSimulated("the hardware-access library is not the simulated card")
    return hal


def is_simulated():
    try:
        api()
    except NotSimulated:
        return False
    return True


def _set_fields(record, fields):
    """Sets fields of a ctypes record by their C names; a sequence fills an array field."""
    for name, value in fields.items():
        if not hasattr(record, name):
            raise TypeError(f"{type(record).__name__} has no field {name}")
        if isinstance(value, (list, tuple)):
            value = type(getattr(record, name))(*value)
        setattr(record, name, value)


def _check(name, *arguments):
    if getattr(api(), name)(*arguments) == 0:
        raise SimulationError(f"{name}{arguments} refused")


def set_number_of_cards(count, device_id=0x86E1):
    """Chooses the simulated cards. The card library finds its cards once, when it loads: call
    this before the first use of the library (or set XAVO_SIM_CARDS in the environment)."""
    if _library.is_loaded():
        raise SimulationError("the card library is loaded and has found its cards already")
    _check("XAVO_SIM_ConfigureCards", count, device_id)


def number_of_cards():
    return api().XAVO_SIM_ReturnNumberOfCards()


def set_data_source(card, source, constant_code=0):
    """What card `card` captures: DATA_MODEL (the analogue input with the synthetic scene),
    DATA_RAMP (sample j of oversample o of position k in B-scan b is
    ((7b + 131k + 17o + j) mod 4096) - 2048) or DATA_CONSTANT (every sample `constant_code`)."""
    _check("XAVO_SIM_SetDataSource", card, source, constant_code)


def ramp(bscan, position, samples, oversample=0):
    """The codes the ramp puts in the first `samples` samples of an A-scan (16-bit storage)."""
    import numpy as np

    j = np.arange(samples, dtype=np.int64)
    return ((7 * bscan + 131 * position + 17 * oversample + j) % 4096 - 2048).astype(np.int16)


def default_scene():
    scene = capi.XAVO_SIM_Scene()
    api().XAVO_SIM_GetDefaultScene(ctypes.byref(scene))
    return scene


def set_scene(card, scene=None, **fields):
    """Sets the synthetic scene of card `card`: `scene` (default: the default scene) with the
    XAVO_SIM_Scene fields given by name changed, for example flawEnabled=1. Returns it."""
    scene = default_scene() if scene is None else scene
    _set_fields(scene, fields)
    _check("XAVO_SIM_SetScene", card, ctypes.byref(scene))
    return scene


def advance_card_time(card, nanoseconds):
    """Moves card time on (card XAVO_SIM_ANY: every card)."""
    _check("XAVO_SIM_AdvanceCardTime", card, int(nanoseconds))


def set_encoder_count(card, encoder, count):
    _check("XAVO_SIM_SetEncoderCount", card, encoder, count & 0xFFFFFFFF)


def capture_status(card):
    status = capi.XAVO_SIM_CaptureStatus()
    _check("XAVO_SIM_GetCaptureStatus", card, ctypes.byref(status))
    return status


def add_fault_rule(operations=0, card=capi.XAVO_SIM_ANY, address_first=0, address_last=0xFFFFFFFF, skip=0,
                   count=0, action=capi.XAVO_SIM_ACTION_FAIL, **fields):
    """Adds a fault rule (see XAVO_SIM_FaultRule; further fields by their C names) and returns
    its identifier, for remove_fault_rule and fault_rule_hits."""
    rule = capi.XAVO_SIM_FaultRule(operations=operations, card=card, addressFirst=address_first,
                                   addressLast=address_last, skip=skip, count=count, action=action)
    _set_fields(rule, fields)
    identifier = api().XAVO_SIM_AddFaultRule(ctypes.byref(rule))
    if identifier == 0:
        raise SimulationError("malformed fault rule")
    return identifier


def remove_fault_rule(identifier):
    _check("XAVO_SIM_RemoveFaultRule", identifier)


def clear_fault_rules():
    api().XAVO_SIM_ClearFaultRules()


def fault_rule_hits(identifier):
    return api().XAVO_SIM_ReturnFaultRuleHits(identifier)


def hal_address(raw_offset):
    """The hardware-access address of a raw register offset (0x500000 + offset)."""
    return 0x500000 + raw_offset
