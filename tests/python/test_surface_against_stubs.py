"""The three modules against their stubs (python/*-stubs), read as text.

The stubs are written by hand for type checkers, apart from the modules;
stubtest checks that the names agree. Here the rest of what Python shows is
held to them: docstrings, export order, the functions' identity, and for
every class the shape all of them share (immutable, not subclassable, no
instance dict, weak references or garbage-collector support, made only by
the module's own functions)."""

import ast
import importlib
import inspect
import types
from pathlib import Path

import pytest

STUBS = Path(__file__).resolve().parents[2] / "python"

TPFLAGS_HEAPTYPE = 1 << 9
TPFLAGS_BASETYPE = 1 << 10
TPFLAGS_HAVE_GC = 1 << 14
TPFLAGS_IMMUTABLETYPE = 1 << 8

# Each module with the message a call of one of its classes raises, and the
# __module__ its classes show.
MODULES = {
    "pipwerk": ("No constructor defined for {name}", "builtins"),
    "pipwerk_odds": ("No constructor defined for {name}", "pipwerk_odds"),
    "pipwerk_trace": ("pipwerk_trace objects are made by pipwerk_trace.trace only", "pipwerk_trace"),
}


def stub(module_name):
    return ast.parse((STUBS / f"{module_name}-stubs" / "__init__.pyi").read_text())


def stub_all(tree):
    for node in tree.body:
        if isinstance(node, ast.Assign) and [t.id for t in node.targets] == ["__all__"]:
            return ast.literal_eval(node.value)
    raise AssertionError("the stub has no __all__")


def stub_classes(tree):
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}


def stub_members(classes, name):
    """The documented members of a stub class, its stub bases' included: name -> docstring or None."""
    node = classes[name]
    members = {}
    for base in node.bases:
        if isinstance(base, ast.Name) and base.id in classes:
            members |= stub_members(classes, base.id)
    for item in node.body:
        if isinstance(item, ast.FunctionDef) and not item.name.startswith("__"):
            members[item.name] = ast.get_docstring(item)
    return members


CLASS_CASES = [
    (module_name, name)
    for module_name in MODULES
    for name in stub_classes(stub(module_name))
    if not name.startswith("_")
]
FUNCTION_CASES = [
    (module_name, node.name)
    for module_name in MODULES
    for node in stub(module_name).body
    if isinstance(node, ast.FunctionDef)
]


@pytest.mark.parametrize("module_name", MODULES)
def test_module_doc_and_exports(module_name):
    module = importlib.import_module(module_name)
    tree = stub(module_name)
    assert module.__doc__ == ast.get_docstring(tree, clean=False)
    assert module.__all__ == stub_all(tree)
    assert all(hasattr(module, name) for name in module.__all__)


@pytest.mark.parametrize("module_name, name", FUNCTION_CASES)
def test_functions_are_bound_to_their_module(module_name, name):
    module = importlib.import_module(module_name)
    function = getattr(module, name)
    assert type(function) is types.BuiltinFunctionType
    assert function.__name__ == function.__qualname__ == name
    assert function.__module__ == module_name
    assert function.__self__ is module
    documented = next(n for n in stub(module_name).body if isinstance(n, ast.FunctionDef) and n.name == name)
    assert inspect.cleandoc(function.__doc__).startswith(ast.get_docstring(documented))


@pytest.mark.parametrize("module_name, name", CLASS_CASES)
def test_class_members_and_docs(module_name, name):
    cls = getattr(importlib.import_module(module_name), name)
    classes = stub_classes(stub(module_name))
    assert inspect.cleandoc(cls.__doc__) == ast.get_docstring(classes[name])
    members = stub_members(classes, name)
    declared = {
        key: value
        for key, value in vars(cls).items()
        if isinstance(value, (types.GetSetDescriptorType, types.MethodDescriptorType))
    }
    assert set(declared) == set(members)
    for key, doc in members.items():
        assert declared[key].__objclass__ is cls
        if doc is not None:
            assert inspect.cleandoc(declared[key].__doc__) == doc, key


@pytest.mark.parametrize("module_name, name", CLASS_CASES)
def test_class_shape(module_name, name):
    cls = getattr(importlib.import_module(module_name), name)
    refusal, shown_module = MODULES[module_name]
    assert cls.__name__ == cls.__qualname__ == name
    assert cls.__module__ == shown_module
    assert cls.__bases__ == (object,)
    assert cls.__flags__ & TPFLAGS_HEAPTYPE and cls.__flags__ & TPFLAGS_IMMUTABLETYPE
    assert not cls.__flags__ & (TPFLAGS_BASETYPE | TPFLAGS_HAVE_GC)
    assert cls.__dictoffset__ == cls.__weakrefoffset__ == 0
    with pytest.raises(TypeError) as refused:
        cls()
    assert str(refused.value) == refusal.format(name=name)
    with pytest.raises(TypeError):
        type("Derived", (cls,), {})
    with pytest.raises(TypeError):
        cls.extra = 1


def test_node_is_the_union_the_stub_names():
    import pipwerk_trace

    alias = next(
        node for node in stub("pipwerk_trace").body
        if isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name) and node.target.id == "Node"
    )
    names = []
    value = alias.value
    while isinstance(value, ast.BinOp):
        names.insert(0, value.right.id)
        value = value.left
    names.insert(0, value.id)
    assert pipwerk_trace.Node.__args__ == tuple(getattr(pipwerk_trace, n) for n in names)
