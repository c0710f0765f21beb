"""Binding and conversion of the arguments of roll and parse, with their exact messages."""

import pytest

from pipwerk import parse, roll

FUNCTIONS = {"roll": roll, "parse": parse}


class Outer:
    class Inner:
        pass


class Text(str):
    pass


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class RaisingIndex:
    def __init__(self, error):
        self.error = error

    def __index__(self):
        raise self.error


class TypeErrorSubclass(TypeError):
    pass


@pytest.mark.parametrize(
    "function, args, kwargs, message",
    [
        ("roll", (), {}, "roll() missing 1 required positional argument: 'expression'"),
        ("parse", (), {}, "parse() missing 1 required positional argument: 'expression'"),
        ("roll", (), {"show_detail": True, "seed": 1}, "roll() missing 1 required positional argument: 'expression'"),
        ("roll", ("1", True, None, 4), {}, "roll() takes from 1 to 3 positional arguments but 4 were given"),
        ("roll", ("1", True, None, 4, 5), {}, "roll() takes from 1 to 3 positional arguments but 5 were given"),
        ("parse", ("1", 2), {}, "parse() takes 1 positional arguments but 2 were given"),
        ("roll", ("1",), {"x": 1}, "roll() got an unexpected keyword argument 'x'"),
        ("parse", ("1",), {"seed": 1}, "parse() got an unexpected keyword argument 'seed'"),
        ("parse", ("1",), {"Expression": "1"}, "parse() got an unexpected keyword argument 'Expression'"),
        ("roll", ("1",), {"expression": "2"}, "roll() got multiple values for argument 'expression'"),
        ("roll", ("1", True), {"show_detail": False}, "roll() got multiple values for argument 'show_detail'"),
        ("roll", ("1", True, 3), {"seed": 4}, "roll() got multiple values for argument 'seed'"),
        ("parse", ("1",), {"expression": "2"}, "parse() got multiple values for argument 'expression'"),
        # Binding faults come before conversion faults, and in this order.
        ("roll", (b"x", 1, 2.0, 4), {"x": 1}, "roll() takes from 1 to 3 positional arguments but 4 were given"),
        ("roll", (b"x",), {"x": 1, "expression": "2"}, "roll() got an unexpected keyword argument 'x'"),
        ("roll", (), {"x": 1}, "roll() got an unexpected keyword argument 'x'"),
        ("roll", (), {"show_detail": 1}, "roll() missing 1 required positional argument: 'expression'"),
    ],
)
def test_binding_errors(function, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        FUNCTIONS[function](*args, **kwargs)
    assert type(info.value) is TypeError
    assert info.value.args == (message,)


@pytest.mark.parametrize(
    "args, kwargs",
    [
        (("3d6", False, 9), {}),
        (("3d6",), {"show_detail": False, "seed": 9}),
        ((), {"seed": 9, "expression": "3d6", "show_detail": False}),
        (("3d6",), {"seed": 9, "show_detail": False}),
        # Keyword names that the interpreter did not intern match by value.
        (("3d6",), {"".join(["se", "ed"]): 9, "".join(["show_", "detail"]): False}),
    ],
)
def test_parameters_bind_by_position_or_keyword(args, kwargs):
    assert repr(roll(*args, **kwargs)) == repr(roll("3d6", False, 9))


def test_parse_binds_by_keyword():
    assert repr(parse(expression="d20 + (d4+ test")) == repr(parse("d20 + (d4+ test"))


@pytest.mark.parametrize(
    "value, type_name",
    [
        (b"4d6", "bytes"),
        (4, "int"),
        (None, "NoneType"),
        (bytearray(b"1"), "bytearray"),
        (["4d6"], "list"),
        (Outer.Inner(), "Outer.Inner"),
    ],
)
@pytest.mark.parametrize("function", ["roll", "parse"])
def test_expression_must_be_a_str(function, value, type_name):
    with pytest.raises(TypeError) as info:
        FUNCTIONS[function](value)
    assert info.value.args == (f"argument 'expression': '{type_name}' object cannot be converted to 'PyString'",)


def test_expression_accepts_str_subclasses():
    assert repr(roll(Text("4d6k3"), seed=5)) == repr(roll("4d6k3", seed=5))
    assert repr(parse(Text("2d6 + x"))) == repr(parse("2d6 + x"))


@pytest.mark.parametrize("function", ["roll", "parse"])
def test_unencodable_expression_raises_the_interpreters_error(function):
    with pytest.raises(UnicodeEncodeError) as info:
        FUNCTIONS[function]("1 + \ud800")
    assert not str(info.value).startswith("argument")


@pytest.mark.parametrize("value", [True, False])
def test_show_detail_takes_bools(value):
    result = roll("4d6", show_detail=value, seed=3)
    assert (result.detail != "") is value


@pytest.mark.parametrize(
    "value, type_name",
    [(1, "int"), (0, "int"), (None, "NoneType"), ("yes", "str"), (1.0, "float"), (Outer.Inner(), "Outer.Inner")],
)
def test_show_detail_rejects_everything_else(value, type_name):
    with pytest.raises(TypeError) as info:
        roll("4d6", show_detail=value)
    assert info.value.args == (f"argument 'show_detail': '{type_name}' object cannot be converted to 'PyBool'",)


def test_show_detail_takes_numpy_bools_by_truth_value():
    numpy = pytest.importorskip("numpy")
    assert repr(roll("4d6", numpy.True_, 3)) == repr(roll("4d6", True, 3))
    assert repr(roll("4d6", numpy.False_, 3)) == repr(roll("4d6", False, 3))
    assert roll("4d6", numpy.bool_(0), 3).detail == ""


def test_show_detail_rejects_other_numpy_scalars():
    numpy = pytest.importorskip("numpy")
    with pytest.raises(TypeError) as info:
        roll("4d6", show_detail=numpy.int64(1))
    assert info.value.args == ("argument 'show_detail': 'int64' object cannot be converted to 'PyBool'",)


@pytest.mark.parametrize(
    "seed, same_as",
    [
        (True, 1),
        (False, 0),
        (Index(77), 77),
        (Index(2**64 - 1), 2**64 - 1),
        (2**64 - 1, 18446744073709551615),
    ],
)
def test_seed_conversions(seed, same_as):
    assert repr(roll("10d100", seed=seed)) == repr(roll("10d100", seed=same_as))


def test_seed_accepts_numpy_integers():
    numpy = pytest.importorskip("numpy")
    assert repr(roll("10d100", seed=numpy.uint64(2**63 + 5))) == repr(roll("10d100", seed=2**63 + 5))


def test_seed_selects_the_dice():
    results = {roll("10d100", seed=seed).full for seed in (0, 1, 2, 2**32, 2**64 - 1)}
    assert len(results) == 5
    assert roll("10d100", seed=0).full == roll("10d100", seed=0).full


def test_seed_none_draws_from_the_clock():
    # Twenty unseeded rolls of 10d100 coincide only by a near impossible chance.
    assert len({roll("10d100", seed=None).full for _ in range(20)}) > 1
    assert len({roll("10d100").full for _ in range(20)}) > 1


@pytest.mark.parametrize("seed", [-1, 2**64, -(2**70), Index(-5), Index(2**64)])
def test_seed_out_of_range_raises_overflow_error_unchanged(seed):
    with pytest.raises(OverflowError) as info:
        roll("d6", seed=seed)
    assert not str(info.value).startswith("argument")


@pytest.mark.parametrize(
    "seed, message",
    [
        (1.0, "argument 'seed': 'float' object cannot be interpreted as an integer"),
        ("5", "argument 'seed': 'str' object cannot be interpreted as an integer"),
        (Outer.Inner(), "argument 'seed': 'Inner' object cannot be interpreted as an integer"),
        (Index("5"), "argument 'seed': __index__ returned non-int (type str)"),
        (RaisingIndex(TypeError("custom text")), "argument 'seed': custom text"),
    ],
)
def test_seed_type_errors_get_the_argument_prefix(seed, message):
    with pytest.raises(TypeError) as info:
        roll("d6", seed=seed)
    assert type(info.value) is TypeError
    assert info.value.args == (message,)


@pytest.mark.parametrize("error", [ValueError("boom"), ZeroDivisionError("zero"), TypeErrorSubclass("sub")])
def test_other_errors_from_index_pass_through(error):
    with pytest.raises(type(error)) as info:
        roll("d6", seed=RaisingIndex(error))
    assert info.value is error


@pytest.mark.parametrize(
    "args, error, text",
    [
        ((b"1", 1, 1.0), TypeError, "argument 'expression'"),
        (("1", 1, 1.0), TypeError, "argument 'show_detail'"),
        (("\ud800", 1, 1.0), UnicodeEncodeError, "'utf-8' codec"),
        (("1", True, 1.0), TypeError, "argument 'seed'"),
    ],
)
def test_conversions_run_in_parameter_order(args, error, text):
    with pytest.raises(error) as info:
        roll(*args)
    assert str(info.value).startswith(text)
