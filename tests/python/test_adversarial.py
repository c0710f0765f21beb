"""Hostile inputs: deep nesting, huge texts, odd characters, every limit at
its edge, 64-bit overflow and concurrent use. Each call must finish with the
result or error the language defines and leave the interpreter usable."""

from __future__ import annotations

import json
import os
import re
import subprocess
import sys
import threading

import pytest

import pipwerk

POSITIVE = "dice count, face, or repeat must be a positive integer"
UNEXPECTED_LEVEL = "parse error: unexpected pipwerk level"
# Unicode White_Space: what may stand between the consumed text and the tail.
WS = "".join(map(chr, [*range(0x09, 0x0E), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B),
                       0x2028, 0x2029, 0x202F, 0x205F, 0x3000]))


@pytest.fixture(autouse=True)
def interpreter_still_usable():
    yield
    assert pipwerk.roll("4d6k3", seed=42).full == "[1* + 4 + 6 + 4] = 14"
    assert pipwerk.parse("d20 + (d4+ test").consumed == "d20"


def outcome(expression, seed=1):
    """The fields of a roll, or the error's type and arguments."""
    try:
        r = pipwerk.roll(expression, seed=seed)
    except ValueError as e:
        return ("error", e.args)
    return (r.consumed, r.tail, r.summary, r.detail, r.full, r.is_set, r.values)


def check_split(text, consumed, tail):
    """consumed is a prefix, tail a suffix, and only whitespace lies between."""
    assert text.startswith(consumed)
    assert text.endswith(tail)
    assert len(consumed) + len(tail) <= len(text)
    assert text[len(consumed):len(text) - len(tail)].strip(WS) == ""


def dice_of(detail):
    """The die texts of one plain roll detail "[a + b* + c!]"."""
    assert detail.startswith("[") and detail.endswith("]"), detail
    return detail[1:-1].split(" + ")


# ---- deep nesting ----

# Each shape at depth n: the text, the result of a complete parse (a
# summary or an error message) and what a parser that stops at a depth
# limit consumes instead (the construct cannot be parsed, so the longest
# valid beginning is what stands before it).
NESTED = {
    "brackets": (lambda n: "(" * n + "7" + ")" * n, lambda n: "7", ""),
    "bracketed dice": (lambda n: "(" * n + "1d1000b1001" + ")" * n, None, ""),
    "sets": (lambda n: "{" * n + "1" + "}" * n, lambda n: "{1}" if n == 1 else UNEXPECTED_LEVEL, ""),
    "unary minus": (lambda n: "-" * n + "5", lambda n: str(5 * (-1) ** n), ""),
    "minus dice": (lambda n: "-" * n + "d6", None, ""),
    "minus set": (lambda n: "-" * n + "{1, 2}", lambda n: "{1, 2}" if n % 2 == 0 else "{-1, -2}", ""),
    "repeats": (lambda n: "2#(" * n + "3" + ")" * n, lambda n: "{3, 3}" if n == 1 else UNEXPECTED_LEVEL, "2"),
    "right operands": (lambda n: "1+(" * n + "1" + ")" * n, lambda n: str(n + 1), "1"),
    "alternating": (lambda n: "-(" * n + "d4" + ")" * n, None, ""),
    "set chain": (lambda n: "{1}+(" * n + "{1}" + ")" * n, lambda n: "{%d}" % (n + 1), "{1}"),
    "scalar and set": (lambda n: "1+(" * n + "{1}" + ")" * n, lambda n: "{%d}" % (n + 1), "1"),
    "minus bracketed set": (
        lambda n: "-(" * n + "{1, 2}" + ")" * n, lambda n: "{1, 2}" if n % 2 == 0 else "{-1, -2}", ""),
    "dice operands": (lambda n: "1+(" * n + "1d1000b1001" + ")" * n, None, "1"),
}


