#pragma once

#include <cstddef>
#include <string_view>

namespace pipwerk {

// Trimming by the Unicode White_Space set (U+0009..U+000D, U+0020, U+0085,
// U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F, U+205F, U+3000),
// multi-byte UTF-8 forms included. Bytes that are not whitespace are never cut.
[[nodiscard]] std::string_view trim_whitespace(std::string_view text) noexcept;
[[nodiscard]] std::string_view trim_leading_whitespace(std::string_view text) noexcept;
[[nodiscard]] std::string_view trim_trailing_whitespace(std::string_view text) noexcept;

}  // namespace pipwerk
