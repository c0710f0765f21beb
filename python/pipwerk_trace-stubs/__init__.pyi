"""Pipwerk trace: every die behind a roll, the seed that replays it, and hints.

trace(expression, show_detail, seed) rolls as pipwerk.roll does and keeps the
tree of the expression as it was evaluated, with each dice term's dice."""

from typing import Any, Literal, SupportsIndex, TypeAlias, final

from pipwerk import RollResult

__all__ = [
    "Trace",
    "Die",
    "NumberNode",
    "DiceNode",
    "NegationNode",
    "BinaryNode",
    "SetNode",
    "RepetitionNode",
    "Node",
    "trace",
]

class _Node:
    @property
    def index(self) -> int:
        """The node's place in the trace's nodes, in evaluation order; the root is last."""
    @property
    def start(self) -> int:
        """Where the node's text starts in the consumed text."""
    @property
    def end(self) -> int:
        """Where the node's text ends (exclusive) in the consumed text."""
    @property
    def source(self) -> str:
        """The node's text: consumed[start:end]."""
    @property
    def is_set(self) -> bool:
        """Whether the node's value is a set."""
    @property
    def value(self) -> float | None:
        """The node's value; None when it is a set."""
    @property
    def values(self) -> tuple[float, ...]:
        """The node's values: its one value, or a set's elements."""
    def to_dict(self) -> dict[str, Any]:
        """This node's row of the trace's to_dict()["nodes"]: children by index."""

@final
class Die:
    """One die of a dice term."""

    @property
    def value(self) -> int:
        """The face the die shows."""
    @property
    def kept(self) -> bool:
        """Whether the die counts toward its term (False: dropped by a keep)."""
    @property
    def bonus(self) -> bool:
        """Whether a bonus added this die to the pool."""
    @property
    def earned_bonus(self) -> bool:
        """Whether the die met the bonus threshold and so added a die."""
    @property
    def success(self) -> bool | None:
        """Whether the die passes the comparison; None without one."""
    def to_dict(self) -> dict[str, Any]:
        """The die as a plain dict."""

@final
class NumberNode(_Node):
    """A number, as roll shows it."""

    @property
    def kind(self) -> Literal["number"]: ...
    @property
    def text(self) -> str:
        """The number as roll shows it."""

@final
class DiceNode(_Node):
    """A dice term: its count, faces and modifiers, its value and its dice."""

    @property
    def kind(self) -> Literal["dice"]: ...
    @property
    def count(self) -> int:
        """The number of dice rolled before any bonus."""
    @property
    def faces(self) -> int:
        """The faces of each die."""
    @property
    def bonus(self) -> int | None:
        """The bonus threshold, or None."""
    @property
    def keep(self) -> int | None:
        """How many dice are kept, or None."""
    @property
    def keep_lowest(self) -> bool:
        """Whether the lowest dice are kept (kl) rather than the highest."""
    @property
    def comparison(self) -> Literal[">", ">=", "<", "<=", "!="] | None:
        """The comparison operator, or None."""
    @property
    def threshold(self) -> int | None:
        """The comparison's threshold, or None."""
    @property
    def dice(self) -> tuple[Die, ...]:
        """The dice in the order rolled, bonus dice after the others."""

@final
class NegationNode(_Node):
    """A negation of its operand."""

    @property
    def kind(self) -> Literal["negation"]: ...
    @property
    def operand(self) -> Node:
        """The node negated."""

@final
class BinaryNode(_Node):
    """An operation of two operands."""

    @property
    def kind(self) -> Literal["binary"]: ...
    @property
    def op(self) -> Literal["+", "-", "*", "/"]:
        """The operator: '+', '-', '*' or '/'."""
    @property
    def left(self) -> Node:
        """The left operand."""
    @property
    def right(self) -> Node:
        """The right operand."""

@final
class SetNode(_Node):
    """A set written in braces, with its elements."""

    @property
    def kind(self) -> Literal["set"]: ...
    @property
    def elements(self) -> tuple[Node, ...]:
        """The set's elements."""

@final
class RepetitionNode(_Node):
    """A repetition N#body: one evaluation of the body per element."""

    @property
    def kind(self) -> Literal["repetition"]: ...
    @property
    def count(self) -> int:
        """How many times the body was evaluated."""
    @property
    def elements(self) -> tuple[Node, ...]:
        """One evaluation of the body per element."""

Node: TypeAlias = NumberNode | DiceNode | NegationNode | BinaryNode | SetNode | RepetitionNode

@final
class Trace:
    """A roll with every node and die behind it, as pipwerk_trace.trace returns it."""

    @property
    def result(self) -> RollResult:
        """The pipwerk.RollResult of this roll: pipwerk.roll(expression, show_detail, seed=seed)."""
    @property
    def seed(self) -> int:
        """The seed that replays this roll, also for an unseeded call."""
    @property
    def root(self) -> Node | None:
        """The root node of the tree, or None when nothing was parsed."""
    @property
    def hints(self) -> tuple[str, ...]:
        """Hints for a tail that starts with other dice rollers' notation."""
    @property
    def dice(self) -> tuple[DiceNode, ...]:
        """Every dice term in evaluation order, as a flat tuple of DiceNode."""
    def to_dict(self) -> dict[str, Any]:
        """The trace as plain dicts, lists, strs, numbers and None, ready for json.dumps:
        the tree as a flat table, nodes (children by index) and root. NaN and infinities are None."""
    def to_json(self) -> str:
        """The trace as one line of JSON, equal to to_dict() read back."""

def trace(expression: str, show_detail: bool = True, seed: SupportsIndex | None = None) -> Trace:
    """Rolls a pipwerk expression exactly as pipwerk.roll does, keeping every die."""
