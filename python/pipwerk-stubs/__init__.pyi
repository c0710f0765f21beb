"""Pipwerk: dice expression parsing and evaluation engine.

A Python module providing dice expression parsing and evaluation
backed by a high-performance C++ implementation."""

from typing import SupportsIndex, final

__all__ = ["RollResult", "ParseOutput", "roll", "parse"]

@final
class RollResult:
    """The result of a roll operation."""

    @property
    def consumed(self) -> str:
        """The source text that was successfully consumed."""
    @property
    def tail(self) -> str:
        """The remaining unparsed text (tail)."""
    @property
    def summary(self) -> str:
        """The summary string (final result without detail), e.g. "14" or "{10, 11, 13}"."""
    @property
    def detail(self) -> str:
        """The detail string (roll details), e.g. "[5 + 3 + 1* + 6]"."""
    @property
    def full(self) -> str:
        """The full output combining detail and summary, e.g. "[5 + 3 + 1* + 6] = 14"."""
    @property
    def is_set(self) -> bool:
        """Whether this is a multi-result set."""
    @property
    def values(self) -> list[float]:
        """The numeric values of the result."""

@final
class ParseOutput:
    """The result of parsing (without rolling)."""

    @property
    def success(self) -> bool:
        """Whether parsing succeeded."""
    @property
    def consumed(self) -> str:
        """The source text that was successfully consumed."""
    @property
    def tail(self) -> str:
        """The remaining unparsed text (tail)."""

def roll(expression: str, show_detail: bool = True, seed: SupportsIndex | None = None) -> RollResult:
    """Parse and evaluate a pipwerk expression.

    This function combines parsing and evaluation into one step.
    It uses strtol-style fault-tolerant parsing: if the input contains
    invalid syntax, it parses as much as possible and returns the
    unparsed remainder as the ``tail``.

    Args:
        expression: The pipwerk expression string (e.g. "4d6k3").
        show_detail: Whether to show detailed roll results (default True).
        seed: Optional random seed for deterministic results (testing).

    Returns:
        RollResult with the evaluation results.

    Examples:
        >>> import pipwerk
        >>> result = pipwerk.roll("4d6k3")
        >>> print(result.full)
        [5 + 3 + 1* + 6] = 14
    """

def parse(expression: str) -> ParseOutput:
    """Parse a pipwerk expression without rolling.

    Returns the consumed portion and the remaining tail.
    Uses strtol-style fault-tolerant parsing.

    Args:
        expression: The pipwerk expression string.

    Returns:
        ParseOutput with the parsing results.

    Examples:
        >>> import pipwerk
        >>> result = pipwerk.parse("d20 + (d4+ test")
        >>> print(result.success)
        True
        >>> print(result.consumed)
        d20
    """
