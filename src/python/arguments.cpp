#include "arguments.hpp"

#include "refcount.hpp"

namespace pipwerk::python {
namespace {

constexpr const char* kParameterNames[kParameterCount] = {"expression", "show_detail", "seed"};

// Interned once for the process: the interpreter interns the keyword names of
// ordinary calls, so most keywords match by pointer.
PyObject* roll_names[kParameterCount] = {};
const Parameters roll_parameters{kParameterNames, 1, roll_names};
PyObject* module_attribute = nullptr;  // "__module__"

// The parameter a keyword names among the first count, or count for none.
// False with a TypeError set when the keyword is not a str.
[[nodiscard]] bool find_parameter(const Parameters& parameters, PyObject* keyword, std::size_t count,
                                  std::size_t& index) noexcept {
    for (index = 0; index < count; ++index) {
        if (keyword == parameters.interned[index]) return true;
    }
    if (!PyUnicode_Check(keyword)) {
        PyErr_SetString(PyExc_TypeError, "keywords must be strings");
        return false;
    }
    for (index = 0; index < count; ++index) {
        if (PyUnicode_CompareWithASCIIString(keyword, parameters.names[index]) == 0) return true;
    }
    return true;
}

// "f() missing 2 required positional arguments: 'a' and 'b'", as the
// interpreter words it, naming every required parameter not given.
bool raise_missing(const char* function, const Parameters& parameters, std::span<PyObject*> bound) noexcept {
    std::size_t missing = 0;
    for (std::size_t i = 0; i < parameters.required; ++i) missing += bound[i] == nullptr;
    PyObject* names = PyUnicode_FromString("");
    std::size_t listed = 0;
    for (std::size_t i = 0; i < parameters.required && names != nullptr; ++i) {
        if (bound[i] != nullptr) continue;
        ++listed;
        const char* joiner = listed == 1 ? "" : listed == missing ? (missing == 2 ? " and " : ", and ") : ", ";
        PyObject* longer = PyUnicode_FromFormat("%U%s'%s'", names, joiner, parameters.names[i]);
        decref(names);
        names = longer;
    }
    if (names == nullptr) return false;
    PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %U", function, missing,
                 missing == 1 ? "" : "s", names);
    decref(names);
    return false;
}

bool raise_not_convertible(Parameter parameter, PyTypeObject* type, const char* target) noexcept {
    PyObject* name = PyType_GetQualName(type);
    if (name == nullptr) return false;
    PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object cannot be converted to '%s'",
                 kParameterNames[parameter], name, target);
    decref(name);
    return false;
}

// Puts the parameter's name before the message of a pending TypeError raised
// while converting it; any other exception is left exactly as raised.
bool prefix_type_error(const char* parameter) noexcept {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type != PyExc_TypeError) {
        PyErr_Restore(type, value, traceback);
        return false;
    }
    PyErr_NormalizeException(&type, &value, &traceback);
    if (PyObject* message = PyObject_Str(value); message != nullptr) {
        PyErr_Format(PyExc_TypeError, "argument '%s': %U", parameter, message);
        decref(message);
    }
    xdecref(type);
    xdecref(value);
    xdecref(traceback);
    return false;
}

[[nodiscard]] bool has_ascii_text(PyObject* text, const char* expected) noexcept {
    return PyUnicode_Check(text) && PyUnicode_CompareWithASCIIString(text, expected) == 0;
}

// NumPy's boolean scalar type, recognised by name ("bool", "bool_" before
// NumPy 2) and module, so NumPy need not be imported here.
[[nodiscard]] bool is_numpy_bool(PyTypeObject* type) noexcept {
    PyObject* name = PyType_GetName(type);
    if (name == nullptr) {
        PyErr_Clear();
        return false;
    }
    const bool named_bool = has_ascii_text(name, "bool") || has_ascii_text(name, "bool_");
    decref(name);
    if (!named_bool) return false;
    PyObject* module = PyObject_GetAttr(reinterpret_cast<PyObject*>(type), module_attribute);
    if (module == nullptr) {
        PyErr_Clear();
        return false;
    }
    const bool from_numpy = has_ascii_text(module, "numpy");
    decref(module);
    return from_numpy;
}

[[nodiscard]] bool read_seed(PyObject* integer, std::optional<std::uint64_t>& seed) noexcept {
    const unsigned long long value = PyLong_AsUnsignedLongLong(integer);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
        return prefix_type_error(kParameterNames[kSeed]);
    }
    seed = static_cast<std::uint64_t>(value);
    return true;
}

}  // namespace

bool intern_parameters(const Parameters& parameters) noexcept {
    for (std::size_t i = 0; i < parameters.names.size(); ++i) {
        if (parameters.interned[i] == nullptr) {
            parameters.interned[i] = PyUnicode_InternFromString(parameters.names[i]);
            if (parameters.interned[i] == nullptr) return false;
        }
    }
    return true;
}

