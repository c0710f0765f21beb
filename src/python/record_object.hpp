#pragma once

#include <Python.h>

#include <cstddef>
#include <cstring>
#include <string_view>

#include "refcount.hpp"

namespace pipwerk::python {

// An instance of a result class, in one allocation: the object header, a
// fixed head of sizes and flags, then a variable part holding the record's
// numbers and texts back to back. The record holds no Python object, so the
// classes need no garbage-collector support, and dealloc has nothing to destroy.
template <class Head>
struct RecordObject {
    PyVarObject header;
    Head head;
};

// The class's basicsize: the variable part starts here, aligned for doubles.
template <class Head>
constexpr std::size_t kRecordBasicSize = (sizeof(RecordObject<Head>) + alignof(double) - 1) / alignof(double) *
                                         alignof(double);

template <class Head>
[[nodiscard]] const Head& head_of(PyObject* self) noexcept {
    return reinterpret_cast<const RecordObject<Head>*>(self)->head;
}

template <class Head>
[[nodiscard]] char* variable_part(PyObject* self) noexcept {
    return reinterpret_cast<char*>(self) + kRecordBasicSize<Head>;
}

// A result class as its instances are made and freed: its type and its
// allocation and free slots, fixed once when the class is created and kept
// for the rest of the process.
struct RecordClass {
    PyTypeObject* type = nullptr;
    allocfunc alloc = nullptr;
    freefunc free = nullptr;
};

// Creates the class from its type description on the first call and returns a new reference
// to it; later calls return the same class. Null with an exception set on failure.
[[nodiscard]] PyObject* create_record_class(RecordClass& cls, PyType_Spec& type_spec) noexcept;

// A new, zeroed instance with `variable` bytes after its head, or null with
// an exception set.
[[nodiscard]] PyObject* allocate_record(const RecordClass& cls, std::size_t variable) noexcept;

// Copies text to `at` and returns the end of the copy.
inline char* copy_text(char* at, std::string_view text) noexcept {
    if (!text.empty()) std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

// tp_dealloc: frees through the class's own slot and drops the reference
// every instance holds on its heap type.
void dealloc_record(const RecordClass& cls, PyObject* self) noexcept;

// tp_new of the result classes: instances come only from roll and parse.
[[nodiscard]] PyObject* refuse_construction(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept;

}  // namespace pipwerk::python
