"""Pipwerk odds: exact probabilities and fast sampling of dice expressions.

odds(expression) gives the exact distribution of what pipwerk.roll returns
for the expression under a uniformly random seed; sample(expression, n, seed)
gives the values of n seeded rolls without building any text; compare(a, b)
gives the odds of a contest between two independent rolls."""

from array import array
from typing import SupportsFloat, SupportsIndex, final

__all__ = ["Odds", "odds", "sample", "Comparison", "compare"]

@final
class Odds:
    """The exact odds of a dice expression, as pipwerk_odds.odds returns them.

    outcomes, pmf, cdf, at_least and at_most give probabilities of the whole roll,
    so a roll that fails counts as giving no value; the statistics (mean, stdev,
    variance, min, max, median, mode, quantiles) describe the value given that the
    roll succeeds. A set expression has one Odds per element in elements, and its
    single-value attributes raise TypeError. When nothing was parsed, outcomes is
    empty and the statistics raise ValueError.
    """

    @property
    def consumed(self) -> str:
        """The source text that was successfully consumed."""
    @property
    def tail(self) -> str:
        """The remaining unparsed text (tail)."""
    @property
    def is_set(self) -> bool:
        """Whether the expression gives a set of values."""
    @property
    def elements(self) -> tuple[Odds, ...]:
        """The odds of each element of a set, in order, as a tuple; for a single value, (self,)."""
    @property
    def outcomes(self) -> tuple[tuple[float, float], ...]:
        """The (value, probability) pairs of every value the roll can give, in ascending value."""
    @property
    def errors(self) -> dict[str, float]:
        """The errors the roll can end with: a dict from message to probability."""
    @property
    def mean(self) -> float:
        """The mean of the value, given that the roll succeeds."""
    @property
    def stdev(self) -> float:
        """The standard deviation of the value, given that the roll succeeds."""
    @property
    def variance(self) -> float:
        """The variance of the value, given that the roll succeeds."""
    @property
    def min(self) -> float:
        """The smallest value a successful roll can give."""
    @property
    def max(self) -> float:
        """The largest value a successful roll can give."""
    @property
    def median(self) -> float:
        """The median of the value given success: the smallest v with P(value <= v) >= 1/2."""
    @property
    def mode(self) -> float:
        """The most likely value (the smallest of equally likely ones)."""
    def pmf(self, /, x: SupportsFloat | SupportsIndex) -> float:
        """The probability that the roll gives exactly x (a failing roll gives no value)."""
    def cdf(self, /, x: SupportsFloat | SupportsIndex) -> float:
        """The probability that the roll gives a value of at most x (as at_most)."""
    def at_most(self, /, x: SupportsFloat | SupportsIndex) -> float:
        """The probability that the roll gives a value of at most x."""
    def at_least(self, /, x: SupportsFloat | SupportsIndex) -> float:
        """The probability that the roll gives a value of at least x."""
    def quantiles(self, /, n: SupportsIndex = 4) -> list[float]:
        """The n - 1 cut points dividing the outcomes into n groups of equal probability,
        as statistics.quantiles names them: cut point i is the smallest value v with
        P(value <= v | the roll succeeds) >= i / n."""
    def histogram(self, /, width: SupportsIndex = 80, ascii: bool = False) -> str:
        """The picture `pipwerk --odds` prints: a header with the mean, the standard
        deviation and the range, then a row per outcome (or range of outcomes) with
        P(=), P(>=) and a bar, rows for the errors, and a block per element of a set
        (identical elements in a row share one block, marked x3 for three).
        width is the number of columns (40 to 1000); ascii draws the bars with '#'."""

def odds(expression: str) -> Odds:
    """The exact odds of every result a pipwerk expression can roll.

    The expression is parsed as pipwerk.roll parses it (the same consumed
    text and tail). The result holds, for a single value, the probability of
    every value the roll can give; for a set, one such distribution per
    element; and the probability of each error the roll can end with.

    Args:
        expression: The pipwerk expression string (e.g. "4d6k3").

    Returns:
        Odds with the distribution and its statistics.

    Raises:
        ValueError: when every roll fails (the roll's message), or when the
            exact computation is too large ("too large for exact odds: ...").

    Examples:
        >>> import pipwerk_odds
        >>> o = pipwerk_odds.odds("4d6k3")
        >>> round(o.mean, 4), round(o.at_least(15), 4)
        (12.2446, 0.2315)
    """

def sample(expression: str, n: SupportsIndex, seed: SupportsIndex | None = None) -> array[float]:
    """The values of n rolls of a pipwerk expression, without any text.

    Row i holds exactly pipwerk.roll(expression, seed=(seed + i) % 2**64).values:
    one value for a single-valued expression, k values for a set of k elements,
    row after row in one flat array. The expression is parsed once.

    Args:
        expression: The pipwerk expression string (e.g. "4d6k3").
        n: The number of rolls, from 0; at most 2**28 values in all.
        seed: Optional seed of the first roll (0 to 2**64 - 1); without it the
            first seed comes from the clock and the process id.

    Returns:
        array.array('d') of the values; empty when nothing was parsed.

    Raises:
        ValueError: with the message of the first roll that fails, or when
            the values would not fit the memory budget (before allocating).

    Examples:
        >>> import pipwerk_odds
        >>> list(pipwerk_odds.sample("4d6k3", 3, seed=42))
        [14.0, 11.0, 11.0]
    """

@final
class Comparison:
    """Two expressions rolled independently, A against B, as pipwerk_odds.compare
    returns them: greater, equal and less with both rolls succeeding, failure
    when either fails, and unordered for a NaN on either side. The five add
    up to 1.
    """

    @property
    def greater(self) -> float:
        """P(A > B), both rolls succeeding."""
    @property
    def equal(self) -> float:
        """P(A = B), both rolls succeeding."""
    @property
    def less(self) -> float:
        """P(A < B), both rolls succeeding."""
    @property
    def failure(self) -> float:
        """P(either roll fails)."""
    @property
    def unordered(self) -> float:
        """P(both succeed and either value is NaN): such pairs are neither greater, equal nor less."""

def compare(a: str, b: str) -> Comparison:
    """Who wins a contest: the exact odds of two expressions rolled independently.

    Each expression is parsed as pipwerk.roll parses it and must give a single
    value. The result gives P(a > b), P(a = b) and P(a < b) with both rolls
    succeeding, and the probability that either roll fails.

    Args:
        a: The first pipwerk expression (e.g. "1d20+5").
        b: The second pipwerk expression.

    Returns:
        Comparison with greater, equal, less, failure and unordered.

    Raises:
        ValueError: when either expression gives a set or parses nothing, or
            when the exact computation is too large ("too large for exact odds: ...").

    Examples:
        >>> import pipwerk_odds
        >>> c = pipwerk_odds.compare("1d6", "1d6")
        >>> round(c.greater, 4), round(c.equal, 4), round(c.less, 4)
        (0.4167, 0.1667, 0.4167)
    """
