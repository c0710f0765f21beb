"""`pipwerk --odds`: the picture and the JSON objects, driven as a subprocess."""

import itertools
import json
import os
import random
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


# --- odds in the one input loop: the roller's guarantees hold ---------------------


def compact(obj):
    """The line the CLI writes for obj: compact separators, the writer's escapes for ASCII text."""
    return json.dumps(obj, separators=(",", ":"))


MIXED = [b"2d6", b"1/0", b"", b"hello", b"{1d2, 5}", b"4d6k3 tail", b"51d6", b"3#1d4", b"1d4/(1d2-1)", b"x\x1b[2J"]


@pytest.mark.parametrize("json_mode", [True, False])
def test_one_answer_per_input_line(json_mode):
    lines = MIXED * 3
    status, out, err = run("--odds", *(["--json"] if json_mode else ["--ascii"]), stdin=b"\n".join(lines) + b"\n")
    assert status == 1
    if json_mode:
        objects = [json.loads(line) for line in out.splitlines()]
        assert [obj["expression"] for obj in objects] == [line.decode() for line in lines]
        for obj, line in zip(objects, out.splitlines()):
            assert line == compact(obj)  # one format: no spaces after ':' or ','
            assert list(obj) in (["expression", "error"],
                                 ["expression", "consumed", "tail", "is_set", "distribution", "mean", "stdev",
                                  "variance", "min", "max", "median", "mode", "errors"],
                                 ["expression", "consumed", "tail", "is_set", "elements", "errors"],
                                 ["expression", "consumed", "tail", "is_set", "errors"])
    else:
        # Each input is its picture, parted by a blank line, or an empty line when it fails.
        pictures = [run("--odds", "--ascii", "--", line.decode())[1] for line in lines]
        expected = ""
        for line, picture in zip(lines, pictures):
            if line in (b"1/0", b"51d6"):
                expected += "\n"
            else:
                expected += ("\n" if expected.strip() else "") + picture
        assert out == expected
    assert err.count("pipwerk: division by zero\n") == 3
    assert "\x1b" not in out + err


@pytest.mark.parametrize("json_mode", [True, False])
def test_text_from_the_user_is_echoed_safely(json_mode):
    junk = "\x01\x1b[31m\u202e\\"
    status, out, err = run("--odds", *(["--json"] if json_mode else []), "--", "1d6" + junk)
    assert status == 0
    if json_mode:
        assert json.loads(out)["tail"] == junk and err == ""
    else:
        assert err == "pipwerk: ignored: \\x01\\x1b[31m\\u202e\\\\\n"
    # A text that parses nothing names itself in the picture, escaped as well.
    status, out, err = run("--odds", "--", "\x1b[2Jabc")
    assert out == "\\x1b[2Jabc: nothing to roll\n"


def test_a_long_tail_is_cut_in_the_echo():
    status, out, err = run("--odds", stdin=b"1d2 " + b"y" * 10_000_000 + b"\n")
    assert status == 0 and len(out) < 1000
    assert err == "pipwerk: ignored: " + "y" * 80 + "... (9999920 more characters)\n"


def test_output_for_one_expression_is_bounded():
    # 21 elements of 49951 outcomes each: more than a million rows to list.
    expression = "{" + ", ".join(["50d1000"] * 21) + "}"
    status, out, err = run("--odds", "--json", expression)
    assert status == 1 and len(out) < 1000
    assert json.loads(out)["expression"] == expression
    assert "too many outcomes to print" in err or "too large for exact odds" in err
    # The picture of the same set groups its rows and draws the identical elements once.
    status, out, _ = run("--odds", "--ascii", expression)
    assert status == 0 and len(out.splitlines()) < 45
    assert out.count(" x21: mean 25025") == 1 and "[2]" not in out


# --- the picture -------------------------------------------------------------------


def blocks_of(picture):
    return {block.split(":")[0]: block.split("\n", 1)[1] for block in picture.split("\n\n")}


@pytest.mark.parametrize("ascii", [True, False])
@pytest.mark.parametrize(
    "expression, expected",
    [
        # expression -> {label of each block: the expression whose single picture has those rows}
        ("3#4d6k3", {"3#4d6k3 {x}3": "4d6k3"}),
        ("{1d6, 1d6, 2d6}", {"{1d6, 1d6, 2d6} [1..2] {x}2": "1d6", "{1d6, 1d6, 2d6} [3]": "2d6"}),
        ("{2d6, 1d6, 1d6}", {"{2d6, 1d6, 1d6} [1]": "2d6", "{2d6, 1d6, 1d6} [2..3] {x}2": "1d6"}),
        ("{1d6, 2d6, 1d6}", {"{1d6, 2d6, 1d6} [1]": "1d6", "{1d6, 2d6, 1d6} [2]": "2d6",
                             "{1d6, 2d6, 1d6} [3]": "1d6"}),
        ("2#1d4 + {0, 0}", {"2#1d4 + {0, 0} {x}2": "1d4"}),
    ],
)
def test_identical_elements_are_drawn_once(expression, expected, ascii):
    mark = "x" if ascii else "\u00d7"
    args = ["--odds"] + (["--ascii"] if ascii else [])
    got = blocks_of(run(*args, expression)[1])
    assert list(got) == [label.replace("{x}", mark) for label in expected]
    for label, single in expected.items():
        rows = got[label.replace("{x}", mark)]
        assert rows + ("" if rows.endswith("\n") else "\n") == run(*args, single)[1].split("\n", 1)[1]


