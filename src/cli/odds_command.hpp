#pragma once

#include <cstdio>
#include <istream>

#include "options.hpp"

namespace pipwerk::cli {

// pipwerk --odds: the exact odds of each expression (the arguments, or one
// per line of `in`), as a picture or, with --json, one object per line.
// Gives the exit status: 1 when any expression failed, else 0.
[[nodiscard]] int run_odds(const Options& options, std::istream& in, std::FILE* out, std::FILE* err);

}  // namespace pipwerk::cli