def check_nested(shape, n):
    build, complete, limited = NESTED[shape]
    text = build(n)
    parsed = pipwerk.parse(text)
    check_split(text, parsed.consumed, parsed.tail)
    try:
        rolled = pipwerk.roll(text, seed=5)
    except ValueError as e:
        assert parsed.consumed == text, "only a complete parse can fail here"
        assert complete is not None and e.args == (complete(n),)
        return "complete"
    if parsed.success:
        assert (rolled.consumed, rolled.tail) == (parsed.consumed, parsed.tail)
    if parsed.consumed == text:
        if complete is not None:
            assert rolled.summary == complete(n)
        else:
            assert rolled.detail.count("[") == 1 and rolled.values and rolled.values[0] != 0
        return "complete"
    # Stopped at a depth limit: the beginning before the construct.
    assert parsed.consumed == limited
    assert rolled.consumed == limited and rolled.tail == text[len(limited):]
    return "limited"


@pytest.mark.parametrize("shape", sorted(NESTED))
def test_moderate_nesting_is_parsed_completely(shape):
    assert check_nested(shape, 1) == "complete"
    assert check_nested(shape, 100) == "complete"


@pytest.mark.parametrize("shape", sorted(NESTED))
def test_nesting_ten_to_the_fifth_finishes(shape):
    check_nested(shape, 10**5)


def deepest_complete(shape, hi=10**5):
    """The deepest nesting of a shape that still parses completely."""
    build = NESTED[shape][0]
    lo = 1
    if pipwerk.parse(build(hi)).consumed == build(hi):
        return hi
    while hi - lo > 1:
        mid = (lo + hi) // 2
        if pipwerk.parse(build(mid)).consumed == build(mid):
            lo = mid
        else:
            hi = mid
    return lo


SMALL_STACK_CHILD = """
import json, sys, threading
sys.path.insert(0, sys.argv[1])
import test_adversarial as t
failures = []
def work():
    try:
        for shape, depth in json.loads(sys.argv[2]).items():
            for n in (depth, depth + 1):
                print(shape, n, flush=True)
                t.check_nested(shape, n)
    except BaseException as e:
        failures.append(e)
threading.stack_size(256 * 1024)
worker = threading.Thread(target=work)
worker.start()
worker.join()
if failures:
    raise failures[0]
"""


def test_depth_limit_on_a_small_thread_stack():
    """The deepest input the parser accepts must also evaluate on a 256 KiB
    thread stack, as must the first depth past it. Runs in a child process
    so that a stack overflow fails this test instead of ending the session."""
    depths = {shape: deepest_complete(shape) for shape in NESTED}
    here = os.path.dirname(os.path.abspath(__file__))
    run = subprocess.run(
        [sys.executable, "-c", SMALL_STACK_CHILD, here, json.dumps(depths)],
        capture_output=True, text=True, timeout=120,
    )
    last = run.stdout.strip().splitlines()[-1:] or ["(nothing)"]
    assert run.returncode == 0, f"exit {run.returncode} at {last[0]}\n{run.stderr[-2000:]}"


# ---- huge inputs ----


def test_million_term_sum():
    r = pipwerk.roll("+".join(["1"] * 10**6), seed=1)
    assert (r.summary, r.full, r.detail, r.values, r.tail) == ("1000000", "1000000", "", [1e6], "")
    assert len(r.consumed) == 2 * 10**6 - 1


def test_long_sum_wraps_in_64_bits():
    terms = 10**5
    r = pipwerk.roll("+".join(["9223372036854775807"] * terms), seed=1)
    wrapped = (terms * (2**63 - 1) + 2**63) % 2**64 - 2**63
    assert r.summary == str(wrapped)


def test_long_chain_with_one_die():
    r = pipwerk.roll("1d6" + "+1" * 10**6, seed=3)
    die = int(dice_of(r.detail.split(" + 1", 1)[0])[0])
    assert 1 <= die <= 6
    assert r.summary == str(die + 10**6)
    assert r.detail == f"[{die}]" + " + 1" * 10**6


