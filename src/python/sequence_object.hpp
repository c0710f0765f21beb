#pragma once

#include <Python.h>

#include <cstddef>

#include "owned_ref.hpp"

namespace pipwerk::python {

// A new tuple or list of `count` items, item(i) making the i-th (a new
// reference, or null with an exception set); null with the exception of
// the first failure. Nothing made is left behind on failure: the sequence
// owns each item as soon as it is stored.
template <PyObject* (*New)(Py_ssize_t), int (*Store)(PyObject*, Py_ssize_t, PyObject*), class Item>
[[nodiscard]] PyObject* sequence_of(std::size_t count, Item&& item) noexcept {
    OwnedRef sequence(New(static_cast<Py_ssize_t>(count)));
    if (sequence == nullptr) return nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        PyObject* made = item(i);
        // Store takes the item's reference, also when it fails.
        if (made == nullptr || Store(sequence.get(), static_cast<Py_ssize_t>(i), made) != 0) return nullptr;
    }
    return sequence.release();
}

template <class Item>
[[nodiscard]] PyObject* tuple_of(std::size_t count, Item&& item) noexcept {
    return sequence_of<PyTuple_New, PyTuple_SetItem>(count, item);
}

template <class Item>
[[nodiscard]] PyObject* list_of(std::size_t count, Item&& item) noexcept {
    return sequence_of<PyList_New, PyList_SetItem>(count, item);
}

}  // namespace pipwerk::python
