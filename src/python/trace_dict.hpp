#pragma once

#include <Python.h>

#include <cstddef>

#include "pipwerk/trace.hpp"
#include "roll_record.hpp"

namespace pipwerk::python {

// The core's JSON form (TraceJson) as plain dicts, lists, strs, numbers and
// None, so that to_dict() and json.loads(to_json()) are equal: NaN and the
// infinities are None, as JSON's null.

// The whole trace, the roll's record with it: the roll's texts and values,
// the seed, the hints, the nodes and the root's index.
[[nodiscard]] PyObject* trace_dict(const TraceOutput& trace, const RollRecord& record) noexcept;
// Node `index`'s row of the nodes, its children by index.
[[nodiscard]] PyObject* node_dict(const TraceOutput& trace, std::size_t index) noexcept;
// One die as a dict.
[[nodiscard]] PyObject* die_dict(const TraceDie& die) noexcept;

}  // namespace pipwerk::python
