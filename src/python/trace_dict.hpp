#pragma once

#include <Python.h>

#include <cstddef>

#include "pipwerk/trace.hpp"
#include "roll_record.hpp"

namespace pipwerk::python {

// The whole trace, the roll's record with it, as plain dicts, lists, strs
// and numbers: the roll's texts and values, the seed, the hints and the tree.
[[nodiscard]] PyObject* trace_dict(const TraceOutput& trace, const RollRecord& record) noexcept;
// The subtree of node `index` as plain dicts, lists, strs and numbers, in
// the shape of the core's JSON form (append_trace_tree_json). Built in one
// pass over the nodes, children before parents, with no recursion.
[[nodiscard]] PyObject* node_dict(const TraceOutput& trace, std::size_t index) noexcept;
// One die as a dict.
[[nodiscard]] PyObject* die_dict(const TraceDie& die) noexcept;

}  // namespace pipwerk::python
