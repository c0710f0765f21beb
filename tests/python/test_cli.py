"""The command-line roller `pipwerk`, driven as a subprocess."""

import json
import os
import random
import re
import select
import shutil
import subprocess

import pytest

CLI = os.environ.get("PIPWERK_CLI") or shutil.which("pipwerk")
if not CLI:
    _missing = "pipwerk executable not found: set PIPWERK_CLI or put pipwerk on PATH (pip install .)"
    # On CI a missing executable means the CLI went untested: fail, never skip.
    if os.environ.get("CI", "").strip().lower() not in ("", "0", "false"):
        pytest.fail(_missing, pytrace=False)
    pytest.skip(_missing, allow_module_level=True)

ROLL_FIELDS = ["consumed", "tail", "summary", "detail", "full", "is_set", "values"]
SEED_MAX = 2**64 - 1


def run(*args, stdin=b""):
    """Runs the CLI; returns (exit status, stdout, stderr) with texts decoded strictly."""
    proc = subprocess.run([CLI, *args], input=stdin, capture_output=True, timeout=60)
    return proc.returncode, proc.stdout.decode("utf-8"), proc.stderr.decode("utf-8")


def json_lines(stdout):
    return [json.loads(line) for line in stdout.splitlines()]


# --- plain output -----------------------------------------------------------


@pytest.mark.parametrize(
    "args, stdout",
    [
        (["--seed", "42", "4d6k3"], "[1* + 4 + 6 + 4] = 14\n"),
        (["--seed", "42", "--summary", "4d6k3"], "14\n"),
        (["2 + 3"], "5\n"),
        (["7 / 2"], "3.5\n"),
        (["50%"], "0.5\n"),
        (["{1, 2} + {10, 20, 30}"], "{1 + 10, 2 + 20} = {11, 22}\n"),
        (["--summary", "{1, 2} + {10, 20, 30}"], "{11, 22}\n"),
        (["3#5"], "{5, 5, 5} = {5, 5, 5}\n"),
        (["2", "+", "3", "*", "4"], "14\n"),  # the words are one expression
        (["--seed", "42", "4d6k3", "+", "1"], "[1* + 4 + 6 + 4] + 1 = 15\n"),
        (["-n", "3", "2 + 3"], "5\n5\n5\n"),
        (["--", "-3"], "-3\n"),
        (["--", "-{1, 2}"], "{1, 2} = {-1, -2}\n"),
        (["", "2"], "2\n"),
        (["--", "-", "3"], "-3\n"),
    ],
)
def test_plain_output(args, stdout):
    assert run(*args) == (0, stdout, "")


def test_equals_form_of_seed_matches_separate_form():
    assert run("--seed=42", "4d6k3") == run("--seed", "42", "4d6k3")
    assert run("-n2", "--seed=9", "3d6") == run("--times", "2", "--seed", "9", "3d6")


def test_options_may_follow_expressions():
    assert run("4d6k3", "--seed", "42") == (0, "[1* + 4 + 6 + 4] = 14\n", "")


@pytest.mark.parametrize(
    "words",
    [
        ["1d20", "+", "5"],
        ["4d6k3", "--seed", "9", "+", "1"],  # an option between the words is no word
        ["{d6,", "d8}", "*", "2"],
        ["2d20kl1", "", "+", "1d4"],  # an empty word still gets its space
        ["--", "-1d6", "-", "2"],
    ],
)
def test_words_are_joined_into_one_expression(words):
    options = [w for w in words if w in ("--seed", "9")]
    rest = [w for w in words if w not in ("--seed", "9", "--")]
    status, out, err = run("--json", "--seed", "9", *[w for w in words if w not in options])
    assert (status, err) == (0, "")
    [obj] = json_lines(out)
    assert obj["expression"] == " ".join(rest)
    assert obj["tail"] == ""
    # The same text on one line of standard input gives the same roll.
    assert run("--json", "--seed", "9", stdin=(" ".join(rest) + "\n").encode())[1] == out


@pytest.mark.parametrize(
    "expression, stdout, stderr",
    [
        ("d20 + (d4+ test", None, "pipwerk: ignored: + (d4+ test\n"),
        ("hello", "\n", "pipwerk: ignored: hello\n"),
        ("2 + 3 )", "5\n", "pipwerk: ignored: )\n"),
        ("1, 2", "1\n", "pipwerk: ignored: , 2\n"),
    ],
)
def test_unparsed_tail_goes_to_stderr(expression, stdout, stderr):
    status, out, err = run("--seed", "1", expression)
    assert (status, err) == (0, stderr)
    if stdout is None:
        assert re.fullmatch(r"\[\d+\] = \d+\n", out)
    else:
        assert out == stdout


