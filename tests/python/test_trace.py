"""pipwerk_trace against pipwerk itself, over generated expressions.

Every property reads a trace against what pipwerk.roll gives for the same
expression and seed, or against the trace's own texts: nothing here knows
how the tree is built."""

import json
import math

import pipwerk
import pipwerk_trace
import pytest
from hypothesis import HealthCheck, find, given, settings
from hypothesis import strategies as st

FIELDS = ("consumed", "tail", "summary", "detail", "full", "is_set", "values")

numbers = st.sampled_from(["0", "1", "3", "12", "2.5", "50%", "7"])
dice = st.builds(
    lambda count, d, faces, bonus, keep, comparison: f"{count}{d}{faces}{bonus}{keep}{comparison}",
    st.sampled_from(["", "1", "2", "3", "4", "10", "0", "51"]),
    st.sampled_from(["d", "d", "D"]),
    st.sampled_from(["2", "4", "6", "6", "8", "20", "100", "1", "1001"]),
    st.sampled_from(["", "", "", "b5", "b6", "b2"]),
    st.sampled_from(["", "", "k1", "k3", "kl1", "kl2", "k0"]),
    st.sampled_from(["", "", "", ">3", ">=4", "<2", "<=3", "!=1"]),
)
scalars = st.recursive(
    st.one_of(numbers, dice),
    lambda inner: st.one_of(
        st.builds(lambda a, op, b: f"{a}{op}{b}", inner, st.sampled_from(["+", " - ", "*", "/"]), inner),
        st.builds(lambda a: f"-{a}", inner),
        st.builds(lambda a: f"({a})", inner),
    ),
    max_leaves=6,
)
sets = st.recursive(
    st.one_of(
        st.builds(lambda items, comma: "{" + ", ".join(items) + comma + "}", st.lists(scalars, min_size=1, max_size=4),
                  st.sampled_from(["", ","])),
        st.builds(lambda n, body: f"{n}#{body}", st.sampled_from(["0", "1", "3", "10", "11"]),
                  st.sampled_from(["d6", "3d6k2", "(d4+1)", "2", "d6b6", "2d20kl1"])),
    ),
    lambda inner: st.one_of(
        st.builds(lambda a, op, b: f"{a}{op}{b}", inner, st.sampled_from(["+", "*", "-"]), st.one_of(inner, scalars)),
        st.builds(lambda a, op, b: f"{a}{op}{b}", scalars, st.sampled_from(["+", "/"]), inner),
        st.builds(lambda a: f"-{a}", inner),
        st.builds(lambda a: f"({a})", inner),
    ),
    max_leaves=4,
)
tails = st.sampled_from(["", "", "", "kh1+5", "dl1", "!", " adv", "r1", " abc", ")", "+", "d%", "dF"])
expressions = st.builds(lambda e, t: e + t, st.one_of(scalars, sets), tails)
seeds = st.integers(min_value=0, max_value=2**64 - 1)
cases = st.tuples(expressions, seeds, st.booleans())


def fields(result):
    return {name: getattr(result, name) for name in FIELDS}


def nodes(root, kept=None):
    """Every node below root, without recursion (a chain can be long).

    With `kept` (the size of the roll's set), pairs (node, shown): whether the
    node's text can be in the detail. Pairing two sets drops the elements past
    the shorter one, so an element at an index past the result's size is not
    shown, nor anything in it."""
    todo = [(root, True)]
    while todo:
        node, shown = todo.pop()
        yield node if kept is None else (node, shown)
        for i, child in enumerate(children(node)):
            dropped = node.kind in ("set", "repetition") and kept is not None and i >= kept
            todo.append((child, shown and not dropped))


def children(node):
    if node.kind == "negation":
        return [node.operand]
    if node.kind == "binary":
        return [node.left, node.right]
    if node.kind in ("set", "repetition"):
        return list(node.elements)
    return []


def dice_text(node):
    """The dice as the detail shows them: every die, or the kept ones of a comparison."""
    if node.comparison is None:
        shown = [f"{d.value}{'*' if not d.kept else ''}{'!' if d.earned_bonus else ''}" for d in node.dice]
        return "[" + " + ".join(shown) + "]"
    shown = [f"{d.value}{'*' if not d.success else ''}{'!' if d.earned_bonus else ''}" for d in node.dice if d.kept]
    return "<" + " + ".join(shown) + ">"


