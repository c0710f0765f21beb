#pragma once

#include <Python.h>

#include <cstddef>
#include <cstring>
#include <string_view>

#include "class_shape.hpp"
#include "refcount.hpp"
#include "text_object.hpp"

namespace pipwerk::python {

// The consumed text and tail of a result, viewed in the UTF-8 buffer of the
// expression's str, which the result keeps alive. Long inputs are then never
// copied: a 10 MB tail costs a reference, not 10 MB.
struct ExpressionTexts {
    PyObject* source;  // an exact str, owned
    std::string_view consumed;
    std::string_view tail;
};

// An instance of a result class, in one allocation: the object header, the
// expression's texts, a fixed head of sizes and flags, then a variable part
// holding the record's numbers and texts back to back. The only Python
// object held is an exact str, which refers to nothing and so cannot close a
// reference cycle: the classes need no garbage-collector support.
template <class Head>
struct RecordObject {
    PyVarObject header;
    ExpressionTexts expression;
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

template <class Head>
[[nodiscard]] const ExpressionTexts& expression_of(PyObject* self) noexcept {
    return reinterpret_cast<const RecordObject<Head>*>(self)->expression;
}

// Fills a new instance's expression texts, taking a new reference to source.
template <class Head>
void set_expression(PyObject* self, PyObject* source, std::string_view consumed, std::string_view tail) noexcept {
    incref(source);
    reinterpret_cast<RecordObject<Head>*>(self)->expression = ExpressionTexts{source, consumed, tail};
}

// The str of a text that views the source's UTF-8: the source itself when
// the text is all of it (a whole expression consumed), else a new str.
[[nodiscard]] PyObject* source_text_object(const ExpressionTexts& expression, std::string_view text) noexcept;

// The consumed and tail getters, the same for both result classes.
template <class Head>
PyObject* get_consumed(PyObject* self, void*) noexcept {
    const ExpressionTexts& expression = expression_of<Head>(self);
    return source_text_object(expression, expression.consumed);
}
template <class Head>
PyObject* get_tail(PyObject* self, void*) noexcept {
    const ExpressionTexts& expression = expression_of<Head>(self);
    return source_text_object(expression, expression.tail);
}

// A result class as its instances are made and freed: its type and its
// allocation and free slots, fixed once when the class is created and kept
// for the rest of the process.
struct RecordClass {
    PyTypeObject* type = nullptr;
    allocfunc alloc = nullptr;
    freefunc free = nullptr;
    // For a class of byte items allocated and freed as plain objects: its
    // basicsize, so an instance is allocated directly, without the clearing
    // the generic slot does. 0 for any other class.
    std::size_t direct_basic_size = 0;
};

// Creates the class of that shape on the first call and returns a new reference
// to it; later calls return the same class. Null with an exception set on failure.
[[nodiscard]] PyObject* create_record_class(RecordClass& cls, const ClassShape& shape) noexcept;

// A new instance with `variable` bytes after its head, or null with an
// exception set. Only a class without direct_basic_size clears it: the
// makers of the others write every field.
[[nodiscard]] PyObject* allocate_record(const RecordClass& cls, std::size_t variable) noexcept;

// Copies text to `at` and returns the end of the copy.
inline char* copy_text(char* at, std::string_view text) noexcept {
    if (!text.empty()) std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

// Frees through the class's own slot and drops the reference every instance
// holds on its heap type.
void free_record(const RecordClass& cls, PyObject* self) noexcept;

// tp_dealloc: drops the source (absent only in an instance never filled),
// then frees the instance.
template <class Head>
void dealloc_record(const RecordClass& cls, PyObject* self) noexcept {
    xdecref(expression_of<Head>(self).source);
    free_record(cls, self);
}

// tp_new of the result classes: instances come only from roll and parse.
[[nodiscard]] PyObject* refuse_construction(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept;

}  // namespace pipwerk::python
