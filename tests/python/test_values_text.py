"""The list form of values in the RollResult repr."""

import pytest

from pipwerk import roll

HUGE = "9" * 400  # beyond the double range: reads as infinity


def shown_values(expression):
    shown = repr(roll(expression, seed=1))
    start = shown.index(", values=") + len(", values=")
    assert shown.endswith(")")
    return shown[start:-1]


@pytest.mark.parametrize(
    "expression, shown",
    [
        ("14", "[14.0]"),
        ("0", "[0.0]"),
        ("-0.0", "[-0.0]"),
        ("-3", "[-3.0]"),
        ("0.5", "[0.5]"),
        ("50%", "[0.5]"),
        ("1/3", "[0.3333333333333333]"),
        ("0.1 + 0.2", "[0.30000000000000004]"),
        ("0.0001", "[0.0001]"),
        ("0.00009999", "[9.999e-5]"),
        ("0.000015", "[1.5e-5]"),
        ("-0.000015", "[-1.5e-5]"),
        ("9999999999999998", "[9999999999999998.0]"),
        ("9999999999999999", "[1e16]"),  # the nearest double is 1e16
        ("10000000000000000", "[1e16]"),
        ("123450000000000000000", "[1.2345e20]"),
        ("-123450000000000000000", "[-1.2345e20]"),
        (HUGE, "[inf]"),
        ("-" + HUGE, "[-inf]"),
        (f"{HUGE} - {HUGE}", "[NaN]"),
        ("-(" + f"{HUGE} - {HUGE}" + ")", "[NaN]"),
        ("{1, 0.5, -2, 50%}", "[1.0, 0.5, -2.0, 0.5]"),
        ("{}", "[]"),
        ("", "[]"),
    ],
)
def test_list_form(expression, shown):
    assert shown_values(expression) == shown

