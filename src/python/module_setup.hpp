#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>

#include "owned_ref.hpp"

namespace pipwerk::python {

// The exports of a module being built: each one an attribute of the module
// and, in the order added, a name in its __all__.
class ModuleExports {
public:
    ModuleExports(PyObject* module, PyObject* module_name) noexcept : module_(module), module_name_(module_name) {}

    // Adds value (stolen) under name. False with an exception set, also when
    // value is null (the exception of whatever failed to make it).
    [[nodiscard]] bool add(const char* name, PyObject* value) noexcept;

    // Adds a built-in function bound to the module (its __module__ is the
    // module's name) under the function's own name.
    [[nodiscard]] bool add_function(PyMethodDef& definition) noexcept;

    // Sets the module's __all__ to the names added.
    [[nodiscard]] bool set_all() noexcept;

private:
    PyObject* module_;
    PyObject* module_name_;
    OwnedRef all_;
};

// A single-phase module built once per process, by the first interpreter
// that imports it; its classes belong to that interpreter.
struct ModuleOnce {
    const char* name;
    const char* doc;
    // Adds the module's exports; false with an exception set on failure.
    bool (*add_exports)(ModuleExports& exports) noexcept;
    PyModuleDef definition{};    // filled by the build; the module refers to it for good
    PyObject* module = nullptr;  // kept for the process, so a re-import finds it
    std::optional<std::int64_t> owner_interpreter{};
};

// The module (a new reference), built on the first call; null with an
// exception set on failure or when called from another interpreter.
[[nodiscard]] PyObject* init_once(ModuleOnce& once) noexcept;

// METH_FASTCALL | METH_KEYWORDS functions are stored as PyCFunction; the
// interpreter calls them with their real signature.
template <class Function>
[[nodiscard]] PyCFunction as_cfunction(Function function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace pipwerk::python