def test_long_set_chain():
    r = pipwerk.roll("{1, 2}" + "*2" * 60 + "+1" * 10**5, seed=1)
    assert r.values == [float(2**60 + 10**5), float(2**61 + 10**5)]
    assert r.summary == "{%d, %d}" % (2**60 + 10**5, 2**61 + 10**5)


@pytest.mark.parametrize(
    "text, consumed, tail, summary",
    [
        ("1d1000 " + "x" * 10**7, "1d1000", "x" * 10**7, None),
        (" " * 10**7 + "2+3", " " * 10**7 + "2+3", "", "5"),
        ("1" * 10**7, "1" * 10**7, "", "inf"),
        ("(" * 10**7, "", "(" * 10**7, ""),
        ("2*3" + " " * 10**7 + ")", "2*3", ")", "6"),
    ],
    ids=["tail", "leading spaces", "literal", "open brackets", "trailing spaces"],
)
def test_ten_megabyte_inputs(text, consumed, tail, summary):
    r = pipwerk.roll(text, seed=9)
    assert (r.consumed, r.tail) == (consumed, tail)
    if summary is not None:
        assert r.summary == summary
    assert pipwerk.parse(text).tail == tail


# ---- odd characters ----


@pytest.mark.parametrize(
    "text, consumed, tail",
    [
        ("1d6\0+2", "1d6", "\0+2"),
        ("\0" * 1000, "", "\0" * 1000),
        ("2+\0", "2", "+\0"),
        ("2d6\n3d8", "2d6", "\n3d8"),
        ("\n" * 1000, "", "\n" * 1000),
        ("4\r\n", "4", "\n"),
        ("1d6 + \U0001F3B2", "1d6", "+ \U0001F3B2"),
        ("\U0001F3B2" * 10000, "", "\U0001F3B2" * 10000),
        ("e\u0301" * 1000, "", "e\u0301" * 1000),
        ("1d6\u0301\u0301", "1d6", "\u0301\u0301"),
        ("3\u20dd", "3", "\u20dd"),
        ("\u00a02d6", "", "2d6"),
        ("2d6\u3000\u2028", "2d6", ""),
        ("2d6 \u2028 x", "2d6", "x"),
        ("{1,\U0001F3B2}", "", "{1,\U0001F3B2}"),
        ("(\u0301)", "", "(\u0301)"),
    ],
)
def test_odd_characters(text, consumed, tail):
    parsed = pipwerk.parse(text)
    assert (parsed.consumed, parsed.tail) == (consumed, tail)
    rolled = pipwerk.roll(text, seed=2)
    assert (rolled.consumed, rolled.tail) == (consumed, tail)
    assert (rolled.summary == "") == (consumed == "")
    repr(rolled), repr(parsed)  # the quoted form copes with every character


@pytest.mark.parametrize("text", ["\ud800", "1d6\udfff", "\udc80" * 1000, "2d6\n\ud83c", "{1, \udfff}"])
@pytest.mark.parametrize("function", [pipwerk.roll, pipwerk.parse])
def test_lone_surrogates_raise_unicode_encode_error(function, text):
    with pytest.raises(UnicodeEncodeError):
        function(text)


# ---- limits at and past their edges ----


def roll_expecting(expression, error):
    """The seeded roll, or None after checking it fails with exactly `error`."""
    if error is None:
        return pipwerk.roll(expression, seed=4)
    with pytest.raises(ValueError) as info:
        pipwerk.roll(expression, seed=4)
    assert info.value.args == (error,)
    return None


