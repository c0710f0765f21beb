"""Every public name of pipwerk_odds used as a typed program would; checked with mypy --strict.

The lines marked with type: ignore are misuses the stubs must reject: under
--strict an ignore that is no longer needed is itself an error.
"""

from array import array

import pipwerk_odds
from pipwerk_odds import Comparison, Odds, compare, odds, sample


def describe(o: Odds) -> str:
    consumed: str = o.consumed
    tail: str = o.tail
    is_set: bool = o.is_set
    elements: tuple[Odds, ...] = o.elements
    outcomes: tuple[tuple[float, float], ...] = o.outcomes
    errors: dict[str, float] = o.errors
    figures: list[float] = [o.mean, o.stdev, o.variance, o.min, o.max, o.median, o.mode]
    chances: list[float] = [o.pmf(3), o.cdf(3.5), o.at_least(True), o.at_most(x=4)]
    cuts: list[float] = o.quantiles() + o.quantiles(n=10)
    picture: str = o.histogram() + o.histogram(width=60, ascii=True)
    return f"{consumed}{tail}{is_set}{len(elements)}{outcomes}{errors}{figures}{chances}{cuts}{picture}"


def draw(expression: str) -> float:
    values: array[float] = sample(expression, 100, seed=3)
    unseeded: array[float] = pipwerk_odds.sample(expression=expression, n=10)
    return sum(values) + sum(unseeded)


def contest(a: str, b: str) -> float:
    c: Comparison = compare(a, b)
    by_name: Comparison = pipwerk_odds.compare(a=a, b=b)
    figures: list[float] = [c.greater, c.equal, c.less, c.failure, c.unordered, by_name.greater]
    return sum(figures)


def misuse(o: Odds) -> None:
    compare("1d6", "1d8").greater = 1.0  # type: ignore[misc]
    compare("1d6")  # type: ignore[call-arg]
    compare(b"1d6", "1d8")  # type: ignore[arg-type]
    o.mean = 1.0  # type: ignore[misc]
    odds(b"4d6")  # type: ignore[arg-type]
    sample("4d6", 1.5)  # type: ignore[arg-type]
    o.pmf("3")  # type: ignore[arg-type]
    o.histogram(ascii=1)  # type: ignore[arg-type]


class Derived(Odds):  # type: ignore[misc]
    pass


names: list[str] = pipwerk_odds.__all__
print(describe(odds("4d6k3")), draw("3#d6"))