@pytest.mark.parametrize(
    "args, stdin, stdout, stderr",
    [
        # A failed roll still writes its line, an empty one.
        (["1/0"], b"", "\n", "pipwerk: division by zero\n"),
        ([], b"1/0\n2 + 3\n", "\n5\n", "pipwerk: division by zero\n"),
        ([], b"2 + 3\n1/0\n7 / 2\n", "5\n\n3.5\n", "pipwerk: division by zero\n"),
        (["-n", "2", "1/0"], b"", "\n\n", "pipwerk: division by zero\n" * 2),
        (["60d6"], b"", "\n", "pipwerk: dice count exceeds maximum (60), max is 50\n"),
        (["--summary"], b"2\n1/0\n3\n", "2\n\n3\n", "pipwerk: division by zero\n"),
    ],
)
def test_evaluation_error_exits_1_and_later_rolls_run(args, stdin, stdout, stderr):
    assert run(*args, stdin=stdin) == (1, stdout, stderr)


def test_write_failure_is_reported():
    if not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full on this system")
    with open("/dev/full", "wb") as full:
        proc = subprocess.run([CLI, "2 + 3"], stdout=full, capture_output=False, stderr=subprocess.PIPE, timeout=60)
    assert proc.returncode == 1
    assert b"cannot write" in proc.stderr


# --- options ----------------------------------------------------------------


@pytest.mark.parametrize(
    "args",
    [
        ["--bogus", "4d6"],
        ["-x"],
        ["-1d6"],
        ["--seed"],
        ["--seed", "-1", "4d6"],
        ["--seed", "+1", "4d6"],
        ["--seed", "18446744073709551616", "4d6"],
        ["--seed=", "4d6"],
        ["--seed=12x", "4d6"],
        ["-n", "0", "4d6"],
        ["--times", "three", "4d6"],
        ["-n"],
        ["--json=1", "4d6"],
        ["--parse", "--seed", "1", "4d6"],
        ["--parse", "--summary", "4d6"],
        ["--parse", "-n", "2", "4d6"],
    ],
)
def test_bad_options_exit_2_with_usage(args):
    status, out, err = run(*args)
    assert status == 2
    assert out == ""
    assert err.startswith("pipwerk: ")
    assert "usage: pipwerk" in err


def test_version_and_help():
    status, out, err = run("--version")
    assert (status, err) == (0, "")
    assert re.fullmatch(r"pipwerk \d+\.\d+\.\d+\n", out)
    assert run("-V") == (status, out, err)
    status, out, err = run("--help", "4d6")
    assert (status, err) == (0, "")
    for option in ["--seed", "--times", "--summary", "--json", "--parse", "--strict", "-V, --version",
                   "carriage return", "N+1", "--trace", "--odds", "--all", "--vs B", "--ascii",
                   "PIPWERK_NO_LINE_EDITING", "libedit.so.2", "Ctrl-C"]:
        assert option in out
    assert max(len(line) for line in out.splitlines()) < 80


def test_help_says_to_quote_what_the_shell_would_take():
    out = run("--help")[1]
    assert "one expression" in out and "pipwerk 1d20 + 5" in out
    quoted = re.search(r"^  pipwerk '([^']*)'", out, re.M).group(1)
    assert ">" in quoted
    # The quoted example is what the text says it is: one expression, nothing ignored.
    status, line, err = run("--json", "--seed", "1", quoted)
    assert (status, err) == (0, "") and json.loads(line)["consumed"] == quoted


# --- seeds ------------------------------------------------------------------


@pytest.mark.parametrize("expression", ["4d6k3", "3#4d6k3", "{d6, d8, 5} * 2", "10d10>=7", "2d20kl1 + 1d4 - 1"])
def test_same_seed_same_output(expression):
    first = run("--seed", "123", "-n", "3", expression)
    assert first[0] == 0
    assert run("--seed", "123", "-n", "3", expression) == first


def test_seeds_follow_output_order_across_times_and_expressions():
    status, out, _ = run("--seed", "7", "-n", "2", stdin=b"10d100\n5d20\n1/0\n3d1000\n")
    assert status == 1
    # One seed per roll, failed rolls included: 10d100 x2 -> 7, 8; 5d20 x2 -> 9, 10;
    # 1/0 x2 -> 11, 12; 3d1000 x2 -> 13, 14.
    expected = [
        run("--seed", str(seed), expression)[1]
        for seed, expression in [(7, "10d100"), (8, "10d100"), (9, "5d20"), (10, "5d20"), (11, "1/0"), (12, "1/0"),
                                 (13, "3d1000"), (14, "3d1000")]
    ]
    assert out == "".join(expected)


