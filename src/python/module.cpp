// The pipwerk extension module: created once per process, from one interpreter.

#include <Python.h>

#include "functions.hpp"
#include "module_setup.hpp"
#include "parse_output.hpp"
#include "roll_result.hpp"

namespace pipwerk::python {
namespace {

constexpr const char* kModuleDoc =
    "Pipwerk: dice expression parsing and evaluation engine.\n"
    "\n"
    "A Python module providing dice expression parsing and evaluation\n"
    "backed by a high-performance C++ implementation.";

bool add_exports(ModuleExports& exports) noexcept {
    return exports.add("RollResult", create_roll_result_class()) &&
           exports.add("ParseOutput", create_parse_output_class()) && add_roll_function(exports) &&
           add_parse_function(exports);
}

ModuleOnce pipwerk_module{.name = "pipwerk", .doc = kModuleDoc, .add_exports = add_exports};

}  // namespace
}  // namespace pipwerk::python

// Intended, not an oversight: pipwerk keeps single-phase initialisation (one
// module object per process, made by init_once) and its classes keep the
// type names "builtins.RollResult" and "builtins.ParseOutput", because the
// module's specified surface (its reprs and type names as Python shows them)
// depends on both. Do not move it to multi-phase init or rename the types.
PyMODINIT_FUNC PyInit_pipwerk(void) { return pipwerk::python::init_once(pipwerk::python::pipwerk_module); }
