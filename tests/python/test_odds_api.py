"""The Odds object: statistics agree with its own outcomes, probabilities of
the whole roll count errors as not-x, sets and nothing-parsed behave, and the
surface is read-only and typed as documented."""

import math
import os
import shutil
import subprocess
from pathlib import Path

import pytest

import pipwerk
import pipwerk_odds
from pipwerk_odds import Odds, odds

SCALARS = [
    "4d6k3",
    "2d20kl1 + 1d4 - 1",
    "10d10>=7",
    "1d6 / (1d2 - 1)",  # half the rolls fail
    "3d6 * 50%",
    "1d4 / 2",
    "-2d6 + 1d3 * 1d3",
    "5d6b6k3",
    "7",
]


def assert_close(got, want):
    """Two outcome tuples: the same values, probabilities within 1e-12 relative."""
    assert [v for v, _ in got] == [v for v, _ in want]
    assert [p for _, p in got] == pytest.approx([p for _, p in want], rel=1e-12)


def success(outcomes):
    return math.fsum(p for _, p in outcomes)


def conditional_cdf(outcomes):
    """(value, P(value <= v | success)) for each value, ascending."""
    total, running, out = success(outcomes), 0.0, []
    for v, p in outcomes:
        running += p
        out.append((v, running / total))
    return out


def acceptable_quantiles(outcomes, q):
    """The smallest v with P(<= v | success) >= q, allowing for rounding when
    a cumulative probability sits within 1e-9 of q."""
    cdf = conditional_cdf(outcomes)
    return {next(v for v, c in cdf if c >= q - slack) for slack in (1e-9, 0.0, -1e-9)
            if any(c >= q - slack for _, c in cdf)}


@pytest.mark.parametrize("expression", SCALARS)
def test_statistics_agree_with_the_outcomes(expression):
    o = odds(expression)
    pairs = o.outcomes
    total = success(pairs)
    mean = math.fsum(v * p for v, p in pairs) / total
    variance = math.fsum((v - mean) ** 2 * p for v, p in pairs) / total
    assert o.mean == pytest.approx(mean, rel=1e-12, abs=1e-12)
    assert o.variance == pytest.approx(variance, rel=1e-9, abs=1e-12)
    assert o.stdev == pytest.approx(math.sqrt(variance), rel=1e-9, abs=1e-12)
    assert (o.min, o.max) == (pairs[0][0], pairs[-1][0])
    assert o.median in acceptable_quantiles(pairs, 0.5)
    top = max(p for _, p in pairs)
    assert o.mode == min(v for v, p in pairs if p >= top * (1 - 1e-12))
    for n in (1, 2, 4, 10):
        cuts = o.quantiles(n)
        assert len(cuts) == n - 1
        for i, cut in enumerate(cuts, 1):
            assert cut in acceptable_quantiles(pairs, i / n)
    assert o.quantiles() == o.quantiles(4)


@pytest.mark.parametrize("expression", SCALARS)
def test_probabilities_of_the_whole_roll(expression):
    o = odds(expression)
    pairs = o.outcomes
    values = [v for v, _ in pairs]
    probes = sorted({values[0] - 1, values[-1] + 1, *values, *(v + 0.25 for v in values)})
    for x in probes:
        assert o.pmf(x) == sum(p for v, p in pairs if v == x)
        assert o.cdf(x) == pytest.approx(math.fsum(p for v, p in pairs if v <= x), rel=1e-12, abs=1e-300)
        assert o.at_most(x) == o.cdf(x)
        assert o.at_least(x) == pytest.approx(math.fsum(p for v, p in pairs if v >= x), rel=1e-12, abs=1e-300)
    # Everything the roll can end with adds up to one.
    assert math.fsum([success(pairs), *o.errors.values()]) == pytest.approx(1, abs=1e-12)


