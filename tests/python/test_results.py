"""What roll and parse return: fields, reprs, the values list and the errors."""

import math

import pytest

from pipwerk import ParseOutput, RollResult, parse, roll


def fields(result):
    return (result.consumed, result.tail, result.summary, result.detail, result.full, result.is_set, result.values)


def test_the_documented_roll():
    result = roll("4d6k3", seed=42)
    assert type(result) is RollResult
    assert fields(result) == ("4d6k3", "", "14", "[1* + 4 + 6 + 4]", "[1* + 4 + 6 + 4] = 14", False, [14.0])
    assert repr(result) == 'RollResult(consumed="4d6k3", tail="", full="[1* + 4 + 6 + 4] = 14", is_set=false, values=[14.0])'
    assert str(result) == "[1* + 4 + 6 + 4] = 14"


@pytest.mark.parametrize(
    "expression, expected",
    [
        ("", 'RollResult(consumed="", tail="", full="", is_set=false, values=[])'),
        ("hello", 'RollResult(consumed="", tail="hello", full="", is_set=false, values=[])'),
        ("d6 + 50%", 'RollResult(consumed="d6 + 50%", tail="", full="[2] + 50% = 2.5", is_set=false, values=[2.5])'),
        ("{10, 11, 13}", 'RollResult(consumed="{10, 11, 13}", tail="", full="{10, 11, 13} = {10, 11, 13}", is_set=true, values=[10.0, 11.0, 13.0])'),
        ("1 + 2\nrest", 'RollResult(consumed="1 + 2", tail="\\nrest", full="3", is_set=false, values=[3.0])'),
        ('7 "quoted"', 'RollResult(consumed="7", tail="\\"quoted\\"", full="7", is_set=false, values=[7.0])'),
        ("50%", 'RollResult(consumed="50%", tail="", full="0.5", is_set=false, values=[0.5])'),
    ],
)
def test_roll_repr(expression, expected):
    assert repr(roll(expression, seed=1)) == expected


@pytest.mark.parametrize("expression", ["", "hello", "  ", "=1"])
def test_roll_without_a_tree_is_empty_not_an_error(expression):
    result = roll(expression)
    assert (result.consumed, result.summary, result.detail, result.full, result.is_set, result.values) == ("", "", "", "", False, [])
    assert str(result) == ""


@pytest.mark.parametrize(
    "expression, expected",
    [
        ("d20 + (d4+ test", 'ParseOutput(success=true, consumed="d20", tail="+ (d4+ test")'),
        ("4d6", 'ParseOutput(success=true, consumed="4d6", tail="")'),
        ("hello", 'ParseOutput(success=false, consumed="", tail="hello")'),
        ("", 'ParseOutput(success=false, consumed="", tail="")'),
        ("2d6\n3", 'ParseOutput(success=true, consumed="2d6", tail="\\n3")'),
    ],
)
def test_parse_repr_and_str(expression, expected):
    output = parse(expression)
    assert type(output) is ParseOutput
    assert repr(output) == expected
    assert str(output) == expected


def test_parse_fields_and_types():
    output = parse("d20 + (d4+ test")
    assert output.success is True
    assert output.consumed == "d20"
    assert output.tail == "+ (d4+ test"
    assert parse("hello").success is False


@pytest.mark.parametrize("expression", ["4d6k3", "d20 + 3", "2d6 * 1.5 - 1", "{d6, d8, 3}", "3#d6", "x", "1 + ) 2"])
def test_parse_agrees_with_roll(expression):
    output, result = parse(expression), roll(expression, seed=2)
    if output.success:
        assert (output.consumed, output.tail) == (result.consumed, result.tail)
    else:
        assert (result.consumed, result.tail) == ("", output.tail)


@pytest.mark.parametrize("expression", ["4d6", "{d6, 2d8, 5}", "3#4d6k3", "2d6 + 1.5"])
def test_show_detail_false(expression):
    with_detail = roll(expression, seed=11)
    without = roll(expression, show_detail=False, seed=11)
    assert without.detail == ""
    assert without.full == without.summary
    # The dice are the same whatever is shown.
    assert (without.summary, without.values, without.is_set) == (with_detail.summary, with_detail.values, with_detail.is_set)
    assert with_detail.full == f"{with_detail.detail} = {with_detail.summary}"


def test_same_seed_same_result():
    assert fields(roll("3#4d6k3 + d20", seed=123)) == fields(roll("3#4d6k3 + d20", seed=123))


@pytest.mark.parametrize(
    "expression, is_set, values",
    [
        ("7", False, [7.0]),
        ("{3, 1, 2}", True, [3.0, 1.0, 2.0]),
        ("{1, 2} * 2", True, [2.0, 4.0]),
        ("7 / 2", False, [3.5]),
        ("50%", False, [0.5]),
        ("9007199254740993", False, [9007199254740992.0]),
        ("-0.0", False, [-0.0]),
    ],
)
def test_values(expression, is_set, values):
    result = roll(expression, seed=1)
    assert result.is_set is is_set
    assert result.values == values
    assert all(type(v) is float for v in result.values)
    assert [math.copysign(1, v) for v in result.values] == [math.copysign(1, v) for v in values]


def test_values_is_a_fresh_list_each_read():
    result = roll("{1, 2, 3}")
    first, second = result.values, result.values
    assert first == second and first is not second
    first.append(99.0)
    first[0] = -1.0
    assert second == [1.0, 2.0, 3.0]
    assert result.values == [1.0, 2.0, 3.0]
    assert repr(result).endswith("values=[1.0, 2.0, 3.0])")


def test_text_attributes_are_new_str_objects():
    result = roll("1 + 1 garbage")
    assert type(result.tail) is str and result.tail == "garbage"
    assert result.full == str(result)


@pytest.mark.parametrize(
    "expression, message",
    [
        ("1/0", "division by zero"),
        ("1/0.0", "division by zero"),
        ("60d6", "dice count exceeds maximum (60), max is 50"),
        ("d1001", "dice face exceeds maximum (1001), max is 1000"),
        ("11#d6", "repeat count exceeds maximum (11), max is 10"),
        ("0d6", "dice count, face, or repeat must be a positive integer"),
        ("{1, {2}}", "parse error: unexpected pipwerk level"),
    ],
)
def test_evaluation_errors_are_value_errors_with_one_argument(expression, message):
    with pytest.raises(ValueError) as info:
        roll(expression, seed=1)
    assert type(info.value) is ValueError
    assert info.value.args == (message,)
    assert str(info.value) == message
    # parse never evaluates, so it never fails.
    assert parse(expression).success