bool intern_parameter_names() noexcept {
    if (!intern_parameters(roll_parameters)) return false;
    if (module_attribute == nullptr) {
        module_attribute = PyUnicode_InternFromString("__module__");
        if (module_attribute == nullptr) return false;
    }
    return true;
}

bool bind_arguments(const char* function, const Parameters& parameters, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, std::span<PyObject*> bound) noexcept {
    const auto count = static_cast<Py_ssize_t>(bound.size());
    const auto required = static_cast<Py_ssize_t>(parameters.required);
    if (nargs > count) {
        if (count == required) {
            PyErr_Format(PyExc_TypeError, "%s() takes %zd positional arguments but %zd were given", function, count,
                         nargs);
        } else if (required == 0) {
            PyErr_Format(PyExc_TypeError, "%s() takes at most %zd positional arguments but %zd were given", function,
                         count, nargs);
        } else {
            PyErr_Format(PyExc_TypeError, "%s() takes from %zd to %zd positional arguments but %zd were given",
                         function, required, count, nargs);
        }
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) bound[static_cast<std::size_t>(i)] = args[i];

    if (kwnames != nullptr) {
        const Py_ssize_t keywords = PyTuple_Size(kwnames);
        for (Py_ssize_t k = 0; k < keywords; ++k) {
            PyObject* keyword = PyTuple_GetItem(kwnames, k);
            std::size_t index = 0;
            if (keyword == nullptr || !find_parameter(parameters, keyword, bound.size(), index)) return false;
            if (index == bound.size()) {
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function, keyword);
                return false;
            }
            if (bound[index] != nullptr) {
                PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function,
                             parameters.names[index]);
                return false;
            }
            bound[index] = args[nargs + k];
        }
    }

    // The positional arguments filled the first nargs; only the rest of the required can be missing.
    for (auto i = static_cast<std::size_t>(nargs); i < parameters.required; ++i) {
        if (bound[i] == nullptr) return raise_missing(function, parameters, bound);
    }
    return true;
}

bool bind_arguments(const char* function, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    std::span<PyObject*> bound) noexcept {
    return bind_arguments(function, roll_parameters, args, nargs, kwnames, bound);
}

bool convert_expression(PyObject* argument, ExpressionText& expression) noexcept {
    PyTypeObject* type = Py_TYPE(argument);
    if (type == &PyUnicode_Type) {
        expression.source = argument;
    } else if (PyType_IsSubtype(type, &PyUnicode_Type) != 0) {
        expression.copy.reset(PyUnicode_FromObject(argument));
        if (expression.copy == nullptr) return false;
        expression.source = expression.copy.get();
    } else {
        return raise_not_convertible(kExpression, type, "PyString");
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(expression.source, &size);  // cached in the str
    if (utf8 == nullptr) return false;                                             // lone surrogates
    expression.utf8 = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
}

bool convert_show_detail(PyObject* argument, bool& show_detail) noexcept {
    if (argument == Py_True || argument == Py_False) {
        show_detail = argument == Py_True;
        return true;
    }
    PyTypeObject* type = Py_TYPE(argument);
    if (is_numpy_bool(type)) {
        const int truth = PyObject_IsTrue(argument);
        if (truth < 0) return false;
        show_detail = truth != 0;
        return true;
    }
    return raise_not_convertible(kShowDetail, type, "PyBool");
}

bool convert_seed(PyObject* argument, std::optional<std::uint64_t>& seed) noexcept {
    if (argument == nullptr || argument == Py_None) {
        seed.reset();
        return true;
    }
    // An exact int is told by its type alone; PyLong_Check would ask for the
    // type's flags through a call.
    if (Py_TYPE(argument) == &PyLong_Type || PyLong_Check(argument)) return read_seed(argument, seed);
    PyObject* integer = PyNumber_Index(argument);
    if (integer == nullptr) return prefix_type_error(kParameterNames[kSeed]);
    const bool ok = read_seed(integer, seed);
    decref(integer);
    return ok;
}

bool convert_integer(PyObject* argument, const char* name, std::int64_t& value, bool& overflow) noexcept {
    PyObject* integer = PyNumber_Index(argument);
    if (integer == nullptr) return prefix_type_error(name);
    int sign = 0;
    const long long read = PyLong_AsLongLongAndOverflow(integer, &sign);
    decref(integer);
    if (read == -1 && PyErr_Occurred() != nullptr) return false;
    overflow = sign != 0;
    value = overflow ? sign : static_cast<std::int64_t>(read);
    return true;
}

bool convert_real(PyObject* argument, const char* name, double& value) noexcept {
    value = PyFloat_AsDouble(argument);
    if (value == -1.0 && PyErr_Occurred() != nullptr) return prefix_type_error(name);
    return true;
}

}  // namespace pipwerk::python