def test_errors_count_as_not_x():
    o = odds("1d6 / (1d2 - 1)")
    assert o.errors == pytest.approx({"division by zero": 0.5}, rel=1e-12)
    assert o.cdf(6) == pytest.approx(0.5, rel=1e-12)
    assert o.at_least(1) == pytest.approx(0.5, rel=1e-12)
    assert o.pmf(3) == pytest.approx(1 / 12, rel=1e-12)
    assert o.mean == pytest.approx(3.5, rel=1e-12)  # of the value given success


def test_the_example_of_the_documentation():
    o = odds("4d6k3")
    assert repr(o) == "Odds('4d6k3', mean=12.2446, stdev=2.8468, min=3, max=18)"
    # 4d6k3 >= 15: 1 - (the 1296 rolls' count at or below 14) / 1296, counted in the test.
    from itertools import product

    rolls = [sum(sorted(r)[1:]) for r in product(range(1, 7), repeat=4)]
    assert o.at_least(15) == pytest.approx(sum(t >= 15 for t in rolls) / 1296, rel=1e-12)
    assert round(o.at_least(15), 4) == 0.2315


SET_EXPRESSIONS = ["3#4d6k3", "{d6, d8, 5} * 2", "{1, 2} + {10, 20, 30}"]
SCALAR_ONLY_ATTRIBUTES = ["outcomes", "mean", "stdev", "variance", "min", "max", "median", "mode"]
SCALAR_ONLY_METHODS = [("pmf", (1,)), ("cdf", (1,)), ("at_least", (1,)), ("at_most", (1,)), ("quantiles", ())]


@pytest.mark.parametrize("expression", SET_EXPRESSIONS)
def test_set_statistics_point_to_elements(expression):
    o = odds(expression)
    assert o.is_set
    for name in SCALAR_ONLY_ATTRIBUTES:
        with pytest.raises(TypeError, match="elements"):
            getattr(o, name)
    for name, args in SCALAR_ONLY_METHODS:
        with pytest.raises(TypeError, match="elements"):
            getattr(o, name)(*args)


@pytest.mark.parametrize("expression, body", [("3#4d6k3", ["4d6k3"] * 3), ("{d6, d8, 5} * 2", ["d6*2", "d8*2", "10"]),
                                              ("{1, 2} + {10, 20, 30}", ["11", "22"])])
def test_set_elements_are_scalar_odds(expression, body):
    o = odds(expression)
    elements = o.elements
    assert len(elements) == len(body)
    for i, (e, b) in enumerate(zip(elements, body)):
        assert_close(e.outcomes, odds(b).outcomes)
        assert type(e) is Odds and not e.is_set
        assert e.elements == (e,)
        assert (e.consumed, e.tail, e.errors) == (o.consumed, o.tail, o.errors)
        assert repr(e).startswith(f"Odds({expression!r}, element={i}, mean=")
    assert repr(o) == f"Odds({expression!r}, elements={len(body)})"


def test_scalar_elements_is_itself():
    o = odds("2d6")
    assert o.elements == (o,) and o.elements[0] is o


def test_set_errors_belong_to_the_whole_roll():
    # A zero divisor inside a set item fails the roll; one spread over a set gives 0.
    failing = odds("{1d6 / (1d2 - 1), 2}")
    assert failing.errors == pytest.approx({"division by zero": 0.5})
    assert_close(failing.elements[1].outcomes, ((2.0, 0.5),))
    spread = odds("{1d6, 2} / (1d2 - 1)")
    assert spread.errors == {}
    assert_close(spread.elements[1].outcomes, ((0.0, 0.5), (2.0, 0.5)))


@pytest.mark.parametrize("text", ["abc", "", "   ", "+", "#3"])
def test_nothing_parsed(text):
    o = odds(text)
    parsed = pipwerk.parse(text)
    assert (o.consumed, o.tail, o.is_set) == (parsed.consumed, parsed.tail, False)
    assert (o.outcomes, o.errors, o.elements) == ((), {}, ())
    for name in SCALAR_ONLY_ATTRIBUTES[1:]:
        with pytest.raises(ValueError, match="nothing was parsed"):
            getattr(o, name)
    with pytest.raises(ValueError, match="nothing was parsed"):
        o.quantiles()
    assert (o.pmf(1), o.cdf(1), o.at_least(1), o.at_most(1)) == (0.0, 0.0, 0.0, 0.0)
    assert repr(o) == f"Odds('', tail={parsed.tail!r})"