def check_tree(t, rolled):
    consumed = rolled.consumed
    if t.root is None:
        assert consumed == "" and t.dice == ()
        return
    assert t.root.values == tuple(rolled.values)
    assert t.root.is_set == rolled.is_set
    assert consumed[: t.root.start].strip(" (") == "" and consumed[t.root.end :].strip(" )") == ""
    seen_dice = []
    for node, shown in nodes(t.root, len(rolled.values)):
        assert node.source == consumed[node.start : node.end] and node.start < node.end
        assert (node.value is None) == node.is_set
        assert node.values == ((node.value,) if not node.is_set else node.values)
        for child in children(node):
            assert node.start <= child.start and child.end <= node.end
        if node.kind == "dice":
            seen_dice.append(node)
            kept = [d for d in node.dice if d.kept]
            expected = sum(d.success for d in kept) if node.comparison else sum(d.value for d in kept)
            assert node.value == expected
            assert all(1 <= d.value <= node.faces for d in node.dice)
            assert sum(d.bonus for d in node.dice) == sum(d.earned_bonus for d in node.dice)
            assert all((d.success is None) == (node.comparison is None) for d in node.dice)
            if rolled.detail and shown:
                assert dice_text(node) in rolled.detail
        elif node.kind == "negation":
            assert node.source.startswith("-")
            if all(abs(v) < 2**62 for v in node.operand.values):
                assert node.values == tuple(-v for v in node.operand.values)
        elif node.kind == "binary":
            between = consumed[node.left.end : node.right.start].replace(" ", "").strip("()")
            assert between == node.op
        elif node.kind in ("set", "repetition"):
            assert node.values == tuple(e.value for e in node.elements)
            if node.kind == "set":
                assert node.source[0] == "{" and node.source[-1] == "}"
            else:
                assert node.count == len(node.elements) and "#" in node.source
    assert sorted(id_of(d) for d in seen_dice) == sorted(id_of(d) for d in t.dice)


def id_of(node):
    return (node.start, node.end, node.values, tuple(d.value for d in node.dice))


def check_case(expression, seed, show_detail):
    try:
        rolled = pipwerk.roll(expression, show_detail, seed=seed)
    except ValueError as error:
        with pytest.raises(ValueError) as traced:
            pipwerk_trace.trace(expression, show_detail, seed=seed)
        assert traced.value.args == error.args
        return "error"
    t = pipwerk_trace.trace(expression, show_detail, seed=seed)
    assert t.seed == seed
    assert fields(t.result) == fields(rolled)
    d = t.to_dict()
    # The trace's own texts, made by the core's trace path, not by roll.
    assert {name: d[name] for name in FIELDS} == fields(rolled)
    assert json.loads(t.to_json()) == d
    if t.root is not None:
        assert t.root.index == d["root"] == len(d["nodes"]) - 1
        assert t.root.to_dict() == d["nodes"][-1]
    check_tree(t, rolled)
    return "rolled"


# 600 batches of 20: 12,000 generated expressions and seeds per run.
@settings(max_examples=600, suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large], deadline=None)
@given(st.lists(cases, min_size=20, max_size=20))
def test_generated_expressions_trace_as_they_roll(batch):
    for expression, seed, show_detail in batch:
        check_case(expression, seed, show_detail)


@settings(max_examples=200, deadline=None)
@given(expressions)
def test_an_unseeded_trace_gives_the_seed_that_replays_it(expression):
    try:
        t = pipwerk_trace.trace(expression)
    except ValueError:
        return
    replay = pipwerk.roll(expression, seed=t.seed)
    assert {name: t.to_dict()[name] for name in FIELDS} == fields(replay)


def reached(case):
    """What one generated case exercises."""
    expression, seed, show_detail = case
    try:
        t = pipwerk_trace.trace(expression, show_detail, seed=seed)
    except ValueError:
        return {"error"}
    found = {"hint"} if t.hints else set()
    if t.root is not None:
        for node in nodes(t.root):
            found.add(node.kind)
            if node.kind == "dice":
                found.update("bonus die" for d in node.dice if d.bonus)
                found.update("dropped die" for d in node.dice if not d.kept)
                found.update("comparison" for _ in node.dice[:1] if node.comparison)
    return found


