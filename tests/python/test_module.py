"""The module object: docstrings, exported names, the two functions and the classes' type facts."""

import gc
import importlib
import inspect
import shutil
import subprocess
import sys
import textwrap
import types
import weakref
from pathlib import Path

import pytest

import pipwerk
from pipwerk import ParseOutput, RollResult, parse, roll

MODULE_DOC = (
    "Pipwerk: dice expression parsing and evaluation engine.\n"
    "\n"
    "A Python module providing dice expression parsing and evaluation\n"
    "backed by a high-performance C++ implementation."
)

ROLL_DOC = """\
Parse and evaluate a pipwerk expression.

This function combines parsing and evaluation into one step.
It uses strtol-style fault-tolerant parsing: if the input contains
invalid syntax, it parses as much as possible and returns the
unparsed remainder as the ``tail``.

Args:
    expression: The pipwerk expression string (e.g. "4d6k3").
    show_detail: Whether to show detailed roll results (default True).
    seed: Optional random seed for deterministic results (testing).

Returns:
    RollResult with the evaluation results.

Examples:
    >>> import pipwerk
    >>> result = pipwerk.roll("4d6k3")
    >>> print(result.full)
    [5 + 3 + 1* + 6] = 14"""

PARSE_DOC = """\
Parse a pipwerk expression without rolling.

Returns the consumed portion and the remaining tail.
Uses strtol-style fault-tolerant parsing.

Args:
    expression: The pipwerk expression string.

Returns:
    ParseOutput with the parsing results.

Examples:
    >>> import pipwerk
    >>> result = pipwerk.parse("d20 + (d4+ test")
    >>> print(result.success)
    True
    >>> print(result.consumed)
    d20"""

# What the interpreter gives every extension module.
STANDARD_MODULE_ATTRIBUTES = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__"}

CLASSES = [
    (
        RollResult,
        "The result of a roll operation.",
        [
            ("consumed", "The source text that was successfully consumed."),
            ("tail", "The remaining unparsed text (tail)."),
            ("summary", 'The summary string (final result without detail), e.g. "14" or "{10, 11, 13}".'),
            ("detail", 'The detail string (roll details), e.g. "[5 + 3 + 1* + 6]".'),
            ("full", 'The full output combining detail and summary, e.g. "[5 + 3 + 1* + 6] = 14".'),
            ("is_set", "Whether this is a multi-result set."),
            ("values", "The numeric values of the result."),
        ],
    ),
    (
        ParseOutput,
        "The result of parsing (without rolling).",
        [
            ("success", "Whether parsing succeeded."),
            ("consumed", "The source text that was successfully consumed."),
            ("tail", "The remaining unparsed text (tail)."),
        ],
    ),
]

INSTANCES = [pytest.param(lambda: roll("4d6k3", seed=42), id="RollResult"), pytest.param(lambda: parse("4d6"), id="ParseOutput")]

# CPython's type flags.
TPFLAGS_IMMUTABLETYPE = 1 << 8
TPFLAGS_HEAPTYPE = 1 << 9
TPFLAGS_BASETYPE = 1 << 10
TPFLAGS_HAVE_GC = 1 << 14


def test_module_docstring():
    assert pipwerk.__doc__ == MODULE_DOC


def test_exported_names_and_their_order():
    assert pipwerk.__all__ == ["RollResult", "ParseOutput", "roll", "parse"]
    own = [name for name in vars(pipwerk) if name not in STANDARD_MODULE_ATTRIBUTES]
    assert own == ["RollResult", "ParseOutput", "roll", "parse", "__all__"]
    assert [getattr(pipwerk, name) for name in pipwerk.__all__] == [RollResult, ParseOutput, roll, parse]


@pytest.mark.parametrize(
    "function, name, signature, doc",
    [
        (roll, "roll", "(expression, show_detail=True, seed=None)", ROLL_DOC),
        (parse, "parse", "(expression)", PARSE_DOC),
    ],
)
def test_functions(function, name, signature, doc):
    assert type(function) is types.BuiltinFunctionType
    assert function.__name__ == name
    assert function.__qualname__ == name
    assert function.__module__ == "pipwerk"
    assert function.__self__ is pipwerk
    assert function.__text_signature__ == signature
    assert function.__doc__ == doc
    assert str(inspect.signature(function)) == signature


def test_signature_defaults_and_kinds():
    parameters = inspect.signature(roll).parameters
    assert [(p.name, p.kind, p.default) for p in parameters.values()] == [
        ("expression", inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty),
        ("show_detail", inspect.Parameter.POSITIONAL_OR_KEYWORD, True),
        ("seed", inspect.Parameter.POSITIONAL_OR_KEYWORD, None),
    ]


@pytest.mark.parametrize("cls, doc, attributes", CLASSES, ids=lambda v: getattr(v, "__name__", ""))
def test_class_identity_and_docstrings(cls, doc, attributes):
    assert cls.__module__ == "builtins"
    assert cls.__name__ == cls.__qualname__ == {RollResult: "RollResult", ParseOutput: "ParseOutput"}[cls]
    assert cls.__bases__ == (object,)
    assert cls.__doc__ == doc
    declared = [name for name, value in vars(cls).items() if isinstance(value, types.GetSetDescriptorType)]
    assert declared == [name for name, _ in attributes]
    for name, attribute_doc in attributes:
        descriptor = vars(cls)[name]
        assert descriptor.__doc__ == attribute_doc
        assert descriptor.__objclass__ is cls


