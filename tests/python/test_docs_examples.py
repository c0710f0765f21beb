"""Every example in README.md and docs/ runs and prints what its page shows.

One test per runnable block, named by its page and line. The second half
checks the runner itself: a drifted example must fail, a right one pass.
"""

import os
import subprocess
import sys

import pytest

import pipwerk
from doc_examples import (
    CI, ROOT, RUN, Block, ExampleFailure, cli_path, collect, console_steps, find_blocks, run_block, wasm_build,
)

BLOCKS = [block for block in collect() if block.problem or block.language in RUN]


def test_the_pages_have_examples():
    # A runner that finds nothing would pass every page unseen.
    pages = {block.path.name for block in BLOCKS}
    assert {"README.md", "language.md", "python.md"} <= pages, pages


def test_readme_is_a_front_door():
    # The README introduces and links; the details live in docs/.
    lines = (ROOT / "README.md").read_text(encoding="utf-8").count("\n")
    assert lines <= 200, f"README.md has {lines} lines; move details into docs/"


@pytest.mark.parametrize("block", BLOCKS, ids=[block.id for block in BLOCKS])
def test_example(block):
    if block.skip is not None and not block.problem:
        pytest.skip(f"marked on the page: {block.skip}")
    cli = cli_path()
    if block.language == "console" and cli is None:
        missing = "pipwerk executable not found: set PIPWERK_CLI or put pipwerk on PATH (pip install .)"
        # On CI a missing executable means the pages went unchecked: fail, never skip.
        if CI:
            pytest.fail(missing, pytrace=False)
        pytest.skip(missing)
    if block.language == "js" and wasm_build() is None:
        pytest.skip("the wasm build is absent (no js/**/*.wasm): build the JavaScript package to run it")
    run_block(block, cli)


# --- the runner itself -------------------------------------------------------

FENCE = "```"


def page(*parts):
    return "\n".join(parts) + "\n"


def block_of(text, tmp_path):
    blocks = find_blocks(text, tmp_path / "page.md")
    assert len(blocks) == 1, blocks
    return blocks[0]


def seeded_full(expression, seed):
    # From the module, not the CLI: the runner's check of the CLI's output is
    # then compared with a result reached another way.
    return pipwerk.roll(expression, seed=seed).full


def with_cli():
    cli = cli_path()
    if cli is None:
        if CI:
            pytest.fail("pipwerk executable not found", pytrace=False)
        pytest.skip("pipwerk executable not found")
    return cli


RIGHT = [
    ("console", lambda: page(f"{FENCE}console", "$ echo one; echo two", "one", "two", FENCE)),
    ("console, two commands", lambda: page(f"{FENCE}console", "$ echo a", "a", "$ true", "$ echo b", "b", FENCE)),
    ("console, continued line", lambda: page(f"{FENCE}console", "$ echo a \\", "  b", "a b", FENCE)),
    ("console, pipwerk", lambda: page(
        f"{FENCE}console", "$ pipwerk --seed 42 4d6k3", seeded_full("4d6k3", 42), FENCE)),
    ("console, standard error in order", lambda: page(
        f"{FENCE}console", "$ echo out; echo err >&2; echo out2", "out", "err", "out2", FENCE)),
    ("pycon", lambda: page(
        f"{FENCE}pycon", ">>> import pipwerk", ">>> pipwerk.roll('4d6k3', seed=42).full",
        repr(seeded_full("4d6k3", 42)), FENCE)),
    ("pycon, exception", lambda: page(
        f"{FENCE}pycon", ">>> 1 / 0", "Traceback (most recent call last):", "  ...",
        "ZeroDivisionError: division by zero", FENCE)),
    ("python", lambda: page(f"{FENCE}python", "import pipwerk", "assert pipwerk.parse('4d6').success", FENCE)),
]

