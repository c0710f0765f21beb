#pragma once

#include <Python.h>

#include <cstddef>

#include "pipwerk/pipwerk.hpp"
#include "pipwerk/trace.hpp"

namespace pipwerk::python {

// The core's JSON form (TraceJson) as plain dicts, lists, strs, numbers and
// None, so that to_dict() and json.loads(to_json()) are equal: NaN and the
// infinities are None, as JSON's null. Each is built from the fields that
// visit_roll, visit_node and visit_fields give, as the JSON writer is.

// The whole trace, the roll's view with it: the roll's texts and values,
// the seed, the hints, the nodes and the root's index.
[[nodiscard]] PyObject* trace_dict(const TraceOutput& trace, const RollView& roll) noexcept;
// Node `index`'s row of the nodes, its children by index.
[[nodiscard]] PyObject* node_dict(const TraceOutput& trace, std::size_t index) noexcept;
// A die, a keep or a comparison as a dict of its fields.
[[nodiscard]] PyObject* fields_dict(const TraceDie& die) noexcept;
[[nodiscard]] PyObject* fields_dict(const TraceKeep& keep) noexcept;
[[nodiscard]] PyObject* fields_dict(const TraceComparison& comparison) noexcept;

}  // namespace pipwerk::python