@pytest.mark.parametrize("cls", [RollResult, ParseOutput], ids=lambda c: c.__name__)
def test_type_flags_and_layout(cls):
    assert cls.__flags__ & TPFLAGS_HEAPTYPE
    assert cls.__flags__ & TPFLAGS_IMMUTABLETYPE
    assert not cls.__flags__ & TPFLAGS_BASETYPE
    assert not cls.__flags__ & TPFLAGS_HAVE_GC
    assert cls.__dictoffset__ == 0
    assert cls.__weakrefoffset__ == 0
    assert "__dict__" not in dir(cls)


@pytest.mark.parametrize("cls", [RollResult, ParseOutput], ids=lambda c: c.__name__)
@pytest.mark.parametrize("args, kwargs", [((), {}), (("4d6",), {}), ((), {"consumed": "x"})])
def test_classes_refuse_construction(cls, args, kwargs):
    with pytest.raises(TypeError) as info:
        cls(*args, **kwargs)
    assert info.value.args == (f"No constructor defined for {cls.__name__}",)


@pytest.mark.parametrize("cls", [RollResult, ParseOutput], ids=lambda c: c.__name__)
def test_classes_cannot_be_subclassed_or_changed(cls):
    with pytest.raises(TypeError):
        type("Derived", (cls,), {})
    with pytest.raises(TypeError):
        cls.extra = 1
    with pytest.raises(TypeError):
        del cls.consumed
    with pytest.raises(TypeError):
        cls.__repr__ = lambda self: "patched"


@pytest.mark.parametrize("make", INSTANCES)
def test_instances_have_no_dict_weakrefs_or_gc(make):
    instance = make()
    assert not hasattr(instance, "__dict__")
    assert not gc.is_tracked(instance)
    with pytest.raises(TypeError):
        weakref.ref(instance)
    with pytest.raises(AttributeError):
        instance.consumed = "x"
    with pytest.raises(AttributeError):
        del instance.tail
    with pytest.raises(AttributeError):
        instance.anything_else = 1


def test_special_methods_check_the_receiver():
    with pytest.raises(TypeError):
        RollResult.__repr__(parse("1"))
    with pytest.raises(TypeError):
        RollResult.__str__(parse("1"))
    with pytest.raises(TypeError):
        ParseOutput.__repr__(roll("1"))
    with pytest.raises(TypeError):
        RollResult.full.__get__(parse("1"))


def test_reimport_returns_the_same_module_object():
    original = sys.modules.pop("pipwerk")
    try:
        again = importlib.import_module("pipwerk")
        assert again is original
        assert again.RollResult is RollResult
        assert again.roll("4d6k3", seed=7).full == roll("4d6k3", seed=7).full
    finally:
        sys.modules["pipwerk"] = original


def _subinterpreters():
    for name in ("_interpreters", "_xxsubinterpreters"):
        try:
            return importlib.import_module(name)
        except ImportError:
            continue
    return None


@pytest.mark.skipif(_subinterpreters() is None, reason="no subinterpreter support in this Python")
def test_a_second_interpreter_gets_import_error():
    # Run in a child process: a subinterpreter importing extension modules
    # should not share the test runner's process.
    script = textwrap.dedent(
        """
        import importlib, os, sys
        import pipwerk
        for name in ("_interpreters", "_xxsubinterpreters"):
            try:
                interpreters = importlib.import_module(name)
                break
            except ImportError:
                pass
        read_end, write_end = os.pipe()
        code = (
            "import os\\n"
            "try:\\n"
            "    import pipwerk\\n"
            "    outcome = 'imported'\\n"
            "except ImportError as error:\\n"
            "    outcome = 'ImportError'\\n"
            f"os.write({write_end}, outcome.encode())\\n"
        )
        interpreter = interpreters.create()
        interpreters.run_string(interpreter, code)
        interpreters.destroy(interpreter)
        os.close(write_end)
        print(os.read(read_end, 100).decode())
        print(pipwerk.roll("4d6k3", seed=42).full)
        """
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60, check=False)
    assert done.returncode == 0, done.stderr
    outcome, full = done.stdout.split("\n")[:2]
    assert outcome == "ImportError"
    assert full == roll("4d6k3", seed=42).full


# Private symbols the limited API's own headers reference.
STABLE_PRIVATE_SYMBOLS = {"_Py_IncRef", "_Py_DecRef", "_Py_NoneStruct", "_Py_TrueStruct", "_Py_FalseStruct"}


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm")
def test_extension_uses_only_the_stable_abi():
    path = Path(pipwerk.__file__)
    assert path.name == "pipwerk.abi3.so"

    def symbols(*options):
        listing = subprocess.run(["nm", "-D", *options, str(path)], capture_output=True, text=True, check=True)
        return [line.split() for line in listing.stdout.splitlines() if line.strip()]

    imported = {fields[-1] for fields in symbols("--undefined-only")}
    python_symbols = {name for name in imported if name.startswith(("Py", "_Py"))}
    assert "PyType_FromSpec" in python_symbols
    assert {name for name in python_symbols if name.startswith("_")} <= STABLE_PRIVATE_SYMBOLS
    exported = {fields[-1] for fields in symbols("--defined-only") if fields[-2] == "T"}
    assert exported == {"PyInit_pipwerk"}