def test_seed_sequence_in_stdin_mode_matches_separate_runs():
    lines = ["4d6k3", "", "10d100", "3#4d6k3"]
    status, out, _ = run("--seed", "100", stdin="\n".join(lines).encode() + b"\n")
    assert status == 0
    assert out == "".join(run("--seed", str(100 + i), line)[1] for i, line in enumerate(lines))


def test_seed_wraps_after_the_largest():
    top = str(2**64 - 1)
    status, out, _ = run("--seed", top, "-n", "2", "10d100")
    assert status == 0
    assert out == run("--seed", top, "10d100")[1] + run("--seed", "0", "10d100")[1]


def test_different_seeds_differ():
    outputs = {run("--seed", str(seed), "10d100")[1] for seed in range(5)}
    assert len(outputs) == 5


# --- standard input ---------------------------------------------------------


@pytest.mark.parametrize(
    "stdin, stdout, status",
    [
        (b"2 + 3\n7 / 2\n", "5\n3.5\n", 0),
        (b"2 + 3\n7 / 2", "5\n3.5\n", 0),  # last line without a line feed
        (b"2 + 3\r\n7 / 2\r\n", "5\n3.5\n", 0),
        (b"2 + 3\n1/0\n7 / 2\n", "5\n\n3.5\n", 1),
        (b"\n\n", "\n\n", 0),
        (b"", "", 0),
        (b"{1,\n2}\n", "\n2\n", 0),  # each line stands alone
    ],
)
def test_stdin_lines(stdin, stdout, status):
    got_status, out, _ = run(stdin=stdin)
    assert (got_status, out) == (status, stdout)


@pytest.mark.parametrize(
    "line, consumed, tail",
    [
        (b"1)\r\n", "1", ")"),  # one CR before the LF is dropped
        (b"1)\r\r\n", "1", ")\r"),  # only one
        (b"1, 2\r\n", "1", ", 2"),
        (b"1)\r", "1", ")"),  # also on a last line without a line feed
        (b"2+3\x00junk\n", "2+3", "\x00junk"),
        (b"1+\xff\xfe1\n", "1", "+\ufffd\ufffd1"),
        (b"(1 \xe2\x82\n", "", "(1 \ufffd"),
        (b"2 \xc3\xa9\n", "2", "\u00e9"),
    ],
)
def test_stdin_line_bytes_reach_the_parser_intact(line, consumed, tail):
    status, out, _ = run("--json", stdin=line)
    assert status == 0
    [obj] = json_lines(out)
    assert (obj["consumed"], obj["tail"]) == (consumed, tail)


def test_stdin_ignored_tail_reported_per_line():
    status, out, err = run("--seed", "3", stdin=b"2 + 3 x\n4\n5)\n")
    assert (status, out) == (0, "5\n4\n5\n")
    assert err == "pipwerk: ignored: x\npipwerk: ignored: )\n"


def test_times_repeats_each_stdin_line():
    status, out, _ = run("-n", "2", "--seed", "5", stdin=b"1d6\n2 + 3\n")
    assert status == 0
    lines = out.splitlines()
    assert lines[2:] == ["5", "5"]
    assert lines[:2] == [run("--seed", "5", "1d6")[1].strip(), run("--seed", "6", "1d6")[1].strip()]


