#pragma once

// The limits of the language, read by the roller, the evaluator and the
// odds engine alike.

#include <cstddef>
#include <cstdint>

namespace pipwerk {

inline constexpr std::int32_t kMaxDiceCount = 50;
inline constexpr std::int32_t kMaxDiceFaces = 1000;
inline constexpr std::size_t kMaxPool = 50;    // cap of a pool rolled with a bonus threshold
inline constexpr std::int64_t kMaxRepeat = 10;  // most repetitions of "n#body"

}  // namespace pipwerk
