"""A reader of the plain C declarations in the project's exported headers: constants (#define
and enumerations), record layouts, callback types and function prototypes."""

import re
from dataclasses import dataclass, field
from pathlib import Path


@dataclass
class Header:
    constants: dict = field(default_factory=dict)   # name -> int
    records: dict = field(default_factory=dict)     # name -> [(field type, field name, [dims])]
    callbacks: dict = field(default_factory=dict)   # name -> (result type, [argument types])
    functions: dict = field(default_factory=dict)   # name -> (result type, [argument types])


def _strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", " ", text)


def normalise_type(text):
    """`const uint16_t *` -> `const uint16_t*`: one space between words, none before a star."""
    text = re.sub(r"\s+", " ", text.strip())
    text = re.sub(r"\s*\*", "*", text)
    return text


def _split_declarator(text):
    """`const char* name` -> (`const char*`, `name`)."""
    match = re.fullmatch(r"(.*?)([A-Za-z_]\w*)", text.strip(), flags=re.S)
    return normalise_type(match.group(1)), match.group(2)


def _arguments(text):
    text = text.strip()
    if text in ("", "void"):
        return []
    return [_split_declarator(part)[0] for part in text.split(",")]


def _evaluate(expression, constants):
    expression = re.sub(r"\b(0x[0-9A-Fa-f]+|\d+)[uUlL]*\b", r"\1", expression)
    expression = re.sub(r"\b[A-Za-z_]\w*", lambda m: str(constants[m.group(0)]), expression)
    if not re.fullmatch(r"[\s0-9xA-Fa-f()+\-*/<>|&~]*", expression):
        raise ValueError(f"not a constant expression: {expression}")
    return int(eval(expression.replace("/", "//")))  # noqa: S307 (digits and operators only)


def parse(path, api_macro):
    code = _strip_comments(Path(path).read_text())
    header = Header()
    for name, value in re.findall(r"^\s*#\s*define\s+([A-Za-z_]\w*)\s+([^\n]+)$", code, flags=re.M):
        try:
            header.constants[name] = _evaluate(value, header.constants)
        except (KeyError, ValueError, SyntaxError):
            pass  # a macro that is not a number (export macros, include guards)
    for body in re.findall(r"typedef\s+enum\s+\w*\s*\{(.*?)\}", code, flags=re.S):
        for member in body.split(","):
            if "=" in member:
                name, value = member.split("=")
                header.constants[name.strip()] = _evaluate(value, header.constants)
    for body, name in re.findall(r"typedef\s+struct\s+\w*\s*\{(.*?)\}\s*(\w+)\s*;", code, flags=re.S):
        fields = []
        for declaration in body.split(";"):
            declaration = declaration.strip()
            if not declaration:
                continue
            dims = [_evaluate(d, header.constants) for d in re.findall(r"\[([^\]]+)\]", declaration)]
            ctype, fname = _split_declarator(re.sub(r"\[[^\]]+\]", "", declaration))
            fields.append((ctype, fname, dims))
        header.records[name] = fields
    for result, name, args in re.findall(r"typedef\s+([\w\s\*]+?)\s*\(\s*\*\s*(\w+)\s*\)\s*\(([^)]*)\)\s*;", code):
        header.callbacks[name] = (normalise_type(result), _arguments(args))
    for declaration, args in re.findall(rf"\b{api_macro}\s+([^;()]+?)\s*\(([^)]*)\)\s*;", code):
        result, name = _split_declarator(declaration)
        header.functions[name] = (result, _arguments(args))
    return header
