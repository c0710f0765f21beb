"""Which characters the module's Unicode table does not know yet.

The module's character table is generated from one Unicode version (named in
its header) and does not change with the interpreter. An interpreter with newer
Unicode data calls some characters assigned that the table still treats as
unassigned, so the quoted form escapes them. ADDED lists those code points by
the Unicode version that assigned them.
"""

import re
import unicodedata
from pathlib import Path

TABLE = Path(__file__).resolve().parents[2] / "src/python/unicode_table.cpp"

# Code point ranges that each Unicode version assigned, from 15.1 on
# (15.1: four ideographic description characters, one CJK stroke, CJK Extension I).
ADDED = {
    (15, 1): [(0x2FFC, 0x2FFF), (0x31EF, 0x31EF), (0x2EBF0, 0x2EE5D)],
}


def _major_minor(text):
    major, minor = text.split(".")[:2]
    return int(major), int(minor)


TABLE_VERSION = _major_minor(re.search(r"version (\d+\.\d+)", TABLE.read_text(encoding="utf-8")).group(1))
DATA_VERSION = _major_minor(unicodedata.unidata_version)
if DATA_VERSION > max(max(ADDED), TABLE_VERSION):
    raise RuntimeError(
        f"this interpreter's Unicode data ({unicodedata.unidata_version}) is newer than the tests know: "
        f"add the code points it assigned to ADDED in {__file__}"
    )

_NEWER_THAN_TABLE = [span for version, spans in ADDED.items() if TABLE_VERSION < version <= DATA_VERSION for span in spans]


def unknown_to_table(char):
    """True for a character this interpreter calls assigned but the table does not."""
    code_point = ord(char)
    return any(lo <= code_point <= hi for lo, hi in _NEWER_THAN_TABLE)
