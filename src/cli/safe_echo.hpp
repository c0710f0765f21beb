#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pipwerk::cli {

// At most this many characters of ignored text are echoed.
inline constexpr std::size_t kEchoLimit = 80;

// Appends text that came from the user so that a terminal shows it as it is
// and obeys nothing in it: C0 controls, DEL, C1 controls, bidirectional
// controls and bytes that are not UTF-8 become escapes ("\x1b", "\u202e"),
// a backslash becomes "\\", and after `limit` characters the rest is cut
// with a note of its length ("... (1234 more characters)").
void append_safe_echo(std::string& out, std::string_view text, std::size_t limit = kEchoLimit);

}  // namespace pipwerk::cli
