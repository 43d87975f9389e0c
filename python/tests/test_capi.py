"""The ctypes tables of xavokz.capi against the C headers they describe: every function with its
result and argument types, every record field by field, the callback types and the constants."""

import ctypes
from pathlib import Path

import pytest

import c_header
from xavokz import capi

ROOT = Path(__file__).resolve().parents[2]
HEADERS = {
    "card library": (ROOT / "include" / "XAVOKZ.h", "KZ_API", capi.FUNCTIONS),
    "simulated card": (ROOT / "services" / "hal" / "include" / "XAVOSimControl.h", "XAVO_HAL_API",
                       capi.SIM_FUNCTIONS),
}

SCALARS = {
    "uint8_t": ctypes.c_uint8, "int16_t": ctypes.c_int16, "uint16_t": ctypes.c_uint16, "int32_t": ctypes.c_int32,
    "uint32_t": ctypes.c_uint32, "uint64_t": ctypes.c_uint64, "double": ctypes.c_double, "char": ctypes.c_char,
    "ErrorCode": ctypes.c_uint32, "XAVO_Boolean": ctypes.c_uint32,
}


def ctype_of(c_type):
    """The ctypes type a C type is passed as (const makes no difference to ctypes)."""
    c_type = c_type.replace("const ", "")
    if c_type == "void":
        return None
    if c_type == "char*":
        return ctypes.c_char_p  # strings in, and text buffers out
    if c_type == "void*":
        return ctypes.c_void_p
    if c_type.endswith("*"):
        return ctypes.POINTER(ctype_of(c_type[:-1]))
    if c_type in SCALARS:
        return SCALARS[c_type]
    return getattr(capi, c_type)  # records and callback types by their C names


def parsed(which):
    path, macro, _ = HEADERS[which]
    return c_header.parse(path, macro)


@pytest.mark.parametrize("which", HEADERS)
def test_every_function_is_bound_with_the_headers_types(which):
    header = parsed(which)
    table = HEADERS[which][2]
    bound = {name: (result, list(arguments)) for name, result, arguments in table}
    assert len(bound) == len(table), "a function is listed twice"
    assert set(header.functions) - set(bound) == set(), "declared, not bound"
    assert set(bound) - set(header.functions) == set(), "bound, not declared"
    for name, (result, arguments) in header.functions.items():
        expected = (ctype_of(result), [ctype_of(a) for a in arguments])
        assert bound[name] == expected, name


def test_card_library_table_holds_every_exported_name():
    exported = (ROOT / "tests" / "api" / "exported_names.txt").read_text().split()
    functions = {name for name, _, _ in capi.FUNCTIONS}
    assert functions == set(exported) - {"pBoardStates"}


@pytest.mark.parametrize("which", HEADERS)
def test_records_match_the_header_field_by_field(which):
    header = parsed(which)
    assert header.records
    for name, fields in header.records.items():
        record = getattr(capi, name)
        expected = []
        for c_type, field, dims in fields:
            python_type = ctype_of(c_type)
            for size in reversed(dims):
                python_type = python_type * size
            expected.append((field, python_type))
        actual = [(field, python_type) for field, python_type in record._fields_]
        assert [f for f, _ in actual] == [f for f, _ in expected], name
        for (field, python_type), (_, wanted) in zip(actual, expected):
            assert ctypes.sizeof(python_type) == ctypes.sizeof(wanted), f"{name}.{field}"
            assert getattr(python_type, "_type_", python_type) == getattr(wanted, "_type_", wanted), f"{name}.{field}"
            assert getattr(python_type, "_length_", None) == getattr(wanted, "_length_", None), f"{name}.{field}"


def test_raw_scan_record_has_the_documented_offsets():
    # the offsets the header gives in its comments
    assert capi.XAVO_RawScan.aScanSampleValues.offset == 0x008
    assert capi.XAVO_RawScan.gates.offset == 0x220
    assert capi.XAVO_RawScan.enabledGateCount.offset == 0x5220


def test_callback_types_match_the_header():
    header = parsed("card library")
    for name, (result, arguments) in header.callbacks.items():
        callback = getattr(capi, name)
        assert callback._restype_ == ctype_of(result), name
        assert list(callback._argtypes_) == [ctype_of(a) for a in arguments], name


@pytest.mark.parametrize("which", HEADERS)
def test_constants_match_the_header(which):
    header = parsed(which)
    for name, value in header.constants.items():
        if name.startswith(("KZ_", "XAVO_")) and not name.endswith("_H") and name not in ("KZ_API", "XAVO_HAL_API"):
            assert getattr(capi, name) == value, name
