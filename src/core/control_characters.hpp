#pragma once

namespace pipwerk {

// Characters a terminal acts on instead of showing (C0 controls, DEL, C1
// controls, CSI among them), or that reorder the text around them (the
// bidirectional marks, embeddings, overrides and isolates). Text from the
// user that is written out shows these as escapes: the command line's echo
// and the JSON writer read this one list.
[[nodiscard]] constexpr bool is_control_character(char32_t cp) noexcept {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

}  // namespace pipwerk
