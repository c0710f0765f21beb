"""The quoted form of texts in the reprs."""

import re
import subprocess
import sys
import unicodedata
from pathlib import Path

import pytest

from pipwerk import parse, roll
from unicode_age import unknown_to_table

SHORT_ESCAPES = {'"': '\\"', "\\": "\\\\", "\t": "\\t", "\r": "\\r", "\n": "\\n", "\0": "\\0"}

# Other_Grapheme_Extend holds marks of these categories, which the interpreter's
# unicodedata cannot tell apart; the table below covers them.
CATEGORIES_WITH_OTHER_GRAPHEME_EXTEND = {"Mc", "Lm"}


def quoted_tail(text):
    """The quoted form of text as parse's repr shows it (text is left whole in the tail)."""
    output = parse(f"@{text}@")
    assert output.tail == f"@{text}@"
    prefix, suffix = 'ParseOutput(success=false, consumed="", tail="@', '@")'
    shown = repr(output)
    assert shown.startswith(prefix) and shown.endswith(suffix)
    return shown[len(prefix) : -len(suffix)]


@pytest.mark.parametrize(
    "text, shown",
    [
        ("plain ASCII text 123 !#$%&'()*+-./:;<=>?[]^_`{|}~", "plain ASCII text 123 !#$%&'()*+-./:;<=>?[]^_`{|}~"),
        ('say "hi"', 'say \\"hi\\"'),
        ("back\\slash", "back\\\\slash"),
        ("tab\there", "tab\\there"),
        ("cr\rlf\nend", "cr\\rlf\\nend"),
        ("nul\0nul", "nul\\0nul"),
        ("\0\0", "\\0\\0"),
        ("it's", "it's"),
        ("\x07\x1b\x7f", "\\u{7}\\u{1b}\\u{7f}"),
        ("\x85", "\\u{85}"),
        ("no\u00a0break", "no\\u{a0}break"),
        ("soft\u00adhyphen", "soft\\u{ad}hyphen"),
        ("e\u0301", "e\\u{301}"),  # combining acute accent: Grapheme_Extend
        ("\u20dd", "\\u{20dd}"),  # enclosing circle (Me)
        ("a\u200db", "a\\u{200d}b"),
        ("\u200c", "\\u{200c}"),
        ("\u2028\u2029", "\\u{2028}\\u{2029}"),
        ("\u3000\u2003", "\\u{3000}\\u{2003}"),
        ("\ufeff", "\\u{feff}"),
        ("\ue000", "\\u{e000}"),  # private use
        ("\U0010fffd", "\\u{10fffd}"),  # private use, plane 16
        ("\u0378", "\\u{378}"),  # unassigned
        ("\uffff", "\\u{ffff}"),  # noncharacter
        ("\U000e0001\U000e0041", "\\u{e0001}\\u{e0041}"),  # tags
        ("\U000e0100", "\\u{e0100}"),  # variation selector 17
        ("\u09be", "\\u{9be}"),  # Bengali vowel sign AA: Mc, but Other_Grapheme_Extend
        ("\uff9e", "\\u{ff9e}"),  # halfwidth voiced sound mark: Lm, Other_Grapheme_Extend
        ("\u0903", "\u0903"),  # Devanagari visarga: Mc, printable, no Grapheme_Extend
        ("\U0001e030", "\U0001e030"),  # assigned in Unicode 15.0 (Lm)
        ("\U00011f00", "\\u{11f00}"),  # Kawi sign, assigned in Unicode 15.0 (Mn)
        ("é ß Ω Ж 漢字 😀 \ufffd", "é ß Ω Ж 漢字 😀 \ufffd"),
    ],
)
def test_quoted_form(text, shown):
    assert quoted_tail(text) == shown


def test_quoted_form_in_roll_repr():
    result = roll('2d6 "x\ty"\u0301', seed=4)
    assert result.tail == '"x\ty"\u0301'
    assert repr(result).startswith('RollResult(consumed="2d6", tail="\\"x\\ty\\"\\u{301}", full="[')


def expected_quoted(text):
    """An independent account of the quoted form from the interpreter's Unicode data."""
    parts = []
    for char in text:
        if char in SHORT_ESCAPES:
            parts.append(SHORT_ESCAPES[char])
        elif not char.isprintable() or unicodedata.category(char) in {"Mn", "Me"} or unknown_to_table(char):
            parts.append(f"\\u{{{ord(char):x}}}")
        else:
            parts.append(char)
    return "".join(parts)


def comparable_code_points():
    """Code points whose treatment the interpreter's data settles: assigned there
    (its Unicode version may be older than the table's) and outside the
    categories that hold Other_Grapheme_Extend."""
    for code_point in range(sys.maxunicode + 1):
        char = chr(code_point)
        category = unicodedata.category(char)
        if category in {"Cn", "Cs"} or category in CATEGORIES_WITH_OTHER_GRAPHEME_EXTEND:
            continue
        yield char


def test_every_assigned_character_against_the_unicode_database():
    chars = "".join(comparable_code_points())
    assert len(chars) > 100_000
    step = 4096
    mismatches = []
    for start in range(0, len(chars), step):
        chunk = chars[start : start + step]
        if quoted_tail(chunk) != expected_quoted(chunk):
            mismatches.extend(c for c in chunk if quoted_tail(c) != expected_quoted(c))
    assert [f"U+{ord(c):04X}" for c in mismatches] == []


ROOT = Path(__file__).resolve().parents[2]
UCD = Path("/usr/share/unicode")


def ucd_version(text):
    match = re.search(r"(\d+\.\d+\.\d+)", text)
    return match.group(1) if match else None


@pytest.mark.skipif(not (UCD / "DerivedCoreProperties.txt").exists(), reason="needs the Unicode Character Database")
def test_committed_table_is_what_the_generator_makes(tmp_path):
    committed = (ROOT / "src/python/unicode_table.cpp").read_text(encoding="utf-8")
    available = (UCD / "DerivedCoreProperties.txt").read_text(encoding="utf-8").splitlines()[0]
    if ucd_version(committed.splitlines()[1]) != ucd_version(available):
        pytest.skip("the machine's Unicode data is another version")
    output = tmp_path / "unicode_table.cpp"
    subprocess.run([sys.executable, str(ROOT / "tools/gen_unicode_table.py"), str(UCD), str(output)], check=True)
    assert output.read_text(encoding="utf-8") == committed