@pytest.mark.parametrize(
    "expression, dice, error",
    [
        ("50d6", 50, None),
        ("51d6", None, "dice count exceeds maximum (51), max is 50"),
        ("50d1000", 50, None),
        ("51d1001", None, "dice count exceeds maximum (51), max is 50"),
        ("d1000", 1, None),
        ("d1001", None, "dice face exceeds maximum (1001), max is 1000"),
        ("2147483647d6", None, "dice count exceeds maximum (2147483647), max is 50"),
        ("1d2147483647", None, "dice face exceeds maximum (2147483647), max is 1000"),
        ("1d2", 1, None),
        ("d1", None, POSITIVE),
        ("0d6", None, POSITIVE),
        ("0d2000", None, POSITIVE),
        ("60d2000", None, "dice count exceeds maximum (60), max is 50"),
        ("4294967297d6", 1, None),
        ("2147483648d6", None, POSITIVE),
        ("18446744073709551617d6", None, POSITIVE),
        ("0.5d6", None, POSITIVE),
        ("50.9d6", 50, None),
        # A bonus threshold lifts both maxima and caps the pool at 50 dice.
        ("1d2b1", 50, None),
        ("1d2b0", 50, None),
        ("50d2b1", 50, None),
        ("51d6b7", 50, None),
        ("1000d6b7", 50, None),
        ("2147483647d6b7", 50, None),
        ("2d5000b5000", None, None),
        ("1d1001b1", 50, None),
        ("0d6b1", None, POSITIVE),
        ("1d1b1", None, POSITIVE),
        ("1d6b199%", 50, None),
    ],
)
def test_dice_limits(expression, dice, error):
    r = roll_expecting(expression, error)
    if r is None:
        return
    assert r.consumed == expression
    texts = dice_of(r.detail)
    if dice is not None:
        assert len(texts) == dice
    faces = [int(t.rstrip("*!")) for t in texts]
    assert r.values == [float(sum(faces))]
    if "b" in expression and dice == 50:
        # The 50th die is never examined for a bonus.
        assert not texts[-1].endswith("!")


def test_bonus_pool_cap_marks_forty_nine():
    texts = dice_of(pipwerk.roll("1d6b1", seed=0).detail)
    assert len(texts) == 50
    assert sum(t.endswith("!") for t in texts) == 49


@pytest.mark.parametrize(
    "expression, count, error",
    [
        ("10#d6", 10, None),
        ("11#d6", None, "repeat count exceeds maximum (11), max is 10"),
        ("10.99#1", 10, None),
        ("11.5#1", None, "repeat count exceeds maximum (11), max is 10"),
        ("1#1", 1, None),
        ("0#d6", None, POSITIVE),
        ("0.9#1", None, POSITIVE),
        ("1000%#1", 10, None),
        ("4294967297#d6", None, "repeat count exceeds maximum (4294967297), max is 10"),
        ("9223372036854775807#1", None, "repeat count exceeds maximum (9223372036854775807), max is 10"),
        ("99999999999999999999#1", None, "repeat count exceeds maximum (9223372036854775807), max is 10"),
        ("10#50d1000", 10, None),
    ],
)
def test_repeat_limits(expression, count, error):
    r = roll_expecting(expression, error)
    if r is None:
        return
    assert r.is_set and len(r.values) == count
    assert r.summary.count(", ") == count - 1


# ---- integers at and past 64 bits ----


@pytest.mark.parametrize(
    "expression, summary, value",
    [
        ("9223372036854775807", "9223372036854775807", 2.0**63),
        ("9223372036854775807 + 1", "-9223372036854775808", -(2.0**63)),
        ("-9223372036854775807 - 2", "9223372036854775807", 2.0**63),
        ("9223372036854775807 * 2", "-2", -2.0),
        ("9223372036854775808", "9223372036854776000", 2.0**63),
        ("-9223372036854775808 / -1", "9223372036854776000", 2.0**63),
        ("-9223372036854775808", "-9223372036854776000", -(2.0**63)),
        ("(-9223372036854775807 - 1) * -1", "-9223372036854775808", -(2.0**63)),
        ("-(-9223372036854775807 - 1)", "-9223372036854775808", -(2.0**63)),
        ("9007199254740993", "9007199254740993", 9007199254740992.0),
        ("99999999999999999999", "100000000000000000000", 1e20),
        ("1" + "0" * 300, "1" + "0" * 300, 1e300),
        ("1" + "0" * 400, "inf", float("inf")),
        ("-1" + "0" * 400 + " + 1" + "0" * 400, "NaN", None),
        ("{9223372036854775807} + 1", "{-9223372036854775808}", -(2.0**63)),
    ],
)
def test_64_bit_edges(expression, summary, value):
    r = pipwerk.roll(expression, seed=1)
    assert r.consumed == expression
    assert r.summary == summary
    if value is None:
        assert r.values[0] != r.values[0]  # NaN
    else:
        assert r.values == [value]


