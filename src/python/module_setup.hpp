#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>

#include "owned_ref.hpp"

namespace pipwerk::python {

// A single-phase module built once per process, by the first interpreter
// that imports it; its classes belong to that interpreter.
struct ModuleOnce {
    const char* name;           // for the ImportError of another interpreter
    PyObject* (*build)() noexcept;
    PyObject* module = nullptr;  // kept for the process, so a re-import finds it
    std::optional<std::int64_t> owner_interpreter{};
};

// The module (a new reference), built on the first call; null with an
// exception set on failure or when called from another interpreter.
[[nodiscard]] PyObject* init_once(ModuleOnce& once) noexcept;

// Appends name to all (creating the list on the first addition), then sets
// the attribute. Steals value.
[[nodiscard]] bool add_export(PyObject* module, OwnedRef& all, const char* name, PyObject* value) noexcept;

// Sets the module's __all__ to the list add_export built.
[[nodiscard]] bool set_all(PyObject* module, const OwnedRef& all) noexcept;

// A built-in function bound to the module (its __module__ is the module's name).
[[nodiscard]] PyObject* bound_function(PyMethodDef& definition, PyObject* module, PyObject* module_name) noexcept;

// METH_FASTCALL | METH_KEYWORDS functions are stored as PyCFunction; the
// interpreter calls them with their real signature.
template <class Function>
[[nodiscard]] PyCFunction as_cfunction(Function function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace pipwerk::python
