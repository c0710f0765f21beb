#include "odds_object.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "exception_boundary.hpp"
#include "float_text.hpp"
#include "module_setup.hpp"
#include "owned_ref.hpp"
#include "record_object.hpp"
#include "refcount.hpp"
#include "sequence_object.hpp"
#include "text_object.hpp"

namespace pipwerk::python {
namespace {

// The engine's record and the statistics of each of its distributions,
// shared by an expression's object and the objects of its elements.
struct OddsData {
    Odds odds;
    std::vector<std::optional<OddsSummary>> summaries;  // none for a distribution without outcomes
};

constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();

// An instance: the shared record and which part of it this object shows.
struct OddsObject {
    PyObject header;
    std::shared_ptr<const OddsData> data;  // constructed in place after allocation
    std::size_t element;                   // kWhole: the expression itself
};

RecordClass odds_class;

OddsObject& object_of(PyObject* self) noexcept { return *reinterpret_cast<OddsObject*>(self); }
const OddsData& data_of(PyObject* self) noexcept { return *object_of(self).data; }

// What an object shows: nothing (nothing parsed), a set, or one distribution.
enum class Shape : std::uint8_t { Nothing, Set, Scalar };

Shape shape_of(PyObject* self) noexcept {
    const OddsObject& o = object_of(self);
    if (o.element != kWhole) return Shape::Scalar;
    if (!o.data->odds.parsed) return Shape::Nothing;
    return o.data->odds.is_set ? Shape::Set : Shape::Scalar;
}

// The distribution a Scalar shows: an element's, or the scalar expression's one.
std::size_t index_of(PyObject* self) noexcept {
    const std::size_t element = object_of(self).element;
    return element == kWhole ? 0 : element;
}

// The messages are literals, so their data ends in a NUL.
const char* const kSetMessage = messages::set_odds.data();
const char* const kNothingMessage = messages::nothing_parsed.data();
const char* const kNoOutcomeMessage = messages::no_outcome.data();

// The distribution of a Scalar; null with TypeError for a set. For nothing
// parsed `nothing` is set and the result is null without an exception.
const Distribution* distribution_or_raise(PyObject* self, bool& nothing) noexcept {
    nothing = false;
    switch (shape_of(self)) {
    case Shape::Set:
        PyErr_SetString(PyExc_TypeError, kSetMessage);
        return nullptr;
    case Shape::Nothing:
        nothing = true;
        return nullptr;
    case Shape::Scalar:
        break;
    }
    return &data_of(self).odds.elements[index_of(self)];
}

// The statistics of a Scalar; null with TypeError for a set, ValueError when
// there are no outcomes to describe.
const OddsSummary* summary_or_raise(PyObject* self) noexcept {
    bool nothing = false;
    if (distribution_or_raise(self, nothing) == nullptr) {
        if (nothing) PyErr_SetString(PyExc_ValueError, kNothingMessage);
        return nullptr;
    }
    const std::optional<OddsSummary>& summary = data_of(self).summaries[index_of(self)];
    if (!summary) {
        PyErr_SetString(PyExc_ValueError, kNoOutcomeMessage);
        return nullptr;
    }
    return &*summary;
}

PyObject* new_view(const std::shared_ptr<const OddsData>& data, std::size_t element) noexcept {
    PyObject* self = allocate_record(odds_class, 0);
    if (self == nullptr) return nullptr;
    OddsObject& o = object_of(self);
    new (&o.data) std::shared_ptr<const OddsData>(data);
    o.element = element;
    return self;
}

PyObject* new_pair(double value, double probability) noexcept {
    return tuple_of(2, [&](std::size_t i) { return PyFloat_FromDouble(i == 0 ? value : probability); });
}

// ---- attributes

template <std::string Odds::*Field>
PyObject* get_text(PyObject* self, void*) noexcept {
    return text_object(data_of(self).odds.*Field);
}

PyObject* get_is_set(PyObject* self, void*) noexcept { return PyBool_FromLong(shape_of(self) == Shape::Set); }

PyObject* get_elements(PyObject* self, void*) noexcept {
    const Shape shape = shape_of(self);
    if (shape == Shape::Nothing) return PyTuple_New(0);
    if (shape == Shape::Scalar) return PyTuple_Pack(1, self);
    const std::shared_ptr<const OddsData>& data = object_of(self).data;
    return tuple_of(data->odds.elements.size(), [&](std::size_t i) { return new_view(data, i); });
}

PyObject* get_outcomes(PyObject* self, void*) noexcept {
    bool nothing = false;
    const Distribution* distribution = distribution_or_raise(self, nothing);
    if (distribution == nullptr) return nothing ? PyTuple_New(0) : nullptr;
    return tuple_of(distribution->size(), [&](std::size_t i) {
        return new_pair((*distribution)[i].value, (*distribution)[i].probability);
    });
}

PyObject* get_errors(PyObject* self, void*) noexcept {
    OwnedRef dict(PyDict_New());
    if (dict == nullptr) return nullptr;
    for (const ErrorChance& error : data_of(self).odds.errors) {
        OwnedRef message(text_object(error.message));
        if (message == nullptr) return nullptr;
        OwnedRef probability(PyFloat_FromDouble(error.probability));
        if (probability == nullptr || PyDict_SetItem(dict.get(), message.get(), probability.get()) < 0) {
            return nullptr;
        }
    }
    return dict.release();
}

template <double OddsSummary::*Field>
PyObject* get_statistic(PyObject* self, void*) noexcept {
    const OddsSummary* summary = summary_or_raise(self);
    return summary == nullptr ? nullptr : PyFloat_FromDouble(summary->*Field);
}

// ---- methods

double probability_equal(const Distribution& distribution, double x) noexcept { return pmf(distribution, x); }
double probability_at_most(const Distribution& distribution, double x) noexcept { return at_most(distribution, x); }
double probability_at_least(const Distribution& distribution, double x) noexcept { return at_least(distribution, x); }

constexpr const char* kXNames[] = {"x"};
PyObject* x_interned[1] = {};
const Parameters x_parameters{kXNames, 1, x_interned};

template <double (*Probability)(const Distribution&, double) noexcept>
PyObject* probability_method(PyObject* self, const char* name, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) noexcept {
    std::array<PyObject*, 1> bound{};
    if (!bind_arguments(name, x_parameters, args, nargs, kwnames, bound)) return nullptr;
    double x = 0.0;
    if (!convert_real(bound[0], "x", x)) return nullptr;
    bool nothing = false;
    const Distribution* distribution = distribution_or_raise(self, nothing);
    if (distribution == nullptr) return nothing ? PyFloat_FromDouble(0.0) : nullptr;
    return PyFloat_FromDouble(Probability(*distribution, x));
}

PyObject* pmf(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return probability_method<probability_equal>(self, "pmf", args, nargs, kwnames);
}
PyObject* cdf(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return probability_method<probability_at_most>(self, "cdf", args, nargs, kwnames);
}
PyObject* at_most(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return probability_method<probability_at_most>(self, "at_most", args, nargs, kwnames);
}
PyObject* at_least(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return probability_method<probability_at_least>(self, "at_least", args, nargs, kwnames);
}

constexpr const char* kQuantileNames[] = {"n"};
PyObject* quantile_interned[1] = {};
const Parameters quantile_parameters{kQuantileNames, 0, quantile_interned};
constexpr auto kMaxQuantiles = static_cast<std::int64_t>(max_quantiles);

PyObject* quantiles(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    std::array<PyObject*, 1> bound{};
    if (!bind_arguments("quantiles", quantile_parameters, args, nargs, kwnames, bound)) return nullptr;
    std::int64_t n = 4;
    bool overflow = false;
    if (bound[0] != nullptr && !convert_integer(bound[0], "n", n, overflow)) return nullptr;
    if (n < 1) {
        PyErr_SetString(PyExc_ValueError, "n must be at least 1");
        return nullptr;
    }
    if (overflow || n > kMaxQuantiles) {
        PyErr_Format(PyExc_ValueError, "n must be at most %lld", static_cast<long long>(kMaxQuantiles));
        return nullptr;
    }
    if (summary_or_raise(self) == nullptr) return nullptr;
    const Distribution& distribution = data_of(self).odds.elements[index_of(self)];
    // The n - 1 cut points, at 1/n, 2/n, ... of the way.
    const auto groups = static_cast<std::uint64_t>(n);
    return list_of(static_cast<std::size_t>(groups - 1), [&](std::size_t i) {
        return PyFloat_FromDouble(quantile(distribution, std::uint64_t{i} + 1, groups));
    });
}

constexpr const char* kHistogramNames[] = {"width", "ascii"};
PyObject* histogram_interned[2] = {};
const Parameters histogram_parameters{kHistogramNames, 0, histogram_interned};
// The widths the command-line roller draws at too, so a picture fits wherever one does.
constexpr auto kMinWidth = static_cast<std::int64_t>(OddsTextOptions::min_width);
constexpr auto kMaxWidth = static_cast<std::int64_t>(OddsTextOptions::max_width);

PyObject* histogram(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    std::array<PyObject*, 2> bound{};
    if (!bind_arguments("histogram", histogram_parameters, args, nargs, kwnames, bound)) return nullptr;
    OddsTextOptions options;
    if (bound[0] != nullptr) {
        std::int64_t width = 0;
        bool overflow = false;
        if (!convert_integer(bound[0], "width", width, overflow)) return nullptr;
        if (overflow || width < kMinWidth || width > kMaxWidth) {
            PyErr_Format(PyExc_ValueError, "width must be from %lld to %lld", static_cast<long long>(kMinWidth),
                         static_cast<long long>(kMaxWidth));
            return nullptr;
        }
        options.width = static_cast<std::size_t>(width);
    }
    if (bound[1] != nullptr) {
        if (bound[1] != Py_True && bound[1] != Py_False) {
            PyErr_SetString(PyExc_TypeError, "argument 'ascii': must be a bool");
            return nullptr;
        }
        options.ascii = bound[1] == Py_True;
    }
    return contain([&] {
        const OddsObject& o = object_of(self);
        const Odds& odds = o.data->odds;
        // Labelled as the command-line roller labels it: the consumed text,
        // or the text itself when nothing was parsed.
        if (o.element == kWhole) return text_object(render_odds(odds, odds.parsed ? odds.consumed : odds.tail, options));
        // One element of a set, drawn as its block in the whole picture (counted from 1).
        Odds part{.consumed = odds.consumed,
                  .tail = odds.tail,
                  .parsed = true,
                  .is_set = false,
                  .elements = {odds.elements[o.element]},
                  .errors = odds.errors};
        const std::string label = odds.consumed + " [" + std::to_string(o.element + 1) + "]";
        return text_object(render_odds(part, label, options));
    });
}

// ---- repr

// A statistic as the repr shows it: at most four decimals, no trailing zeros
// ("12.2446", "3", "-0.5"); very large magnitudes and non-finite values in
// the shortest round-trip form.
void append_statistic(std::string& out, double value) {
    if (!std::isfinite(value) || std::fabs(value) >= 1e16) {
        append_float(out, value);
        return;
    }
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
    std::string_view text(buffer, static_cast<std::size_t>(written.ptr - buffer));
    while (text.back() == '0') text.remove_suffix(1);
    if (text.back() == '.') text.remove_suffix(1);
    if (text == "-0") text = "0";
    out += text;
}

PyObject* repr(PyObject* self) noexcept {
    return contain([self]() -> PyObject* {
        const OddsObject& o = object_of(self);
        const Odds& odds = o.data->odds;
        OwnedRef consumed(text_object(odds.consumed));
        if (consumed == nullptr) return nullptr;
        std::string rest;
        switch (shape_of(self)) {
        case Shape::Nothing: {
            OwnedRef tail(text_object(odds.tail));
            if (tail == nullptr) return nullptr;
            return PyUnicode_FromFormat("Odds(%R, tail=%R)", consumed.get(), tail.get());
        }
        case Shape::Set:
            rest = ", elements=" + std::to_string(odds.elements.size());
            break;
        case Shape::Scalar:
            if (o.element != kWhole) rest = ", element=" + std::to_string(o.element);
            if (const std::optional<OddsSummary>& s = o.data->summaries[index_of(self)]; s) {
                rest += ", mean=";
                append_statistic(rest, s->mean);
                rest += ", stdev=";
                append_statistic(rest, s->stdev);
                rest += ", min=";
                append_statistic(rest, s->min);
                rest += ", max=";
                append_statistic(rest, s->max);
            } else {
                rest += ", outcomes=0";
            }
            break;
        }
        return PyUnicode_FromFormat("Odds(%R%s)", consumed.get(), rest.c_str());
    });
}

void dealloc(PyObject* self) noexcept {
    object_of(self).data.~shared_ptr();
    free_record(odds_class, self);
}

// ---- the class

constexpr int kMethodFlags = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef methods[] = {
    {"pmf", as_cfunction(pmf), kMethodFlags,
     "pmf($self, /, x)\n--\n\nThe probability that the roll gives exactly x (a failing roll gives no value)."},
    {"cdf", as_cfunction(cdf), kMethodFlags,
     "cdf($self, /, x)\n--\n\nThe probability that the roll gives a value of at most x (as at_most)."},
    {"at_most", as_cfunction(at_most), kMethodFlags,
     "at_most($self, /, x)\n--\n\nThe probability that the roll gives a value of at most x."},
    {"at_least", as_cfunction(at_least), kMethodFlags,
     "at_least($self, /, x)\n--\n\nThe probability that the roll gives a value of at least x."},
    {"quantiles", as_cfunction(quantiles), kMethodFlags,
     "quantiles($self, /, n=4)\n--\n\n"
     "The n - 1 cut points dividing the outcomes into n groups of equal probability,\n"
     "as statistics.quantiles names them: cut point i is the smallest value v with\n"
     "P(value <= v | the roll succeeds) >= i / n."},
    {"histogram", as_cfunction(histogram), kMethodFlags,
     "histogram($self, /, width=80, ascii=False)\n--\n\n"
     "The picture `pipwerk --odds` prints: a header with the mean, the standard\n"
     "deviation and the range, then a row per outcome (or range of outcomes) with\n"
     "P(=), P(>=) and a bar, rows for the errors, and a block per element of a set\n"
     "(identical elements in a row share one block, marked x3 for three).\n"
     "width is the number of columns (40 to 1000); ascii draws the bars with '#'."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getters[] = {
    {"consumed", get_text<&Odds::consumed>, nullptr, "The source text that was successfully consumed.", nullptr},
    {"tail", get_text<&Odds::tail>, nullptr, "The remaining unparsed text (tail).", nullptr},
    {"is_set", get_is_set, nullptr, "Whether the expression gives a set of values.", nullptr},
    {"elements", get_elements, nullptr,
     "The odds of each element of a set, in order, as a tuple; for a single value, (self,).", nullptr},
    {"outcomes", get_outcomes, nullptr,
     "The (value, probability) pairs of every value the roll can give, in ascending value.", nullptr},
    {"errors", get_errors, nullptr, "The errors the roll can end with: a dict from message to probability.",
     nullptr},
    {"mean", get_statistic<&OddsSummary::mean>, nullptr,
     "The mean of the value, given that the roll succeeds.", nullptr},
    {"stdev", get_statistic<&OddsSummary::stdev>, nullptr,
     "The standard deviation of the value, given that the roll succeeds.", nullptr},
    {"variance", get_statistic<&OddsSummary::variance>, nullptr,
     "The variance of the value, given that the roll succeeds.", nullptr},
    {"min", get_statistic<&OddsSummary::min>, nullptr, "The smallest value a successful roll can give.", nullptr},
    {"max", get_statistic<&OddsSummary::max>, nullptr, "The largest value a successful roll can give.", nullptr},
    {"median", get_statistic<&OddsSummary::median>, nullptr,
     "The median of the value given success: the smallest v with P(value <= v) >= 1/2.", nullptr},
    {"mode", get_statistic<&OddsSummary::mode>, nullptr,
     "The most likely value (the smallest of equally likely ones).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr const char* kClassDoc =
    "The exact odds of a dice expression, as pipwerk_odds.odds returns them.\n"
    "\n"
    "outcomes, pmf, cdf, at_least and at_most give probabilities of the whole roll,\n"
    "so a roll that fails counts as giving no value; the statistics (mean, stdev,\n"
    "variance, min, max, median, mode, quantiles) describe the value given that the\n"
    "roll succeeds. A set expression has one Odds per element in elements, and its\n"
    "single-value attributes raise TypeError. When nothing was parsed, outcomes is\n"
    "empty and the statistics raise ValueError.";

const ClassShape shape = {
    .name = "pipwerk_odds.Odds",
    .doc = kClassDoc,
    .basicsize = static_cast<int>(sizeof(OddsObject)),
    .getters = getters,
    .methods = methods,
    .repr = repr,
    .refuse = refuse_construction,
    .dealloc = dealloc,
};

}  // namespace

PyObject* create_odds_class() noexcept {
    if (!intern_parameters(x_parameters) || !intern_parameters(quantile_parameters) ||
        !intern_parameters(histogram_parameters)) {
        return nullptr;
    }
    return create_record_class(odds_class, shape);
}

PyObject* new_odds(Odds&& odds) noexcept {
    return contain([&] {
        auto data = std::make_shared<OddsData>();
        data->summaries.reserve(odds.elements.size());
        for (const Distribution& distribution : odds.elements) {
            data->summaries.push_back(distribution.empty() ? std::nullopt
                                                           : std::optional<OddsSummary>(summarize(distribution)));
        }
        data->odds = std::move(odds);
        return new_view(std::move(data), kWhole);
    });
}

}  // namespace pipwerk::python