def test_each_line_is_answered_before_the_next_is_read():
    with subprocess.Popen(
        [CLI, "--seed", "1"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL
    ) as proc:
        try:
            for expression, answer in [(b"2 + 3\n", b"5\n"), (b"7 / 2\n", b"3.5\n")]:
                proc.stdin.write(expression)
                proc.stdin.flush()
                ready, _, _ = select.select([proc.stdout], [], [], 10)
                assert ready, "no answer before the next line: output is not flushed per line"
                assert proc.stdout.readline() == answer
            proc.stdin.close()
            assert proc.wait(timeout=10) == 0
        finally:
            proc.kill()


def test_arbitrary_bytes_never_crash():
    rnd = random.Random(20240607)
    alphabet = b"0123456789dDkKlLbB+-*/()}{,#%.<>=! \t\r\x00\x7f\xff\xc3\xa9\xe2\x82"
    lines = [bytes(rnd.choice(alphabet) for _ in range(rnd.randint(0, 40))) for _ in range(400)]
    stdin = b"\n".join(lines) + b"\n"
    proc = subprocess.run([CLI, "--json", "--seed", "1"], input=stdin, capture_output=True, timeout=120)
    assert proc.returncode in (0, 1)
    objects = [json.loads(line) for line in proc.stdout.decode("utf-8").splitlines()]
    assert len(objects) == len(lines)
    errors = sum("error" in obj for obj in objects)
    assert (proc.returncode == 1) == (errors > 0)


# --- JSON -------------------------------------------------------------------


def check_roll_object(obj):
    assert list(obj) == ["expression"] + ROLL_FIELDS + ["seed"]
    assert isinstance(obj["seed"], int) and 0 <= obj["seed"] <= SEED_MAX
    for name in ROLL_FIELDS[:5]:
        assert isinstance(obj[name], str)
    assert isinstance(obj["is_set"], bool)
    assert isinstance(obj["values"], list)
    assert all(value is None or isinstance(value, float) for value in obj["values"])


def summary_numbers(summary):
    inner = summary[1:-1] if summary.startswith("{") else summary
    return [float(item) for item in inner.split(", ")] if inner else []


@pytest.mark.parametrize(
    "expression",
    ["4d6k3", "1d20+5", "3#4d6k3", "{d6, d8, 5} * 2", "10d10>=7", "2d20kl1 + 1d4 - 1", "7 / 2", "50%", "{1, 2} / 0"],
)
@pytest.mark.parametrize("summary", [False, True])
def test_json_fields_agree(expression, summary):
    args = ["--json", "--seed", "42", "-n", "3"] + (["--summary"] if summary else []) + [expression]
    status, out, err = run(*args)
    assert (status, err) == (0, "")
    objects = json_lines(out)
    assert len(objects) == 3
    for obj in objects:
        check_roll_object(obj)
        assert obj["expression"] == obj["consumed"] == expression and obj["tail"] == ""
        assert obj["values"] == summary_numbers(obj["summary"])
        assert obj["is_set"] == obj["summary"].startswith("{")
        if summary:
            assert (obj["detail"], obj["full"]) == ("", obj["summary"])
        elif obj["detail"]:
            assert obj["full"] == obj["detail"] + " = " + obj["summary"]
    plain = run("--seed", "42", "-n", "3", *(["--summary"] if summary else []), expression)[1]
    assert plain == "".join(obj["full"] + "\n" for obj in objects)


@pytest.mark.parametrize(
    "expression, summary, values",
    [
        ("1" + "0" * 400, "inf", [None]),
        ("1" + "0" * 400 + " - " + "1" + "0" * 400, "NaN", [None]),
        ("9007199254740993", "9007199254740993", [9007199254740992.0]),
        ("1 / 3", "0.3333333333333333", [1 / 3]),
        ("0 - 0.5", "-0.5", [-0.5]),
        ("3#5", "{5, 5, 5}", [5.0, 5.0, 5.0]),
    ],
)
def test_json_values(expression, summary, values):
    status, out, _ = run("--json", expression)
    assert status == 0
    [obj] = json_lines(out)
    check_roll_object(obj)
    assert (obj["summary"], obj["values"]) == (summary, values)


def test_json_empty_and_unparsed():
    status, out, err = run("--json", stdin=b"\nhello\n")
    assert (status, err) == (0, "")  # the tail travels in the object, not on stderr
    objects = json_lines(out)
    for obj in objects:
        check_roll_object(obj)
        del obj["seed"]
    assert objects == [
        dict(expression="", consumed="", tail="", summary="", detail="", full="", is_set=False, values=[]),
        dict(expression="hello", consumed="", tail="hello", summary="", detail="", full="", is_set=False, values=[]),
    ]


def test_json_error_object_keeps_lines_aligned():
    status, out, err = run("--json", stdin=b"2\n1/0\n3\n")
    assert (status, err) == (1, "pipwerk: division by zero\n")
    objects = json_lines(out)
    assert objects[1] == {"expression": "1/0", "error": "division by zero"}
    assert [objects[0]["summary"], objects[2]["summary"]] == ["2", "3"]


@pytest.mark.parametrize("text", ['"', "\\", "\t", "\x01", "\x1f", "\x7f", "\u2028", "é€😀", "\x00", "\u0085\u009b",
                                  "\u202e\u2066\u200f"])
def test_json_escapes_tail_text(text):
    tail = "x" + text
    status, out, _ = run("--json", "1 " + tail) if "\x00" not in text else run("--json", stdin=("1 " + tail).encode())
    assert status == 0
    [obj] = json_lines(out)
    assert obj["tail"] == tail
    assert not RAW.search(out.rstrip("\n"))  # no raw control character on the line


# --- parse only -------------------------------------------------------------


@pytest.mark.parametrize(
    "expression, success, consumed, tail",
    [
        ("d20 + (d4+ test", True, "d20", "+ (d4+ test"),
        ("4d6", True, "4d6", ""),
        ("hello", False, "", "hello"),
        ("{}", False, "", "{}"),
        ("  2d6  ", True, "  2d6", ""),
        ('1 "q"', True, "1", '"q"'),
        ("1/0", True, "1/0", ""),  # parsing alone never fails
    ],
)
def test_parse_only(expression, success, consumed, tail):
    status, out, err = run("--parse", expression)
    assert (status, err) == (0, "")
    assert out == f"success={'true' if success else 'false'} consumed={json.dumps(consumed)} tail={json.dumps(tail)}\n"
    status, out, _ = run("--parse", "--json", expression)
    assert status == 0
    assert json_lines(out) == [{"expression": expression, "success": success, "consumed": consumed, "tail": tail}]


# --- agreement with the Python module ---------------------------------------


@pytest.mark.parametrize("expression", ["4d6k3", "3#4d6k3", "{d6, d8, 5} * 2", "2d20kl1 + 1d4 - 1", "5d6b6k3", "1/0", "x"])
@pytest.mark.parametrize("seed", [0, 42, 2**64 - 1])
def test_cli_matches_module(expression, seed):
    pipwerk = pytest.importorskip("pipwerk")
    [obj] = json_lines(run("--json", "--seed", str(seed), expression)[1])
    try:
        result = pipwerk.roll(expression, seed=seed)
    except ValueError as error:
        assert obj == {"expression": expression, "error": str(error)}
        return
    assert obj == {"expression": expression} | {name: getattr(result, name) for name in ROLL_FIELDS} | {"seed": seed}
    parsed = pipwerk.parse(expression)
    [pobj] = json_lines(run("--parse", "--json", expression)[1])
    assert pobj == {"expression": expression, "success": parsed.success, "consumed": parsed.consumed,
                    "tail": parsed.tail}


# --- as a filter: one line per roll ------------------------------------------


def mixed_input_lines(count):
    """Lines that roll, fail, parse nothing or leave a tail, with numbered markers every 7th line."""
    rnd = random.Random(10)
    kinds = [b"4d6k3", b"1/0", b"60d6", b"hello", b"", b"2 + 3 )", b"{1, {2}}", b"3#d6, x", b"1 \xff\x00", b"  "]
    return [str(i).encode() if i % 7 == 0 else rnd.choice(kinds) for i in range(count)]


@pytest.mark.parametrize(
    "args, times",
    [
        (["--seed", "1"], 1),
        (["--seed", "1", "--summary"], 1),
        (["--seed", "1", "--json"], 1),
        (["--parse"], 1),
        (["--parse", "--json"], 1),
        (["--seed", "1", "-n", "2"], 2),
    ],
)
def test_every_roll_writes_one_line(args, times):
    lines = mixed_input_lines(100_000)
    proc = subprocess.run([CLI, *args], input=b"\n".join(lines) + b"\n", capture_output=True,
                          timeout=120)
    assert proc.returncode == (0 if "--parse" in args else 1)
    out = proc.stdout.decode("utf-8").split("\n")
    assert out.pop() == ""  # the last line ends with a line feed
    assert len(out) == len(lines) * times
    for i in range(0, len(lines), 7):  # the markers sit at their input's place
        for k in range(times):
            line = out[i * times + k]
            if "--json" in args:
                assert json.loads(line)["expression"] == str(i)
            elif "--parse" in args:
                assert line == f'success=true consumed="{i}" tail=""'
            else:
                assert line == str(i)


def test_json_objects_name_their_input():
    lines = mixed_input_lines(2000)
    status, out, _ = run("--json", stdin=b"\n".join(lines) + b"\n")
    assert status == 1
    objects = json_lines(out)
    assert [obj["expression"] for obj in objects] == [line.decode("utf-8", "replace") for line in lines]
    for obj in objects:
        assert list(obj) == ["expression", "error"] or list(obj) == ["expression"] + ROLL_FIELDS + ["seed"]


# --- echo of ignored text ------------------------------------------------------


@pytest.mark.parametrize(
    "tail, shown",
    [
        (b"\x1b[31mred", r"\x1b[31mred"),  # an escape sequence never reaches the terminal
        (b"a\x00b\x07c\x7fd", r"a\x00b\x07c\x7fd"),
        (b"a\rb\tc", r"a\x0db\x09c"),
        ("a\u0085b\u009bc".encode(), r"a\u0085b\u009bc"),  # C1 controls, CSI among them
        ("\u202eabc\u202c".encode(), r"\u202eabc\u202c"),  # bidirectional overrides and isolates
        ("\u2066x\u2069\u200e\u200f\u061c".encode(), r"\u2066x\u2069\u200e\u200f\u061c"),
        (b"\xff\xc3(\x9b", r"\xff\xc3(\x9b"),  # bytes that are not UTF-8, a raw 8-bit CSI among them
        (b"a\\x1b", r"a\\x1b"),  # a backslash is doubled, so an escape is never ambiguous
        ("é€😀 ok".encode(), "é€😀 ok"),
        (b"x" * 80, "x" * 80),
        (b"x" * 81, "x" * 80 + "... (1 more character)"),
        ("€".encode() * 100, "€" * 80 + "... (20 more characters)"),
        (b"\x1b" * 85, r"\x1b" * 80 + "... (5 more characters)"),
    ],
)
def test_ignored_text_is_echoed_safely(tail, shown):
    status, out, err = run(stdin=b"1 " + tail + b"\n")
    assert (status, out) == (0, "1\n")
    assert err == f"pipwerk: ignored: {shown}\n"


def test_long_tail_is_cut_not_echoed():
    tail = b"+" + b"y" * 10_000_000
    proc = subprocess.run([CLI], input=b"1 " + tail + b"\n", capture_output=True, timeout=60)
    assert (proc.returncode, proc.stdout) == (0, b"1\n")
    assert proc.stderr == b"pipwerk: ignored: +" + b"y" * 79 + b"... (9999921 more characters)\n"


# Control bytes (an OSC title and BEL), a C1 CSI as UTF-8, bidirectional
# controls, then enough text to be cut; from standard input also NUL and a
# byte that is not UTF-8.
HOSTILE = "\x1b]0;title\x07\u009b2J\u202e\u2066" + "y" * 100
HOSTILE_LINE = HOSTILE.encode() + b"\x00\xff\n"
ECHOED = r"\x1b]0;title\x07\u009b2J\u202e\u2066y"  # as the echo writes it
IN_JSON = json.dumps(HOSTILE[:12])[1:-1]  # as a JSON string writes it
# What a terminal would obey, or what would reorder the line, if written raw.
RAW = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069]")
X = HOSTILE