def test_min_int_divided_by_minus_one_does_not_crash():
    # The quotient leaves the 64-bit range; any defined answer will do.
    try:
        r = pipwerk.roll("(-9223372036854775807 - 1) / -1", seed=1)
    except ValueError as e:
        assert e.args == ("division by zero",)
    else:
        assert r.values[0] in (2.0**63, -(2.0**63))


BIG = "1" + "0" * 300  # far beyond 64 bits: its integer view saturates


@pytest.mark.parametrize(
    "expression, check",
    [
        ("4d6>" + BIG, lambda r: r.summary == "0" and r.detail.count("*") == 4),
        ("4d6<" + BIG, lambda r: r.summary == "4" and "*" not in r.detail),
        ("4d6!=" + BIG, lambda r: r.summary == "4"),
        ("4d6b" + BIG, lambda r: len(dice_of(r.detail)) == 4 and "!" not in r.detail),
        ("4d6k" + BIG, lambda r: "*" not in r.detail),
        ("4d6kl" + BIG, lambda r: "*" not in r.detail),
        ("4d6k" + BIG + "0" * 20, lambda r: "*" not in r.detail),
        ("4d6>" + "9" * 400, lambda r: r.summary == "0"),
    ],
)
def test_huge_modifier_numbers(expression, check):
    r = pipwerk.roll(expression, seed=6)
    assert r.consumed == expression
    assert check(r), r.full


# ---- threads ----

THREAD_CASES = [
    ("4d6k3", 42), ("3#4d6k3 + 1d4", 7), ("{d6, d8, 5} * 2", 0), ("1d2b1", 3),
    ("5d10k3!=10", 0), ("-(2d20kl1) / 3", 11), ("10#50d1000", 2**64 - 1), ("1/0", 1),
    ("(" * 300 + "d6" + ")" * 300, 5), ("hello", 1),
]


def test_concurrent_rolls_match_single_threaded():
    expected = [outcome(e, s) for e, s in THREAD_CASES]
    results = [None] * 8
    barrier = threading.Barrier(8)

    def work(slot):
        barrier.wait()
        seen = []
        for _ in range(25):
            seen.append([outcome(e, s) for e, s in THREAD_CASES])
        results[slot] = seen

    threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for seen in results:
        assert seen is not None and all(round_ == expected for round_ in seen)


# ---- memory ----


def rss_kib():
    with open("/proc/self/status") as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


@pytest.mark.parametrize(
    "call",
    [
        lambda big: pipwerk.roll("1/0" + big, seed=1),
        lambda big: pipwerk.roll("60d6" + big, seed=1),
        lambda big: pipwerk.roll("{1, {2}}" + big, seed=1),
        lambda big: pipwerk.roll(big + "\udc80", seed=1),
        lambda big: pipwerk.roll("3#4d6k3 " + big, seed=1).full,
        lambda big: pipwerk.parse("2d6 " + big).tail,
        lambda big: pipwerk.roll("(" * 400 + "d6" + ")" * 400 + big, seed=1).values,
    ],
    ids=["division", "limit", "level", "surrogate", "roll", "parse", "nested"],
)
def test_repeated_calls_do_not_grow_memory(call):
    big = "x" * 200_000  # a leaked copy of the input would show at once
    for _ in range(20):
        try:
            call(big)
        except (ValueError, UnicodeEncodeError):
            pass
    before = rss_kib()
    for _ in range(300):
        try:
            call(big)
        except (ValueError, UnicodeEncodeError):
            pass
    # 300 leaked copies would be 60 MB; allow for allocator noise.
    assert rss_kib() - before < 8 * 1024