def test_every_outcome_is_listed_with_all():
    grouped = run("--odds", "--ascii", "3d20")[1].splitlines()[2:]
    listed = run("--odds", "--ascii", "--all", "3d20")[1].splitlines()[2:]
    assert len(grouped) < 58 == len(listed)
    law = exact_law([20, 20, 20])
    for row, value in zip(listed, sorted(law)):
        label, equal, at_least = row.split()[:3]
        assert int(label) == value
        # Shown to two decimals: within half a unit of the last place of the exact chance.
        exact_at_least = sum(p for v, p in law.items() if v >= value)
        for shown, exact in ((equal, law[value]), (at_least, exact_at_least)):
            assert abs(float(shown.rstrip("%")) - float(exact) * 100) <= 0.005 + 1e-9, (row, shown)


@pytest.mark.parametrize("columns", ["40", "50", "80"])
@pytest.mark.parametrize("expression", ["3#4d6k3", "4d6k3", "1d1000*1000 + 1d100", "1d100*100", "2d6 - 1d20/3",
                                        "{1d6, 2d6}", "1d6 + " * 20 + "1"])
def test_every_line_fits_the_width(expression, columns):
    for ascii in ([], ["--ascii"]):
        status, out, _ = run("--odds", *ascii, expression, columns=columns)
        assert status == 0
        # Rows of fractions ("-0.333333..0.333333") may be wider than 40 columns; headers never.
        lines = [line for line in out.splitlines() if "/" not in expression or "%" not in line]
        assert max(len(line) for line in lines) <= int(columns), out
        # Each header is one line, or when even its figures are too long for
        # the width, the label's line and the figures' line under it.
        headers = [line for line in out.splitlines() if "mean " in line]
        assert headers and all(line.startswith(expression[:5]) or line.startswith("  mean ") for line in headers)


def test_narrow_header_shortens_the_range_then_cuts_the_label():
    assert run("--odds", "3#4d6k3", columns="80")[1].startswith("3#4d6k3 \u00d73: mean 12.24, sd 2.85, range 3 to 18\n")
    assert run("--odds", "3#4d6k3", columns="40")[1].startswith("3#4d6k3 \u00d73: mean 12.24, sd 2.85, 3..18\n")
    long = "1d6 + " * 20 + "1"
    header = run("--odds", "--ascii", long, columns="40")[1].splitlines()[0]
    assert header == long[: 40 - len(": mean 71.00, sd 7.64, 21..121") - 3] + "...: mean 71.00, sd 7.64, 21..121"


HUGE = "9" * 400 + ".0"  # a real past the double range: infinite


@pytest.mark.parametrize(
    "expression, header",
    [
        (f"{HUGE} * 1d2 - {HUGE} * 1d2", "always NaN"),  # infinity minus itself
        (f"(1d2 - 1) * {HUGE}", "mean NaN, sd NaN, range inf to inf, or NaN"),  # 0 * inf is NaN
        (f"(1d3 - 2) * {HUGE}", "mean NaN, sd NaN, range -inf to inf, or NaN"),
    ],
)
def test_nan_outcomes_read_sensibly(expression, header):
    status, out, _ = run("--odds", expression, columns="200")
    assert status == 0
    assert out.splitlines()[0].endswith(": " + header)
    assert "-nan" not in out.lower() and "nan" not in out  # NaN is written as a roll writes it


def test_odds_takes_its_options_only_with_odds():
    for args in (["--all", "2d6"], ["--ascii", "2d6"], ["--vs", "1d6", "2d6"]):
        status, _, err = run(*args)
        assert status == 2 and "go with --odds" in err


# --- A against B --------------------------------------------------------------------


def versus_brute_force(a_faces, a_value, b_faces, b_value):
    """P(A > B), P(A = B), P(A < B) and P(either fails) over every face combination;
    a value of None is a failed roll."""
    counts = {"greater": 0, "equal": 0, "less": 0, "failure": 0}
    combos = list(itertools.product(*[range(1, f + 1) for f in a_faces + b_faces]))
    for dice in combos:
        a, b = a_value(dice[:len(a_faces)]), b_value(dice[len(a_faces):])
        key = "failure" if a is None or b is None else "greater" if a > b else "equal" if a == b else "less"
        counts[key] += 1
    return {k: Fraction(v, len(combos)) for k, v in counts.items()}


