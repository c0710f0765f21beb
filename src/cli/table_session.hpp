#pragma once

#include "roller.hpp"

namespace pipwerk::cli {

// The interactive prompt, for a terminal on both standard input and output,
// in whatever mode the roller runs (rolls or odds): line editing and history
// where libedit is installed, an empty line to answer the last expression
// again, "help" ("Help", "?") for the expressions, Ctrl-C to drop the line
// being typed, and "quit", "exit" or Ctrl-D to end. Answers and diagnostics
// are written before the next prompt.
void run_table_session(Roller& roller);

}  // namespace pipwerk::cli
