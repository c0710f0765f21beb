"""Property tests of the two text forms in reprs: quoted texts and float lists.

The quoted form is read back by a decoder written here, and each character's
spelling is checked against the Unicode data of this interpreter. Float lists
are checked against values the test controls: reals written out exactly,
percentages and sums, computed again here in double precision.
"""

from __future__ import annotations

import math
import re
import struct
import unicodedata
from decimal import Decimal

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import pipwerk
from unicode_age import unknown_to_table

SETTINGS = settings(max_examples=300, deadline=None)

# Characters outside Mn/Me that carry Grapheme_Extend (Other_Grapheme_Extend).
OTHER_GRAPHEME_EXTEND = [
    (0x09BE, 0x09BE), (0x09D7, 0x09D7), (0x0B3E, 0x0B3E), (0x0B57, 0x0B57),
    (0x0BBE, 0x0BBE), (0x0BD7, 0x0BD7), (0x0CC2, 0x0CC2), (0x0CD5, 0x0CD6),
    (0x0D3E, 0x0D3E), (0x0D57, 0x0D57), (0x0DCF, 0x0DCF), (0x0DDF, 0x0DDF),
    (0x1B35, 0x1B35), (0x200C, 0x200C), (0x302E, 0x302F), (0xFF9E, 0xFF9F),
    (0x1133E, 0x1133E), (0x11357, 0x11357), (0x114B0, 0x114B0), (0x114BD, 0x114BD),
    (0x115AF, 0x115AF), (0x11930, 0x11930), (0x1D165, 0x1D165), (0x1D16E, 0x1D172),
    (0xE0020, 0xE007F),
]
SHORT_ESCAPES = {'"': '"', "\\": "\\", "\t": "t", "\r": "r", "\n": "n", "\0": "0"}
SHORT_UNESCAPES = {v: k for k, v in SHORT_ESCAPES.items()}


def escaping(ch: str) -> bool | None:
    """Whether the quoted form must write ch as \\u{h}; None where this
    interpreter's Unicode data is too old to tell (unassigned here)."""
    cp = ord(ch)
    category = unicodedata.category(ch)
    if category == "Cn":
        return None
    if category in ("Mn", "Me") or any(lo <= cp <= hi for lo, hi in OTHER_GRAPHEME_EXTEND) or unknown_to_table(ch):
        return True
    return not ch.isprintable()


def decode_quoted(text: str, pos: int) -> tuple[str, int]:
    """Reads the quoted form starting at text[pos] (a double quote); returns
    the decoded text and the position after the closing quote. Fails on any
    spelling the quoted form does not allow."""
    assert text[pos] == '"'
    pos += 1
    out = []
    while True:
        ch = text[pos]
        if ch == '"':
            return "".join(out), pos + 1
        if ch != "\\":
            assert escaping(ch) is not True, f"{ch!r} should have been escaped"
            assert ch not in SHORT_ESCAPES
            out.append(ch)
            pos += 1
            continue
        code = text[pos + 1]
        if code in SHORT_UNESCAPES:
            out.append(SHORT_UNESCAPES[code])
            pos += 2
            continue
        match = re.compile(r"u\{([0-9a-f]+)\}").match(text, pos + 1)
        assert match, f"bad escape at {text[pos:pos + 12]!r}"
        digits = match.group(1)
        assert digits == "0" or not digits.startswith("0"), "leading zeros in \\u{}"
        decoded = chr(int(digits, 16))
        assert decoded not in SHORT_ESCAPES, "a character with a short escape written as \\u{}"
        assert escaping(decoded) is not False, f"{decoded!r} should be written as itself"
        out.append(decoded)
        pos = match.end()


def decode_fields(text: str, head: str, names: list[str]) -> dict[str, str]:
    """Splits a repr into its fields: the quoted ones decoded, others raw."""
    assert text.startswith(head + "(")
    pos = len(head) + 1
    fields: dict[str, str] = {}
    for i, name in enumerate(names):
        assert text.startswith(name + "=", pos), text[pos:pos + 40]
        pos += len(name) + 1
        if text[pos] == '"':
            fields[name], pos = decode_quoted(text, pos)
        else:
            end = text.find(", ", pos) if i + 1 < len(names) else len(text) - 1
            if name == "values":
                end = text.index("]", pos) + 1
            fields[name], pos = text[pos:end], end
        assert text.startswith(", " if i + 1 < len(names) else ")", pos)
        pos += 2 if i + 1 < len(names) else 1
    assert pos == len(text)
    return fields


# Any text the interpreter can encode: every code point but the surrogates.
encodable_text = st.text(st.characters(blacklist_categories=("Cs",)), max_size=60)


@SETTINGS
@given(encodable_text)
def test_parse_repr_quotes_round_trip(text):
    # "?" stops the lexer at once, so the whole input comes back as the tail.
    source = "?" + text
    result = pipwerk.parse(source)
    fields = decode_fields(repr(result), "ParseOutput", ["success", "consumed", "tail"])
    assert fields == {"success": "false", "consumed": "", "tail": source}
    assert result.tail == source


