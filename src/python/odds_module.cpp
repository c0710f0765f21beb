// The pipwerk_odds extension module: exact odds and fast sampling beside
// pipwerk, created once per process, from one interpreter.

#include <Python.h>

#include "comparison_object.hpp"
#include "module_setup.hpp"
#include "odds_functions.hpp"
#include "odds_object.hpp"

namespace pipwerk::python {
namespace {

constexpr const char* kModuleDoc =
    "Pipwerk odds: exact probabilities and fast sampling of dice expressions.\n"
    "\n"
    "odds(expression) gives the exact distribution of what pipwerk.roll returns\n"
    "for the expression under a uniformly random seed; sample(expression, n, seed)\n"
    "gives the values of n seeded rolls without building any text; compare(a, b)\n"
    "gives the odds of a contest between two independent rolls.";

bool add_exports(ModuleExports& exports) noexcept {
    return exports.add("Odds", create_odds_class()) && add_odds_function(exports) && add_sample_function(exports) &&
           exports.add("Comparison", create_comparison_class()) && add_compare_function(exports);
}

ModuleOnce odds_module{.name = "pipwerk_odds", .doc = kModuleDoc, .add_exports = add_exports};

}  // namespace
}  // namespace pipwerk::python

PyMODINIT_FUNC PyInit_pipwerk_odds(void) { return pipwerk::python::init_once(pipwerk::python::odds_module); }