@pytest.mark.parametrize("text", ["4d6k3 foo", "d20 + (d4+ test", "3#x", "2d6)", "{1, 2", "é 1d6"])
def test_consumed_and_tail_as_parse_gives_them(text):
    o = odds(text)
    parsed = pipwerk.parse(text)
    assert (o.consumed, o.tail) == (parsed.consumed, parsed.tail)


@pytest.mark.parametrize("expression", ["51d6", "1d1001", "{1, {2}}", "11#d6", "0d6", "1/0", "1d6 / 0", "2#({1})"])
def test_certain_errors_are_the_roll_message(expression):
    with pytest.raises(ValueError) as rolled:
        pipwerk.roll(expression, seed=1)
    with pytest.raises(ValueError) as computed:
        odds(expression)
    assert computed.value.args == rolled.value.args


@pytest.mark.parametrize("expression", ["50d1000 * 50d1000", "2d5000b5000", "40d1000 * 40d1000 * 3d6"])
def test_too_large_is_a_value_error(expression):
    with pytest.raises(ValueError, match="^too large for exact odds: "):
        odds(expression)


@pytest.mark.parametrize("call, error, message", [
    (lambda: odds(), TypeError, "odds() missing 1 required positional argument: 'expression'"),
    (lambda: odds(3), TypeError, "argument 'expression': 'int' object cannot be converted to 'PyString'"),
    (lambda: odds("d6", "d6"), TypeError, "odds() takes 1 positional arguments but 2 were given"),
    (lambda: odds("d6", seed=1), TypeError, "odds() got an unexpected keyword argument 'seed'"),
    (lambda: odds("\udc00"), UnicodeEncodeError, None),
    (lambda: odds("d6").pmf(), TypeError, "pmf() missing 1 required positional argument: 'x'"),
    (lambda: odds("d6").cdf("3"), TypeError, "argument 'x': must be real number, not str"),
    (lambda: odds("d6").at_least(None), TypeError, "argument 'x': must be real number, not NoneType"),
    (lambda: odds("d6").at_most(1, 2), TypeError, "at_most() takes 1 positional arguments but 2 were given"),
    (lambda: odds("d6").quantiles(0), ValueError, "n must be at least 1"),
    (lambda: odds("d6").quantiles(10**7), ValueError, "n must be at most 1000000"),
    (lambda: odds("d6").quantiles(2.0), TypeError, "argument 'n': 'float' object cannot be interpreted as an integer"),
    (lambda: odds("d6").histogram(width=39), ValueError, "width must be from 40 to 1000"),
    (lambda: odds("d6").histogram(width=10**40), ValueError, "width must be from 40 to 1000"),
    (lambda: odds("d6").histogram(ascii=1), TypeError, "argument 'ascii': must be a bool"),
    (lambda: odds("d6").histogram(80, False, 3), TypeError,
     "histogram() takes at most 2 positional arguments but 3 were given"),
    (lambda: Odds(), TypeError, "No constructor defined for Odds"),
])
def test_argument_errors(call, error, message):
    with pytest.raises(error) as caught:
        call()
    if message is not None:
        assert str(caught.value) == message


def test_keywords_and_number_types():
    o = odds(expression="2d6")
    assert o.pmf(x=7) == o.pmf(7.0) == o.pmf(True * 7)
    assert o.quantiles(n=3) == o.quantiles(3)
    assert o.cdf(6.5) == o.cdf(6)


def test_quantiles_of_one_group_are_empty():
    assert odds("2d6").quantiles(1) == []