@pytest.mark.parametrize(
    "args, stdin",
    [
        (["--", "1d6 " + X], b""),
        (["--json", "--", "1 " + X], b""),
        (["--json", "--trace", "--", "1 " + X], b""),
        (["--parse", "--", X], b""),
        (["--parse", "--json", "--", X], b""),
        (["--odds", "--", "1d6 " + X], b""),
        (["--odds", "--", X], b""),  # the picture's label: nothing to roll
        (["--odds", "--json", "--", "1d6 " + X], b""),
        (["--odds", "--vs", "1d6", "--", X], b""),
        (["--odds", "--vs", X, "1d6"], b""),
        (["--odds", "--vs", "1d6 " + X, "1d6"], b""),
        (["--odds", "--json", "--vs", X, "1d6"], b""),
        (["--seed", X, "1d6"], b""),
        (["-n", X, "1d6"], b""),
        (["--times=" + X, "1d6"], b""),
        (["--" + X], b""),
        (["-" + X], b""),
        (["--" + X + "=1"], b""),
        ([], HOSTILE_LINE),
        (["--json", "--trace"], b"1 " + HOSTILE_LINE),
        (["--parse"], HOSTILE_LINE),
        (["--odds"], b"1d6 " + HOSTILE_LINE),
        (["--odds", "--vs", "1d6"], HOSTILE_LINE),
        (["--odds", "--json", "--vs", "1d6"], HOSTILE_LINE),
        (["--odds", "--vs", "1d6"], HOSTILE.encode() + b"y" * 10_000_000 + b"\n"),
    ],
)
def test_nothing_from_the_user_reaches_the_terminal_raw(args, stdin):
    _, out, err = run(*args, stdin=stdin)  # both streams decode as UTF-8
    assert not RAW.search(out.replace("\n", "")) and not RAW.search(err.replace("\n", ""))
    # The text is shown, escaped: by the echo, cut at 80 characters, or as JSON data.
    assert ECHOED in out + err or IN_JSON in out
    assert all(re.search(r"y\.\.\. \(\d+ more characters\)", line) for line in err.splitlines() if ECHOED in line)