@pytest.mark.parametrize(
    "a, a_faces, a_value, b, b_faces, b_value",
    [
        ("1d20+5", [20], lambda d: d[0] + 5, "2d10+4", [10, 10], lambda d: sum(d) + 4),
        ("2d6k1", [6, 6], max, "1d8", [8], sum),
        ("3d6>=5", [6] * 3, lambda d: sum(x >= 5 for x in d), "1d3-1", [3], lambda d: d[0] - 1),
        ("1d6/(1d2-1)", [6, 2], lambda d: None if d[1] == 1 else d[0], "1d4", [4], sum),
    ],
)
def test_versus_gives_the_exact_chances(a, a_faces, a_value, b, b_faces, b_value):
    status, out, err = run("--odds", "--json", a, "--vs", b)
    assert (status, err) == (0, "")
    obj = json.loads(out)
    assert list(obj) == ["expression", "vs", "consumed", "tail", "greater", "equal", "less", "failure", "unordered"]
    assert (obj["expression"], obj["vs"], obj["consumed"], obj["tail"]) == (a, b, a, "")
    exact = versus_brute_force(a_faces, a_value, b_faces, b_value)
    for name, p in exact.items():
        assert obj[name] == pytest.approx(float(p), rel=1e-12, abs=1e-15), name
    assert obj["unordered"] == 0.0
    # The picture: both pictures, then the figures as the JSON gives them.
    status, out, _ = run("--odds", "--ascii", a, "--vs", b)
    assert status == 0
    picture_a, picture_b = run("--odds", "--ascii", a)[1], run("--odds", "--ascii", b)[1]
    assert out.startswith(picture_a + "\n" + picture_b + "\nA = " + a + ", B = " + b + "\n")
    rows = dict(line.strip().rsplit(None, 1) for line in out.split("\nA = ")[1].splitlines()[1:])
    names = {"P(A > B)": "greater", "P(A = B)": "equal", "P(A < B)": "less", "P(a roll fails)": "failure"}
    assert set(rows) == {name for name, key in names.items() if key != "failure" or exact["failure"] > 0}
    for name, shown in rows.items():
        assert abs(float(shown.rstrip("%")) - float(exact[names[name]]) * 100) <= 0.005 + 1e-9


def test_versus_answers_each_input_line():
    status, out, err = run("--odds", "--json", "--vs", "1d6", stdin=b"1d6\n{1, 2}\n1d6+1 x\n")
    assert status == 1
    first, second, third = (json.loads(line) for line in out.splitlines())
    assert first["greater"] == pytest.approx(15 / 36) and first["equal"] == pytest.approx(6 / 36)
    assert list(second) == ["expression", "error"] and second["expression"] == "{1, 2}"
    assert (third["consumed"], third["tail"]) == ("1d6+1", "x")
    assert third["greater"] == pytest.approx(21 / 36)
    assert err.startswith("pipwerk: ") and "set" in err


@pytest.mark.parametrize("a, b, message", [("1d6", "1/0", "division by zero"),
                                           ("51d6", "1d6", "dice count exceeds maximum (51), max is 50"),
                                           ("1/0", "60d6", "division by zero")])
@pytest.mark.parametrize("json_mode", [True, False])
def test_a_side_whose_every_roll_fails_is_an_error(a, b, message, json_mode):
    # The picture and the JSON agree; a side that only may fail gives the
    # chance of failure (test_versus_gives_the_exact_chances).
    status, out, err = run("--odds", *(["--json"] if json_mode else []), a, "--vs", b)
    assert (status, err) == (1, f"pipwerk: {message}\n")
    assert out == (compact({"expression": a, "error": message}) + "\n" if json_mode else "\n")


@pytest.mark.parametrize("json_mode", [True, False])
def test_the_tail_of_b_is_reported_once(json_mode):
    status, out, err = run("--odds", *(["--json"] if json_mode else []), "--strict", "--vs", "1d6 kh1",
                           stdin=b"1d6\n1d4\n")
    assert status == 3  # text was ignored
    assert err == "pipwerk: ignored in --vs: kh1 (hint: k already keeps the highest)\n"


@pytest.mark.parametrize("json_mode", [True, False])
def test_arbitrary_bytes_give_one_answer_each(json_mode):
    rnd = random.Random(20261208)
    alphabet = b"0123456789dDkKlLbB+-*/()}{,#%.<>=! \t\r\x00\x1b\x7f\xff\xc3\xa9\xe2\x80\xae"
    lines = [bytes(rnd.choice(alphabet) for _ in range(rnd.randint(0, 24))) for _ in range(300)]
    args = ["--odds", "--json"] if json_mode else ["--odds", "--ascii", "--all"]
    proc = subprocess.run([CLI, *args], input=b"\n".join(lines) + b"\n", capture_output=True, timeout=300,
                          env=dict(os.environ, COLUMNS="40"))
    assert proc.returncode in (0, 1)
    out, err = proc.stdout.decode("utf-8"), proc.stderr.decode("utf-8")
    # Nothing from the input reaches the terminal raw.
    assert not any(ch in out + err for ch in "\x00\x1b\x7f\u202e\r")
    if json_mode:
        objects = [json.loads(line) for line in out.splitlines()]
        assert len(objects) == len(lines)
        assert (proc.returncode == 1) == any("error" in obj for obj in objects)
    else:
        # Every header (a line that does not start with a space) fits the 40 columns.
        assert all(len(line) <= 40 for line in out.splitlines() if line and not line.startswith(" "))