def test_read_only():
    o = odds("4d6k3")
    for name in ["consumed", "tail", "is_set", "elements", "outcomes", "errors", *SCALAR_ONLY_ATTRIBUTES]:
        with pytest.raises(AttributeError):
            setattr(o, name, 1)
    with pytest.raises(AttributeError):
        o.extra = 1
    with pytest.raises(TypeError):
        type("Derived", (Odds,), {})
    with pytest.raises(TypeError):
        Odds.mean = 1


def test_reads_are_fresh_containers():
    o = odds("3#d6")
    assert o.elements is not o.elements
    errors = odds("1d6 / (1d2 - 1)").errors
    errors.clear()
    assert odds("1d6 / (1d2 - 1)").errors != {}


@pytest.mark.parametrize("expression, header", [
    ("4d6k3", "4d6k3: mean 12.24, sd 2.85, range 3 to 18"),
])
def test_histogram_is_the_command_line_picture(expression, header):
    picture = odds(expression).histogram()
    assert picture.splitlines()[0] == header
    assert not odds(expression).histogram(ascii=False).isascii()
    plain = odds(expression).histogram(ascii=True)
    assert plain.isascii() and "#" in plain


@pytest.mark.parametrize("expression", ["50d6", "4d6k3", "1d6 / (1d2 - 1)", "50d1000", "1d4 / 3", "3#1d6"])
def test_histogram_rows_fit_the_width(expression):
    o = odds(expression)
    for width in (40, 50, 64, 80, 200, 1000):
        for ascii in (True, False):
            rows = [line for line in o.histogram(width=width, ascii=ascii).splitlines() if "%" in line]
            assert rows and max(len(row) for row in rows) <= width, (width, ascii)


def test_histogram_of_sets_and_elements():
    o = odds("{1d6, 1d8} + 1d6 / (1d2 - 1)")
    whole = o.histogram(ascii=True)
    for element in o.elements:
        # The element's block of the whole picture, followed by the same errors.
        block, errors = element.histogram(ascii=True).split("\nerrors:\n")
        assert block in whole and block.count("\n") < whole.count("\n")
        assert whole.endswith("\nerrors:\n" + errors)


def test_histogram_when_nothing_parsed():
    assert odds("abc").histogram().startswith("abc:")


def test_module_surface():
    assert pipwerk_odds.__all__ == ["Odds", "odds", "sample", "Comparison", "compare"]
    assert odds.__module__ == pipwerk_odds.sample.__module__ == pipwerk_odds.compare.__module__ == "pipwerk_odds"
    assert pipwerk_odds.Comparison.__module__ == "pipwerk_odds"
    assert pipwerk_odds.compare.__text_signature__ == "(a, b)"
    assert Odds.__module__ == "pipwerk_odds" and Odds.__name__ == "Odds"
    assert odds.__text_signature__ == "(expression)"
    assert pipwerk_odds.sample.__text_signature__ == "(expression, n, seed=None)"
    assert Odds.histogram.__text_signature__ == "($self, /, width=80, ascii=False)"
    documented = [odds, pipwerk_odds.sample, pipwerk_odds.compare, Odds, pipwerk_odds.Comparison, pipwerk_odds]
    documented += [getattr(Odds, name) for name in dir(Odds) if not name.startswith("_")]
    documented += [getattr(pipwerk_odds.Comparison, n) for n in dir(pipwerk_odds.Comparison) if not n.startswith("_")]
    assert all(item.__doc__ and item.__doc__.strip() for item in documented)
    # The first module gains nothing from the second.
    assert pipwerk.__all__ == ["RollResult", "ParseOutput", "roll", "parse"]
    assert {name for name in dir(pipwerk) if not name.startswith("__")} == set(pipwerk.__all__)