# --- --strict and exit statuses ------------------------------------------------


@pytest.mark.parametrize(
    "args, stdin, status",
    [
        (["--strict", "2 + 3"], b"4d6\n", 0),
        (["--strict", "2", "+", "3"], b"", 0),
        (["2 + 3 x"], b"", 0),  # without --strict ignored text is only reported
        (["--strict", "2 + 3 x"], b"", 3),
        (["--strict", "hello"], b"", 3),
        (["--strict", ""], b"", 3),  # parsed nothing
        (["--strict"], b"2\n   \n", 3),
        (["--strict"], b"1/0\n2 x\n", 1),  # a failed roll comes first
        (["--strict"], b"2 x\n1/0\n", 1),
        (["--strict", "--json", "1 x"], b"", 3),
        (["--strict", "--summary", "-n", "3", "1d6 x"], b"", 3),
        (["--strict", "--parse", "1"], b"", 0),
        (["--strict", "--parse", "1 x"], b"", 3),
        (["--strict", "--parse", "x"], b"", 3),
        (["--strict"], b"1\n2d6\r\n", 0),
        (["--strict"], b"1\n\n2\n", 3),
        (["--strict", "--bogus"], b"", 2),
    ],
)
def test_strict_exit_status(args, stdin, status):
    assert run(*args, stdin=stdin)[0] == status