@pytest.mark.parametrize(
    "goal", ["error", "hint", "number", "dice", "negation", "binary", "set", "repetition", "bonus die",
             "dropped die", "comparison"]
)
def test_the_generator_reaches(goal):
    """The generated cases reach what the properties are about."""
    find(cases, lambda case: goal in reached(case), settings=settings(max_examples=5000, database=None, deadline=None))


@pytest.mark.parametrize(
    ("expression", "hint"),
    [
        ("2d20kh1+5", "k already keeps the highest"),
        ("4d6dl1", "4d6k3"),
        ("4d6dh1", "4d6kl3"),
        ("d%", "d100"),
        ("4dF", "Nd3-2N"),
        ("3d6!", "bF"),
        ("1d20adv", "2d20k1"),
        ("1d20 dis", "2d20kl1"),
        ("4d6r1", "rerolls are not part of the language"),
        ("4d6ro1", "rerolls are not part of the language"),
        ("2d6 abc", None),
        ("2d6)", None),
        ("2d6 khaki", None),
        ("2d6 rabbit", None),
        ("2d6", None),
        ("{1, 2", None),
    ],
)
def test_hints_name_what_pipwerk_reads_instead(expression, hint):
    t = pipwerk_trace.trace(expression, seed=1)
    if hint is None:
        assert t.hints == ()
    else:
        assert len(t.hints) == 1 and hint in t.hints[0]


def test_pipwerk_gains_nothing():
    before = set(dir(pipwerk))
    t = pipwerk_trace.trace("4d6k3", seed=1)
    assert type(t.result) is type(pipwerk.roll("1"))
    assert set(dir(pipwerk)) == before
    assert not any("trace" in name.lower() for name in dir(pipwerk))


def test_nodes_and_dice_are_read_only_and_typed():
    t = pipwerk_trace.trace("-{4d6k3, 2} * 2#d4", seed=5)
    for node in nodes(t.root):
        assert type(node).__name__.lower().startswith(node.kind)
        with pytest.raises(AttributeError):
            node.start = 0
    die = t.dice[0].dice[0]
    with pytest.raises(AttributeError):
        die.value = 6
    for cls in (pipwerk_trace.Trace, pipwerk_trace.Die, type(t.root)):
        with pytest.raises(TypeError):
            cls()


def test_long_chains_are_walked_and_dropped_without_recursion():
    expression = "d6" + "+1" * 100_000
    t = pipwerk_trace.trace(expression, show_detail=False, seed=3)
    node = t.root
    depth = 0
    while node.kind == "binary":
        node = node.left
        depth += 1
    assert depth == 100_000 and node.kind == "dice"
    d = t.to_dict()
    assert d["nodes"][d["nodes"][d["root"]]["right"]]["value"] == 1.0
    del d, node, t


HUGE = "9" * 400  # read as a real: infinity


@pytest.mark.parametrize("expression", [HUGE, f"{HUGE} - {HUGE}", f"{{{HUGE}, 1, -{HUGE}}} * 0", f"2#(d6 * {HUGE})"])
def test_nan_and_infinities_are_none_in_the_dict_as_null_in_the_json(expression):
    t = pipwerk_trace.trace(expression, seed=1)
    d = t.to_dict()
    json.dumps(d, allow_nan=False)  # standard JSON: raises on a NaN or an infinity
    assert d == json.loads(t.to_json())
    assert t.root.to_dict() == d["nodes"][d["root"]]
    # The nodes keep the floats; the plain form has None where JSON has null.
    assert not math.isfinite(t.root.values[0]) and d["values"][0] is None


# A trace made after another was dropped may reuse the dropped one's storage:
# it must hold nothing of it, whichever was the larger.
def traced(expression, seed):
    try:
        return pipwerk_trace.trace(expression, seed=seed)
    except ValueError as error:
        return str(error)


def seen(t):
    return t if isinstance(t, str) else (t.to_dict(), [node.to_dict() for node in t.dice])


@settings(max_examples=200, deadline=None)
@given(st.lists(st.tuples(expressions, seeds), min_size=2, max_size=6))
def test_a_trace_keeps_nothing_of_one_dropped_before(pairs):
    held = [traced(e, s) for e, s in pairs]  # each made while the ones before it are alive
    expected = [seen(t) for t in held]
    del held
    for (e, s), want in zip(pairs, expected):
        pipwerk_trace.trace("{1, 2, 3} * 3#4d6b6 + 2d20kl1", seed=s)  # made and dropped at once
        assert seen(traced(e, s)) == want
