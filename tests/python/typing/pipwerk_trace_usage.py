"""Typical pipwerk_trace use, checked by mypy --strict against the stubs."""

import json

import pipwerk
import pipwerk_trace
from pipwerk_trace import DiceNode, Die, Node, Trace


def naturals(t: Trace) -> list[int]:
    return [die.value for term in t.dice for die in term.dice if term.faces == 20 and die.value in (1, 20)]


def total_of(node: Node) -> float:
    if node.kind == "binary":
        return total_of(node.left) + total_of(node.right)
    if node.kind == "negation":
        return -total_of(node.operand)
    value = node.value
    return 0.0 if value is None else value


def dropped(term: DiceNode) -> list[Die]:
    return [die for die in term.dice if not die.kept]


t: Trace = pipwerk_trace.trace("2d20k1 + 4d6k3", seed=42)
result: pipwerk.RollResult = t.result
seed: int = t.seed
hints: tuple[str, ...] = t.hints
text: str = json.dumps(t.to_dict())
root = t.root
if root is not None:
    span: tuple[int, int] = (root.start, root.end)
    index: int = root.index
    values: tuple[float, ...] = root.values
    total_of(root)
print(naturals(t), [dropped(term) for term in t.dice], result.full, seed, hints, text, t.to_json())