def test_strict_names_an_input_that_parsed_nothing():
    assert run("--strict", stdin=b"2\n\n") == (3, "2\n\n", "pipwerk: nothing to roll\n")


@pytest.mark.parametrize("count", ["0", "18446744073709551616", "99999999999999999999999", "-1", "1e3"])
def test_bad_count_says_what_range_is_accepted(count):
    status, _, err = run("-n", count, "1")
    assert status == 2
    assert err.startswith(f"pipwerk: invalid count '{count}' (want 1 to 18446744073709551615)\n")


def test_help_is_enough_without_the_readme():
    status, out, _ = run("--help")
    assert status == 0
    for fact in ["at most 50 dice", "1000 faces", "1 to 10", "256 levels", "kl", ">=", "#", "{A, B, ...}"]:
        assert fact in out, fact
    statuses = out[out.index("Exit status:"):out.index("Examples:")]
    assert re.findall(r"^  (\d)  ", statuses, re.M) == ["0", "1", "2", "3"]
    examples = out[out.index("Examples:"):]
    assert len(re.findall(r"^  pipwerk ", examples, re.M)) == 3
    # The first example prints what the help says it prints.
    args, says = re.search(r"^  pipwerk (.*?) {2,}(.*)$", examples, re.M).groups()
    assert run(*args.split())[1] == says.removeprefix("prints ") + "\n"


# --- the seed of every JSON line, the trace tree and hints ---------------------------


@pytest.mark.parametrize("expression", ["10d100", "3#4d6k3", "{d6, d8} * 2", "5d6b6k3>=4", "1/0", "x"])
def test_json_seed_replays_unseeded_rolls(expression):
    status, out, _ = run("--json", "-n", "4", expression)
    objects = json_lines(out)
    if "error" in objects[0]:
        assert status == 1 and all(obj == objects[0] for obj in objects)  # no seed to give
        return
    seeds = [obj["seed"] for obj in objects]
    assert len(set(seeds)) == 4  # each roll drew its own seed from the clock
    for obj in objects:
        check_roll_object(obj)
        [again] = json_lines(run("--json", "--seed", str(obj["seed"]), expression)[1])
        assert again == obj


def test_json_seed_follows_the_given_seeds():
    objects = json_lines(run("--json", "--seed", str(SEED_MAX), "-n", "3", "1d6")[1])
    assert [obj["seed"] for obj in objects] == [SEED_MAX, 0, 1]


def dice_text(node):
    """The detail text a dice node's dice give: "[1* + 4 + 6 + 4]" with dropped dice marked,
    "<8 + 3* + 8>" with failures marked when there is a comparison."""
    def shown(die):
        return f"{die['value']}{'*' if not die['kept'] or die['success'] is False else ''}"
    open_, close = "<>" if node["comparison"] else "[]"
    return open_ + " + ".join(shown(d) for d in node["dice"]) + close


