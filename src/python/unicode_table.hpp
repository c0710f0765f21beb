#pragma once

namespace pipwerk::python {

// Whether the quoted form writes this code point as \u{h}: characters with
// Grapheme_Extend, and those that are not printable (control, format,
// surrogate, private-use, unassigned, line and paragraph separators, and the
// space separators other than U+0020). Backed by a table generated from the UCD.
[[nodiscard]] bool needs_unicode_escape(char32_t code_point) noexcept;

}  // namespace pipwerk::python
