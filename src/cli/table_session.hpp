#pragma once

#include "roller.hpp"

namespace pipwerk::cli {

// The interactive roller, for a terminal on both standard input and output:
// a prompt, line editing and history, an empty line to roll the last
// expression again, "help" for the expressions, and "quit", "exit" or
// Ctrl-D to end. Results and diagnostics are written before the next prompt.
void run_table_session(Roller& roller);

}  // namespace pipwerk::cli