DRIFTED = [
    ("console, other output", lambda: page(
        f"{FENCE}console", "$ pipwerk --seed 42 4d6k3", seeded_full("4d6k3", 43), FENCE), "the page shows"),
    ("console, a line too few", lambda: page(f"{FENCE}console", "$ echo one; echo two", "one", FENCE), "two"),
    ("console, a line too many", lambda: page(f"{FENCE}console", "$ echo one", "one", "", FENCE), "one"),
    ("console, output of the wrong command", lambda: page(
        f"{FENCE}console", "$ echo a", "$ echo b", "a", "b", FENCE), "echo a"),
    ("console, standard error left out", lambda: page(
        f"{FENCE}console", "$ echo out; echo err >&2", "out", FENCE), "err"),
    ("pycon, other value", lambda: page(f"{FENCE}pycon", ">>> 1 + 1", "3", FENCE), "1 of 1 examples differ"),
    ("pycon, missing exception", lambda: page(
        f"{FENCE}pycon", ">>> import pipwerk", ">>> pipwerk.roll('1/2').full", "Traceback (most recent call last):",
        "  ...", "ValueError: division by zero", FENCE), "examples differ"),
    ("python, failing assert", lambda: page(
        f"{FENCE}python", "import pipwerk", "assert pipwerk.roll('2+2').values == [5.0]", FENCE), "AssertionError"),
    ("python, error", lambda: page(f"{FENCE}python", "import pipwerk", "pipwerk.roll('1/0')", FENCE),
     "ValueError: division by zero"),
]

# Faults of a page: the block is refused before anything runs.
FAULTY = [
    ("bash session", page(f"{FENCE}bash", "$ pipwerk 4d6", "[1 + 2 + 3 + 4] = 10", FENCE), "looks runnable"),
    ("shell alias", page(f"{FENCE}shell", "pipwerk 4d6", FENCE), "looks runnable"),
    ("untagged session", page(FENCE, "$ pipwerk 4d6", FENCE), "no language"),
    ("untagged doctest", page(FENCE, ">>> import pipwerk", FENCE), "no language"),
    ("py alias", page(f"{FENCE}py", "print(1)", FENCE), "looks runnable"),
    ("skip without a reason", page("<!-- example: skip -->", f"{FENCE}console", "$ date", FENCE), "reason"),
    ("skip mark away from a fence", page("<!-- example: skip (clock) -->", "", f"{FENCE}text", "x", FENCE),
     "not followed by a fence"),
    ("unclosed fence", page(f"{FENCE}console", "$ echo a", "a"), "never closed"),
    ("console without a command", page(f"{FENCE}console", "just text", FENCE), "without a"),
    ("session written as python", page(f"{FENCE}python", ">>> 1 + 1", "2", FENCE), "write it as pycon"),
    ("pycon without a prompt", page(f"{FENCE}pycon", "1 + 1", FENCE), "without a"),
]


@pytest.mark.parametrize("name, make", RIGHT, ids=[case[0] for case in RIGHT])
def test_runner_passes_a_right_example(tmp_path, name, make):
    text = make()
    block = block_of(text, tmp_path)
    assert block.problem is None and block.skip is None
    run_block(block, with_cli() if block.language == "console" else None)


@pytest.mark.parametrize("name, make, hint", DRIFTED, ids=[case[0] for case in DRIFTED])
def test_runner_catches_a_drifted_example(tmp_path, name, make, hint):
    text = make()
    block = block_of(text, tmp_path)
    assert block.problem is None
    with pytest.raises(ExampleFailure) as failure:
        run_block(block, with_cli() if block.language == "console" else None)
    assert hint in str(failure.value)
    assert "page.md:1" in str(failure.value)


@pytest.mark.parametrize("name, text, hint", FAULTY, ids=[case[0] for case in FAULTY])
def test_runner_refuses_a_faulty_page(tmp_path, name, text, hint):
    blocks = find_blocks(text, tmp_path / "page.md")
    faults = [block for block in blocks if block.problem]
    assert len(faults) == 1 and hint in faults[0].problem, blocks
    with pytest.raises(ExampleFailure, match=hint):
        run_block(faults[0])


