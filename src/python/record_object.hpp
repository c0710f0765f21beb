#pragma once

#include <Python.h>

#include <new>
#include <type_traits>
#include <utility>

#include "refcount.hpp"

namespace pipwerk::python {

// An instance of a result class: the object header followed by a C++ record,
// constructed in place after allocation and destroyed in dealloc. The record
// holds no Python object, so the classes need no garbage-collector support.
template <class Record>
struct RecordObject {
    PyObject header;
    alignas(Record) unsigned char storage[sizeof(Record)];
};

template <class Record>
[[nodiscard]] const Record& record_of(PyObject* self) noexcept {
    return *std::launder(reinterpret_cast<Record*>(reinterpret_cast<RecordObject<Record>*>(self)->storage));
}

// A result class as its instances are made: its type and allocation slot,
// fixed once when the class is created and kept for the rest of the process.
struct RecordClass {
    PyTypeObject* type = nullptr;
    allocfunc alloc = nullptr;
};

// Creates the class from spec on the first call and returns a new reference
// to it; later calls return the same class. Null with an exception set on failure.
[[nodiscard]] PyObject* create_record_class(RecordClass& cls, PyType_Spec& spec) noexcept;

// A new instance that takes over record, or null with an exception set.
template <class Record>
[[nodiscard]] PyObject* new_record_object(const RecordClass& cls, Record&& record) noexcept {
    static_assert(std::is_nothrow_move_constructible_v<Record>);
    PyObject* self = cls.alloc(cls.type, 0);
    if (self == nullptr) return nullptr;
    ::new (static_cast<void*>(reinterpret_cast<RecordObject<Record>*>(self)->storage)) Record(std::move(record));
    return self;
}

// tp_dealloc: destroys the record, frees through the type's own slot and
// drops the reference every instance holds on its heap type.
template <class Record>
void dealloc_record_object(PyObject* self) noexcept {
    std::launder(reinterpret_cast<Record*>(reinterpret_cast<RecordObject<Record>*>(self)->storage))->~Record();
    PyTypeObject* type = Py_TYPE(self);
    const auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_slot(self);
    decref(reinterpret_cast<PyObject*>(type));
}

// tp_new of the result classes: instances come only from roll and parse.
[[nodiscard]] PyObject* refuse_construction(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept;

}  // namespace pipwerk::python