# Private symbols the limited API's own headers reference.
STABLE_PRIVATE_SYMBOLS = {"_Py_IncRef", "_Py_DecRef", "_Py_NoneStruct", "_Py_TrueStruct", "_Py_FalseStruct"}


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm")
def test_extension_uses_only_the_stable_abi():
    path = Path(pipwerk_odds.__file__)
    assert path.name == "pipwerk_odds.abi3.so"

    def symbols(*options):
        listing = subprocess.run(["nm", "-D", *options, str(path)], capture_output=True, text=True, check=True)
        return [line.split() for line in listing.stdout.splitlines() if line.strip()]

    imported = {fields[-1] for fields in symbols("--undefined-only")}
    python_symbols = {name for name in imported if name.startswith(("Py", "_Py"))}
    assert {"PyType_FromSpec", "PyObject_GetBuffer", "PyEval_SaveThread"} <= python_symbols
    assert {name for name in python_symbols if name.startswith("_")} <= STABLE_PRIVATE_SYMBOLS
    exported = {fields[-1] for fields in symbols("--defined-only") if fields[-2] == "T"}
    assert exported == {"PyInit_pipwerk_odds"}


@pytest.mark.parametrize("function", [odds, pipwerk_odds.sample])
def test_docstring_examples(function):
    import doctest

    test = doctest.DocTestParser().get_doctest(function.__doc__, {}, function.__name__, None, 0)
    runner = doctest.DocTestRunner()
    runner.run(test)
    assert runner.summarize(verbose=False) == (0, 3 if function is odds else 2)


def test_threads_share_the_work():
    # odds and long samples run without the interpreter lock: results from
    # several threads at once equal the ones computed alone.
    from concurrent.futures import ThreadPoolExecutor

    jobs = [("odds", "20d20k10"), ("odds", "3#4d6k3 + 1d6 / (1d2 - 1)"), ("sample", "4d6k3"), ("sample", "{d6, d8}")]
    jobs.append(("odds", "40d300b250k38"))  # large enough to use a second thread of its own

    def run(job):
        kind, expression = job
        if kind == "sample":
            return list(pipwerk_odds.sample(expression, 20_000, 9))
        o = odds(expression)
        return [e.outcomes for e in o.elements], o.errors

    alone = [run(job) for job in jobs]
    with ThreadPoolExecutor(4) as pool:
        together = list(pool.map(run, jobs * 4))
    assert together == alone * 4


def test_a_long_call_lets_other_threads_run():
    # While one thread waits on a term of about a tenth of a second, this
    # one keeps its turns: the call does not hold the interpreter lock.
    import threading
    import time

    started = threading.Event()

    def work():
        started.set()
        odds("50d1000k25")

    worker = threading.Thread(target=work)
    worker.start()
    started.wait()
    turns = 0
    while worker.is_alive():
        turns += 1
        time.sleep(0.001)
    worker.join()
    assert turns >= 10


def test_a_nan_outcome_matches_only_itself():
    # A real beyond the double range is infinite; infinity minus itself is NaN.
    huge = "9" * 400 + ".0"
    o = odds(f"{huge} * 1d2 - {huge} * 1d2")
    assert len(o.outcomes) == 1 and math.isnan(o.outcomes[0][0])
    assert o.pmf(math.nan) == 1.0 and o.pmf(0) == 0.0
    assert (o.cdf(math.inf), o.at_least(-math.inf)) == (0.0, 0.0)


CLI = os.environ.get("PIPWERK_CLI") or shutil.which("pipwerk")


@pytest.mark.skipif(CLI is None, reason="the pipwerk executable is not on PATH")
@pytest.mark.parametrize("expression", ["1d6 / (1d2 - 1)", "4d6k3 tail", "3#1d4 + 1d6 / (1d2 - 1)", "50d6", "abc"])
@pytest.mark.parametrize("width, ascii", [(60, True), (100, False)])
def test_histogram_is_what_the_command_line_prints(expression, width, ascii):
    command = [CLI, "--odds", *(["--ascii"] if ascii else []), expression]
    printed = subprocess.run(command, capture_output=True, text=True, check=False, timeout=30,
                             env={**os.environ, "COLUMNS": str(width)}).stdout
    assert printed == odds(expression).histogram(width=width, ascii=ascii)
