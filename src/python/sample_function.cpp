#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "arguments.hpp"
#include "engine_error.hpp"
#include "exception_boundary.hpp"
#include "gil_release.hpp"
#include "module_setup.hpp"
#include "odds_functions.hpp"
#include "owned_ref.hpp"
#include "pipwerk/sample.hpp"

namespace pipwerk::python {
namespace {

constexpr const char* kSampleDoc =
    "sample(expression, n, seed=None)\n"
    "--\n"
    "\n"
    "The values of n rolls of a pipwerk expression, without any text.\n"
    "\n"
    "Row i holds exactly pipwerk.roll(expression, seed=(seed + i) % 2**64).values:\n"
    "one value for a single-valued expression, k values for a set of k elements,\n"
    "row after row in one flat array. The expression is parsed once.\n"
    "\n"
    "Args:\n"
    "    expression: The pipwerk expression string (e.g. \"4d6k3\").\n"
    "    n: The number of rolls, from 0; at most 2**28 values in all.\n"
    "    seed: Optional seed of the first roll (0 to 2**64 - 1); without it the\n"
    "        first seed comes from the clock and the process id.\n"
    "\n"
    "Returns:\n"
    "    array.array('d') of the values; empty when nothing was parsed.\n"
    "\n"
    "Raises:\n"
    "    ValueError: with the message of the first roll that fails, or when\n"
    "        the values would not fit the memory budget (before allocating).\n"
    "\n"
    "Examples:\n"
    "    >>> import pipwerk_odds\n"
    "    >>> list(pipwerk_odds.sample(\"4d6k3\", 3, seed=42))\n"
    "    [14.0, 11.0, 11.0]";

constexpr const char* kNames[] = {"expression", "n", "seed"};
PyObject* interned[3] = {};
const Parameters parameters{kNames, 2, interned};

constexpr std::uint64_t kMaxValues = Sampler::max_values;
// Rows are filled in stretches of this many without the interpreter lock
// (shorter runs keep it: the switch would cost more than it frees); between
// stretches a pending signal such as Ctrl-C ends the call.
constexpr std::size_t kStretchRows = 1 << 16;
constexpr std::size_t kUnlockedRows = 4096;

PyObject* array_class = nullptr;  // array.array, imported on first use

// A new array.array('d') of count zeros, allocated once at its final size.
PyObject* new_double_array(std::size_t count) noexcept {
    if (array_class == nullptr) {
        OwnedRef module(PyImport_ImportModule("array"));
        if (module == nullptr) return nullptr;
        array_class = PyObject_GetAttrString(module.get(), "array");  // kept for the process
        if (array_class == nullptr) return nullptr;
    }
    OwnedRef typecode(PyUnicode_FromString("d"));
    if (typecode == nullptr) return nullptr;
    if (count == 0) return PyObject_CallFunctionObjArgs(array_class, typecode.get(), nullptr);
    OwnedRef zero(PyFloat_FromDouble(0.0));
    OwnedRef items(zero == nullptr ? nullptr : PyTuple_Pack(1, zero.get()));
    if (items == nullptr) return nullptr;
    OwnedRef one(PyObject_CallFunctionObjArgs(array_class, typecode.get(), items.get(), nullptr));
    if (one == nullptr) return nullptr;
    return PySequence_Repeat(one.get(), static_cast<Py_ssize_t>(count));
}

// A writable view of a new array's doubles, released at scope exit.
class DoubleView {
public:
    [[nodiscard]] bool open(PyObject* array) noexcept {
        if (PyObject_GetBuffer(array, &view_, PyBUF_WRITABLE) < 0) return false;
        open_ = true;
        return true;
    }
    ~DoubleView() {
        if (open_) PyBuffer_Release(&view_);
    }
    [[nodiscard]] std::span<double> values() const noexcept {
        return {static_cast<double*>(view_.buf), static_cast<std::size_t>(view_.len) / sizeof(double)};
    }

private:
    Py_buffer view_{};
    bool open_ = false;
};

PyObject* raise_too_large(std::uint64_t rows, std::size_t width) noexcept {
    PyErr_Format(PyExc_ValueError, "sample too large: %llu rows of %zu values exceed %llu values",
                 static_cast<unsigned long long>(rows), width, static_cast<unsigned long long>(kMaxValues));
    return nullptr;
}

PyObject* sample_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    std::array<PyObject*, 3> bound{};
    if (!bind_arguments("sample", parameters, args, nargs, kwnames, bound)) return nullptr;
    ExpressionText expression;
    if (!convert_expression(bound[0], expression)) return nullptr;
    std::int64_t n = 0;
    bool overflow = false;
    if (!convert_integer(bound[1], "n", n, overflow)) return nullptr;
    std::optional<std::uint64_t> seed;
    if (!convert_seed(bound[2], seed)) return nullptr;
    if (n < 0) {
        PyErr_SetString(PyExc_ValueError, "n must be at least 0");
        return nullptr;
    }
    if (overflow || static_cast<std::uint64_t>(n) > kMaxValues) {
        PyErr_Format(PyExc_ValueError, "sample too large: more than %llu values",
                     static_cast<unsigned long long>(kMaxValues));
        return nullptr;
    }
    const auto rows = static_cast<std::uint64_t>(n);
    const std::uint64_t first = seed ? *seed : unseeded_base_seed();

    return contain([&]() -> PyObject* {
        Sampler sampler(expression.utf8);
        if (!sampler.parsed() || rows == 0) return new_double_array(0);
        // The first row gives the width of every row.
        std::vector<double> row;
        if (const Result<void> done = sampler.roll_row(first, row); !done) {
            return raise_value_error(done.error().message());
        }
        const std::size_t width = row.size();
        if (width != 0 && rows > kMaxValues / width) return raise_too_large(rows, width);

        OwnedRef array(new_double_array(static_cast<std::size_t>(rows) * width));
        DoubleView view;
        if (array == nullptr || !view.open(array.get())) return nullptr;
        const std::span<double> out = view.values();
        for (std::size_t i = 0; i < width; ++i) out[i] = row[i];
        std::uint64_t next_seed = first + 1;
        for (std::span<double> rest = out.subspan(width); !rest.empty();) {
            const std::size_t take = std::min(rest.size(), kStretchRows * width);
            Result<void> done;
            if (take / width > kUnlockedRows) {
                GilRelease unlocked;  // the array is not yet visible to any Python code
                done = sampler.fill(next_seed, width, rest.first(take));
            } else {
                done = sampler.fill(next_seed, width, rest.first(take));
            }
            if (!done) return raise_value_error(done.error().message());
            if (PyErr_CheckSignals() < 0) return nullptr;
            next_seed += take / width;
            rest = rest.subspan(take);
        }
        return array.release();
    });
}

PyMethodDef sample_method = {"sample", as_cfunction(sample_function), METH_FASTCALL | METH_KEYWORDS, kSampleDoc};

}  // namespace

bool add_sample_function(ModuleExports& exports) noexcept {
    return intern_parameters(parameters) && exports.add_function(sample_method);
}

}  // namespace pipwerk::python
