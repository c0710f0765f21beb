"""Every public name of pipwerk used as a typed program would; checked with mypy --strict.

The lines marked with type: ignore are misuses the stubs must reject: under
--strict an ignore that is no longer needed is itself an error.
"""

import pipwerk
from pipwerk import ParseOutput, RollResult, parse, roll


class Seed:
    def __index__(self) -> int:
        return 3


def describe(result: RollResult) -> str:
    consumed: str = result.consumed
    tail: str = result.tail
    summary: str = result.summary
    detail: str = result.detail
    full: str = result.full
    is_set: bool = result.is_set
    values: list[float] = result.values
    return f"{consumed}|{tail}|{summary}|{detail}|{full}|{is_set}|{sum(values)}|{result}"


def outline(output: ParseOutput) -> tuple[bool, str, str]:
    return output.success, output.consumed, output.tail


def misuse(result: RollResult, output: ParseOutput) -> None:
    result.full = "changed"  # type: ignore[misc]
    output.success = False  # type: ignore[misc]
    roll(b"4d6")  # type: ignore[arg-type]
    roll("4d6", seed=1.5)  # type: ignore[arg-type]
    parse("4d6", seed=1)  # type: ignore[call-arg]


class Derived(RollResult):  # type: ignore[misc]
    pass


names: list[str] = pipwerk.__all__
print(describe(roll("4d6k3")))
print(describe(roll("4d6k3", show_detail=False, seed=42)))
print(describe(roll("d20", True, Seed())))
print(describe(pipwerk.roll(expression="d6", seed=None)))
print(outline(parse("d20 + (d4+ test")))
print(outline(pipwerk.parse(expression="2d6")))
