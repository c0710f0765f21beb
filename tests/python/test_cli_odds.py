"""`pipwerk --odds`: the picture and the JSON objects, driven as a subprocess."""

import itertools
import json
import os
import shutil
import subprocess
from fractions import Fraction

import pytest

CLI = os.environ.get("PIPWERK_CLI") or shutil.which("pipwerk")
if not CLI:
    pytest.skip(
        "pipwerk executable not found: set PIPWERK_CLI or put pipwerk on PATH (pip install .)",
        allow_module_level=True,
    )


def run(*args, columns="60", stdin=b""):
    env = dict(os.environ, COLUMNS=columns)
    proc = subprocess.run([CLI, *args], input=stdin, capture_output=True, timeout=60, env=env)
    return proc.returncode, proc.stdout.decode("utf-8"), proc.stderr.decode("utf-8")


TWO_D6 = """\
2d6: mean 7.00, sd 2.42, range 2 to 12
  value     P(=)    P(>=)
      2    2.78%  100.00%  ######
      3    5.56%   97.22%  ###########
      4    8.33%   91.67%  #################
      5   11.11%   83.33%  ######################
      6   13.89%   72.22%  ###########################
      7   16.67%   58.33%  #################################
      8   13.89%   41.67%  ###########################
      9   11.11%   27.78%  ######################
     10    8.33%   16.67%  #################
     11    5.56%    8.33%  ###########
     12    2.78%    2.78%  ######
"""


def test_picture_of_2d6_is_exact():
    assert run("--odds", "--ascii", "2d6") == (0, TWO_D6, "")


def test_unicode_bars_and_at_least_sign():
    status, out, _ = run("--odds", "2d6")
    assert status == 0
    lines = out.splitlines()
    assert lines[1].endswith("P(\u2265)")
    # The likeliest row fills the bar; the others are shorter.
    assert lines[7].endswith("\u2588" * 33)
    assert all(set(line.split("  ")[-1]) <= set("\u2588\u258f\u258e\u258d\u258c\u258b\u258a\u2589") for line in lines[2:])


def test_errors_sets_and_grouping():
    status, out, _ = run("--odds", "--ascii", stdin=b"1d4/(1d2-1)\n{1d2, 1d3}\n50d6\n")
    assert status == 0
    blocks = out.split("\n\n")
    assert blocks[0].startswith("1d4/(1d2-1): mean 2.50, sd 1.12, range 1 to 4\n")
    assert blocks[1] == "errors:\n  division by zero   50.00%"
    assert blocks[2].startswith("{1d2, 1d3} [1]: mean 1.50") and blocks[3].startswith("{1d2, 1d3} [2]: mean 2.00")
    rows = blocks[4].splitlines()[2:]
    assert 10 <= len(rows) <= 41
    assert rows[0].split()[0].startswith("50..") and rows[-1].split()[0].endswith("..300")


def test_failures_and_tail_go_to_standard_error():
    status, out, err = run("--odds", stdin=b"51d6\n1d6 x\n")
    assert status == 1
    assert out.startswith("\n1d6: mean 3.50")  # the failure's line is empty, as when rolling
    assert err == "pipwerk: dice count exceeds maximum (51), max is 50\npipwerk: ignored: x\n"


def test_odds_refuses_rolling_options():
    status, _, err = run("--odds", "--seed", "1", "2d6")
    assert status == 2 and "--odds" in err


def exact_law(faces_list, value=sum):
    """The law of value(dice) over every face combination, as Fractions."""
    law = {}
    combos = list(itertools.product(*[range(1, f + 1) for f in faces_list]))
    for dice in combos:
        v = value(dice)
        law[v] = law.get(v, 0) + Fraction(1, len(combos))
    return law


@pytest.mark.parametrize(
    "expression, law",
    [
        ("3d4", exact_law([4, 4, 4])),
        ("4d6k3", exact_law([6] * 4, lambda d: sum(sorted(d)[1:]))),
        ("3d5kl1 - 1d3", exact_law([5, 5, 5, 3], lambda d: min(d[:3]) - d[3])),
        ("4d6>=5", exact_law([6] * 4, lambda d: sum(x >= 5 for x in d))),
    ],
)
def test_json_distribution_is_exact(expression, law):
    status, out, _ = run("--odds", "--json", expression)
    assert status == 0
    obj = json.loads(out)
    assert obj["consumed"] == expression and obj["tail"] == "" and obj["is_set"] is False
    assert [v for v, _ in obj["distribution"]] == sorted(law)
    for v, p in obj["distribution"]:
        assert p == pytest.approx(float(law[v]), rel=1e-12)
    mean = sum(v * p for v, p in law.items())
    assert obj["mean"] == pytest.approx(float(mean), rel=1e-12)
    assert obj["variance"] == pytest.approx(float(sum((v - mean) ** 2 * p for v, p in law.items())), rel=1e-9)
    assert obj["min"] == min(law) and obj["max"] == max(law)
    assert obj["errors"] == {}


def test_json_sets_errors_and_failures():
    status, out, err = run("--odds", "--json", stdin=b"{1d2, 5}\n1/(1d2-1)\n1d6/0\n")
    assert status == 1
    first, second, third = (json.loads(line) for line in out.splitlines())
    assert first["is_set"] is True
    assert [e["distribution"] for e in first["elements"]] == [[[1.0, 0.5], [2.0, 0.5]], [[5.0, 1.0]]]
    assert second["distribution"] == [[1.0, 0.5]] and second["errors"] == {"division by zero": 0.5}
    assert third == {"expression": "1d6/0", "error": "division by zero"}
    assert err == "pipwerk: division by zero\n"