@pytest.mark.parametrize(
    "text, expected",
    [
        # (language, first line, skip reason) of each block; shown blocks are found too
        (page("# t", "", f"{FENCE}text", "$ a picture", FENCE, "", f"{FENCE}sh", "pip install .", FENCE),
         [("text", 3, None), ("sh", 7, None)]),
        (page("<!-- example: skip (the clock) -->", f"{FENCE}console", "$ date", FENCE),
         [("console", 2, "the clock")]),
        (page("1. a step", "", "   ```pycon", "   >>> 1 + 1", "   2", "   ```", "", "````text", "```", "````"),
         [("pycon", 3, None), ("text", 8, None)]),
        (page("~~~cpp", "```", "~~~", f"{FENCE}python {{.extra}}", "pass", FENCE),
         [("cpp", 1, None), ("python", 4, None)]),
    ],
)
def test_runner_finds_blocks_where_they_start(tmp_path, text, expected):
    blocks = find_blocks(text, tmp_path / "page.md")
    assert [(b.language, b.line, b.skip) for b in blocks] == expected
    assert not any(b.problem for b in blocks)


def test_indented_doctest_loses_its_list_indent(tmp_path):
    block = find_blocks(page("- item", "", "  ```pycon", "  >>> 2 * 3", "  6", "  ```"), tmp_path / "p.md")[0]
    assert block.body == ">>> 2 * 3\n6\n"
    run_block(block)


@pytest.mark.parametrize(
    "body, steps",
    [
        ("$ a\nA\n$ b\n", [("a", "A\n"), ("b", "")]),
        ("$ a\n\nA\n\n", [("a", "\nA\n\n")]),
        ("$ a \\\nb\nB\n", [("a \\\nb", "B\n")]),
    ],
)
def test_console_steps(body, steps):
    assert console_steps(body) == steps


def test_console_output_before_any_command_is_refused():
    with pytest.raises(ExampleFailure, match="before the first command"):
        console_steps("A\n$ a\n")


def test_js_example_needs_node_or_skips_without_the_build(tmp_path):
    # Without a built js/ package the runner must not claim a pass: the docs
    # test skips with its reason (checked here through the same predicate).
    assert wasm_build(tmp_path) is None
    built = tmp_path / "js" / "dist"
    built.mkdir(parents=True)
    (built / "pipwerk.wasm").write_bytes(b"\0asm")
    assert wasm_build(tmp_path) == built / "pipwerk.wasm"
    ignored = tmp_path / "other"
    (ignored / "js" / "node_modules" / "x").mkdir(parents=True)
    (ignored / "js" / "node_modules" / "x" / "a.wasm").write_bytes(b"")
    assert wasm_build(ignored) is None


def test_block_ids_name_page_and_line(tmp_path):
    block = Block(ROOT / "docs" / "language.md", 12, "console", "")
    assert block.id == "docs/language.md:12"


@pytest.mark.parametrize(
    "ci, outcome",
    [
        ("true", "1 failed"),  # on CI the pages must not go unchecked
        ("", "1 skipped"),
        ("false", "1 skipped"),
    ],
)
def test_missing_cli_fails_only_on_ci(tmp_path, ci, outcome):
    first = next(block for block in BLOCKS if block.language == "console" and not block.skip)
    env = {k: v for k, v in os.environ.items() if k not in ("CI", "PIPWERK_CLI")}
    env.update(CI=ci, PATH=str(tmp_path))  # no pipwerk there
    proc = subprocess.run(
        [sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-rs", __file__, "-k", f"test_example and {first.id}"],
        cwd=ROOT, env=env, capture_output=True, text=True, timeout=120,
    )
    assert outcome in proc.stdout, proc.stdout + proc.stderr
    assert "pipwerk executable not found" in proc.stdout
