#pragma once

#include <string_view>

#include "pipwerk/trace.hpp"
#include "roll_record.hpp"

namespace pipwerk {

// trace with the roll laid out flat in `record`, as roll_into lays it out,
// instead of in out.output, which is left empty: for the Python module,
// which keeps the record and makes the texts only when asked. `out` starts
// empty; on an error both are to be dropped.
[[nodiscard]] Result<void> trace_into(std::string_view expression, const RollOptions& options, RollRecord& record,
                                      TraceOutput& out);

}  // namespace pipwerk