@pytest.mark.parametrize("expression", ["4d6k3", "2d20kl1 + 5", "5d10>=7", "3#4d6k3", "{1d4, 2d8k1} * 2", "x", "2 + 3"])
@pytest.mark.parametrize("seed", [1, 99])
def test_json_trace_adds_the_tree(expression, seed):
    plain = json_lines(run("--json", "--seed", str(seed), expression)[1])
    traced = json_lines(run("--json", "--trace", "--seed", str(seed), expression)[1])
    assert [{k: v for k, v in obj.items() if k not in ("nodes", "root")} for obj in traced] == plain
    for obj in traced:
        assert list(obj) == ["expression"] + ROLL_FIELDS + ["seed", "nodes", "root"]
        nodes = obj["nodes"]
        if not obj["consumed"]:
            assert (nodes, obj["root"]) == ([], None)
            continue
        root = nodes[obj["root"]]
        assert obj["root"] == len(nodes) - 1
        assert (root["start"], root["end"]) == (0, len(obj["consumed"].rstrip()))
        assert root.get("values", [root.get("value")]) == obj["values"]
        # Every dice node's dice are the ones its part of the detail text shows.
        assert all(dice_text(node) in obj["detail"] for node in nodes if node["kind"] == "dice")


def depth_of(nodes, root):
    """How deep the table's tree is, walked by index without recursion."""
    deepest, todo = 0, [(root, 1)]
    while todo:
        index, depth = todo.pop()
        deepest = max(deepest, depth)
        node = nodes[index]
        children = node.get("elements", []) + [node[k] for k in ("operand", "left", "right") if k in node]
        todo.extend((child, depth + 1) for child in children)
    return deepest


NESTED = "(1+2*" * 256 + "3" + ")" * 256  # 513 nested nodes, at the nesting limit


@pytest.mark.parametrize(
    "expression, depth",
    [("4d6k3", 1), ("{1d4, 2d8k1} * 2 + 1", 4), ("3#2d6b6", 2), (NESTED, 513), ("1" + "+1" * 100_000, 100_001),
     ("-" * 255 + "(1+2)", 257)],
)
def test_the_trace_reads_back_at_any_depth_on_every_surface(expression, depth):
    """to_dict() through json.dumps, to_json() and the CLI's line all read back with
    the default recursion limit, and are the same table."""
    pipwerk_trace = pytest.importorskip("pipwerk_trace")
    t = pipwerk_trace.trace(expression, seed=5)
    from_dict = json.loads(json.dumps(t.to_dict()))
    from_json = json.loads(t.to_json())
    [line] = json_lines(run("--json", "--trace", "--seed", "5", stdin=expression.encode())[1])
    assert from_dict == from_json
    assert {k: line[k] for k in ("seed", "nodes", "root")} == {k: from_json[k] for k in ("seed", "nodes", "root")}
    assert depth_of(line["nodes"], line["root"]) == depth


@pytest.mark.parametrize(
    "args, shown",
    [
        (["--seed", "1", "2d20kh1+5"], "kh1+5 (hint: k already keeps the highest)"),
        (["--odds", "2d20kh1"], "kh1 (hint: k already keeps the highest)"),
        (["--seed", "1", "2d20 khaki"], "khaki"),  # no notation here: no hint
        (["--seed", "1", "1d6 junk"], "junk"),
        (["--", "5", "\x1bkh"], "\\x1bkh"),  # the hint reads the tail as typed, the echo escapes it
    ],
)
def test_ignored_text_carries_its_hint(args, shown):
    status, _, err = run(*args)
    assert status == 0
    assert err == f"pipwerk: ignored: {shown}\n"


def test_hints_are_the_trace_module_s():
    pipwerk_trace = pytest.importorskip("pipwerk_trace")
    for expression in ["4d6dl1", "3d6!", "1d20adv", "4dF", "1d20r1", "2d20kh1", "1d6 x"]:
        hints = pipwerk_trace.trace(expression, seed=1).hints
        tail = pipwerk_trace.trace(expression, seed=1).result.tail
        err = run("--seed", "1", expression)[2]
        suffix = f" (hint: {'; '.join(hints)})" if hints else ""
        assert err == f"pipwerk: ignored: {tail}{suffix}\n"


@pytest.mark.parametrize("args", [["--trace", "1d6"], ["--trace", "--parse", "--json", "1d6"],
                                  ["--trace", "--json", "--odds", "1d6"]])
def test_trace_needs_json_and_a_roll(args):
    status, out, err = run(*args)
    assert (status, out) == (2, "") and "--trace" in err