@SETTINGS
@given(st.sampled_from(["1d6", "4d6k3 ", "{1, 2}", "-(2d4) + 1"]), encodable_text)
def test_roll_repr_quotes_round_trip(expression, text):
    result = pipwerk.roll(expression + "?" + text, seed=7)
    fields = decode_fields(repr(result), "RollResult", ["consumed", "tail", "full", "is_set", "values"])
    assert fields["consumed"] == result.consumed == expression.rstrip()
    assert fields["tail"] == result.tail == "?" + text
    assert fields["full"] == result.full
    assert fields["is_set"] == ("true" if result.is_set else "false")


@pytest.mark.parametrize(
    "text, quoted",
    [
        ("\0\t\r\n\"\\'", "\"\\0\\t\\r\\n\\\"\\\\'\""),
        ("\x07\x7f\u00a0\u00ad", '"\\u{7}\\u{7f}\\u{a0}\\u{ad}"'),
        ("e\u0301\u20dd", '"e\\u{301}\\u{20dd}"'),
        ("\u2028\u2029\u3000\ue000\U0010fffd", '"\\u{2028}\\u{2029}\\u{3000}\\u{e000}\\u{10fffd}"'),
        ("\u09be\u200c\U000e0041", '"\\u{9be}\\u{200c}\\u{e0041}"'),
        ("й字🎲 a", '"й字🎲 a"'),
    ],
)
def test_quoted_spellings(text, quoted):
    assert repr(pipwerk.parse("?" + text)) == f'ParseOutput(success=false, consumed="", tail="?{quoted[1:-1]}")'


@pytest.mark.parametrize("text", ["\ud800", "1d6\udfff", "?" + "\udc80" * 3])
def test_lone_surrogates_are_not_encodable(text):
    with pytest.raises(UnicodeEncodeError):
        pipwerk.parse(text)
    with pytest.raises(UnicodeEncodeError):
        pipwerk.roll(text, seed=1)


# ---- the float list form ----


def float_form(x: float) -> str:
    """The list form of one value, derived from Python's shortest repr (which
    switches to exponents at the same magnitudes)."""
    if math.isnan(x):
        return "NaN"
    text = repr(x)
    if "e" in text:
        mantissa, exponent = text.split("e")
        return f"{mantissa}e{int(exponent)}"
    return text


def same_float(a: float, b: float) -> bool:
    return struct.pack("<d", a) == struct.pack("<d", b) or (math.isnan(a) and math.isnan(b))


def literal(x: float) -> str:
    """A real literal of the language that reads as exactly x (|x| finite)."""
    text = f"{Decimal(abs(x)):f}"
    if "." not in text:
        text += ".0"
    return ("-" if math.copysign(1.0, x) < 0 else "") + text


def values_field(result) -> list[str]:
    fields = decode_fields(repr(result), "RollResult", ["consumed", "tail", "full", "is_set", "values"])
    inner = fields["values"]
    assert inner.startswith("[") and inner.endswith("]")
    return inner[1:-1].split(", ") if inner != "[]" else []


def check_values(result, expected: list[float]) -> None:
    texts = values_field(result)
    assert texts == [float_form(x) for x in expected]
    for text, x in zip(texts, expected):
        assert same_float(float(text.replace("NaN", "nan")), x)
    assert all(same_float(a, b) for a, b in zip(result.values, expected))
    assert len(result.values) == len(expected)


finite = st.floats(allow_nan=False, allow_infinity=False)


@SETTINGS
@given(finite)
def test_real_literal_reads_back(x):
    result = pipwerk.roll(literal(x), seed=1)
    check_values(result, [x])
    # The summary uses the plain positional form and reads back too.
    assert same_float(float(result.summary), x) or (x == 0 and float(result.summary) == 0)


@SETTINGS
@given(finite, finite)
def test_sums_and_sets_read_back(a, b):
    la, lb = literal(a), literal(b)
    check_values(pipwerk.roll(f"{la} + {lb}", seed=1), [a + b])
    check_values(pipwerk.roll(f"{la} - {lb}", seed=1), [a - b])
    check_values(pipwerk.roll(f"{{{la}, {lb}, {la} * {lb}}}", seed=1), [a, b, a * b])


@SETTINGS
@given(st.decimals(allow_nan=False, allow_infinity=False, places=6, min_value=-10**9, max_value=10**9))
def test_percentages_read_back(d):
    digits = f"{abs(d):f}"
    sign = "-" if d < 0 else ""
    expected = float(digits) / 100.0
    result = pipwerk.roll(f"{sign}{digits}%", seed=1)
    check_values(result, [-expected if sign else expected])
    # A percentage plus an integer is real arithmetic on the stored fraction.
    check_values(pipwerk.roll(f"{digits}% + 3", seed=1), [expected + 3.0])


@pytest.mark.parametrize(
    "expression, expected",
    [
        ("0.0", [0.0]),
        ("-0.0", [-0.0]),
        ("10000000000000000.0", [1e16]),
        ("9999999999999998.0", [9999999999999998.0]),
        ("0.0001", [0.0001]),
        ("0.000099", [0.000099]),
        ("1" + "0" * 309, [math.inf]),
        ("-1" + "0" * 309, [-math.inf]),
        ("1" + "0" * 309 + " - 1" + "0" * 309, [math.nan]),
        ("9007199254740993", [9007199254740992.0]),
        ("{1, 2} / 0", [0.0, 0.0]),
    ],
)
def test_float_form_edges(expression, expected):
    check_values(pipwerk.roll(expression, seed=1), expected)
