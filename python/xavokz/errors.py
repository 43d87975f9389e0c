"""Failures of the card library as Python exceptions."""

from . import _library

# The error service keeps this many lines; once it is full, a new code no longer shows as a new
# line, and the last error is what is known of a failure.
_ERROR_LOG_CAPACITY = 1000


class KZError(RuntimeError):
    """A library function failed. `code` is the library's error code (0 when the function
    reported none), `message` the library's text for it, `function` the failing function."""

    def __init__(self, function, code, message):
        self.function = function
        self.code = code
        self.message = message
        text = f"{function} failed: 0x{code:04x} {message}" if code else f"{function} failed"
        super().__init__(text)


def code_string(code):
    """The library's message of an error code."""
    text = _library.api().KZ_GetCodeString(code)
    return text.decode("latin-1") if text else ""


def call(name, *arguments):
    """Calls library function `name`; a result of 0 raises KZError with the code the call
    reported. Returns the result otherwise."""
    api = _library.api()
    function = getattr(api, name)
    if function is None:
        raise KZError(name, 0, "not exported by the loaded library")
    lines_before = api.KZ_ReturnNumberOfErrorLogLines()
    result = function(*arguments)
    if result == 0:
        lines_after = api.KZ_ReturnNumberOfErrorLogLines()
        reported = lines_after > lines_before or lines_before >= _ERROR_LOG_CAPACITY
        code = api.KZ_GetLastError() if reported else 0
        raise KZError(name, code, code_string(code) if code else "no error code was reported")
    return result
