"""Finds the examples in Markdown pages and runs them.

Every fenced block is an example of one kind, by its language:

- console: each line starting with "$ " is a command run with bash, with the
  installed `pipwerk` first on PATH; the lines up to the next "$ " or the end
  of the block are the exact output (standard output and standard error
  through one pipe, as a terminal shows them).
- pycon: a doctest, compared exactly.
- python: a script that must exit with status 0 (its checks are asserts).
- js: an ES module run by node from the repository root; it must exit 0.
- sh, cpp, text, cmake: shown, not run (install and build commands, code
  fragments, pictures).

`<!-- example: skip (reason) -->` on the line just above a fence skips that
block. A block in any other language (or none) that looks like a session or
a program is a fault of the page, so no example escapes the runner unseen.
"""

from __future__ import annotations

import doctest
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]

RUN = ("console", "pycon", "python", "js")
SHOWN = ("sh", "cpp", "text", "cmake")
# Languages that name a runnable kind under another name: writing one of them
# would hide the example from the runner.
RUNNABLE_ALIASES = frozenset(
    "bash shell shell-session sh-session zsh console-session py python3 py3 ipython pyconsole "
    "javascript mjs node nodejs ts typescript doctest".split()
)
SKIP_MARK = re.compile(r"^\s*<!--\s*example:\s*skip\s*(?:\((?P<reason>.*)\))?\s*-->\s*$")
FENCE_OPEN = re.compile(r"^(?P<indent>\s*)(?P<fence>`{3,}|~{3,})(?P<info>[^`]*)$")
# A line of a session or a program that a reader would take for runnable.
LOOKS_RUNNABLE = re.compile(r"^(\$ |>>> |import |from \S+ import )")

CI = os.environ.get("CI", "").strip().lower() not in ("", "0", "false")
COMMAND_TIMEOUT = 120


class ExampleFailure(AssertionError):
    """An example printed something else than its page shows, or failed."""


@dataclass(frozen=True)
class Block:
    path: Path
    line: int  # the line of the opening fence, counting from 1
    language: str
    body: str
    skip: str | None = None  # the reason, when the page marks the block skipped
    problem: str | None = None  # a fault of the page itself

    @property
    def id(self) -> str:
        try:
            name = self.path.relative_to(ROOT)
        except ValueError:
            name = self.path.name
        return f"{name}:{self.line}"


def doc_pages(root: Path = ROOT) -> list[Path]:
    """README.md and every page of docs/."""
    return [root / "README.md", *sorted((root / "docs").glob("*.md"))]


def find_blocks(text: str, path: Path) -> list[Block]:
    """Every fenced block of a Markdown text, in order, with its faults."""
    lines = text.split("\n")
    blocks: list[Block] = []
    i = 0
    while i < len(lines):
        opened = FENCE_OPEN.match(lines[i])
        if not opened:
            mark = SKIP_MARK.match(lines[i])
            if mark and not (i + 1 < len(lines) and FENCE_OPEN.match(lines[i + 1])):
                blocks.append(Block(path, i + 1, "", "", problem="a skip mark not followed by a fence"))
            i += 1
            continue
        indent, fence = opened["indent"], opened["fence"]
        language = opened["info"].strip().split(" ")[0].lower() if opened["info"].strip() else ""
        start = i
        body: list[str] = []
        i += 1
        closing = re.compile(rf"^\s*{re.escape(fence[0])}{{{len(fence)},}}\s*$")
        while i < len(lines) and not closing.match(lines[i]):
            line = lines[i]
            body.append(line[len(indent):] if line.startswith(indent) else line.lstrip())
            i += 1
        closed = i < len(lines)
        i += 1
        skip = None
        problem = None
        mark = SKIP_MARK.match(lines[start - 1]) if start > 0 else None
        if mark:
            skip = (mark["reason"] or "").strip()
            if not skip:
                problem = "a skip mark needs its reason: <!-- example: skip (why) -->"
        if not closed:
            problem = "the fence is never closed"
        elif language not in RUN + SHOWN and (
            language in RUNNABLE_ALIASES or any(LOOKS_RUNNABLE.match(line) for line in body)
        ):
            problem = (
                f"a block in {language or 'no language'!r} looks runnable: write it as "
                f"{', '.join(RUN)} (to be run) or as {', '.join(SHOWN)} (to be shown)"
            )
        elif language == "console" and not any(line.startswith("$ ") for line in body):
            problem = 'a console block without a "$ " command'
        elif language == "python" and any(line.startswith(">>> ") for line in body):
            problem = 'a python block holding a ">>> " session: write it as pycon'
        elif language == "pycon" and not any(line.lstrip().startswith(">>> ") for line in body):
            problem = 'a pycon block without a ">>> " line'
        blocks.append(Block(path, start + 1, language, "\n".join(body) + "\n", skip, problem))
    return blocks


def collect(root: Path = ROOT) -> list[Block]:
    blocks: list[Block] = []
    for page in doc_pages(root):
        if not page.is_file():
            blocks.append(Block(page, 0, "", "", problem="the page is missing"))
            continue
        blocks.extend(find_blocks(page.read_text(encoding="utf-8"), page))
    return blocks


# --- console ----------------------------------------------------------------


def console_steps(body: str) -> list[tuple[str, str]]:
    """(command, expected output) pairs of a console block. A command line
    ending in a backslash goes on in the next line, as in bash."""
    steps: list[tuple[str, list[str]]] = []
    lines = body.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("$ "):
            command = line[2:]
            while command.endswith("\\") and i + 1 < len(lines):
                i += 1
                command = command + "\n" + lines[i]
            steps.append((command, []))
        elif steps:
            steps[-1][1].append(line)
        else:
            raise ExampleFailure(f"output before the first command: {line!r}")
        i += 1
    return [(command, "".join(out + "\n" for out in output)) for command, output in steps]


def cli_path() -> str | None:
    return os.environ.get("PIPWERK_CLI") or shutil.which("pipwerk")


def console_env(bin_dir: Path) -> dict[str, str]:
    """The environment of a console command: `pipwerk` and `python` first on
    PATH, and nothing of the terminal that would change the output."""
    env = {k: v for k, v in os.environ.items() if k not in ("COLUMNS", "LINES", "PIPWERK_CLI")}
    env["PATH"] = f"{bin_dir}{os.pathsep}{env.get('PATH', '')}"
    env["PYTHONIOENCODING"] = "utf-8"
    return env


def run_console(block: Block, cli: str) -> None:
    with tempfile.TemporaryDirectory() as scratch:
        bin_dir = Path(scratch) / "bin"
        bin_dir.mkdir()
        (bin_dir / "pipwerk").symlink_to(Path(cli).resolve())
        for name in ("python", "python3"):
            (bin_dir / name).symlink_to(sys.executable)
        work = Path(scratch) / "work"
        work.mkdir()
        for command, expected in console_steps(block.body):
            proc = subprocess.run(
                ["bash", "-c", command], cwd=work, env=console_env(bin_dir), stdin=subprocess.DEVNULL,
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=COMMAND_TIMEOUT,
            )
            actual = proc.stdout.decode("utf-8", errors="backslashreplace")
            if actual != expected:
                raise ExampleFailure(
                    f"{block.id}: $ {command}\n--- the page shows:\n{expected}--- it printed "
                    f"(exit status {proc.returncode}):\n{actual}"
                )


# --- pycon, python, js ------------------------------------------------------


def run_pycon(block: Block) -> None:
    test = doctest.DocTestParser().get_doctest(block.body, {}, block.id, str(block.path), block.line)
    report = io.StringIO()
    runner = doctest.DocTestRunner(verbose=False, optionflags=0)
    result = runner.run(test, out=report.write, clear_globs=True)
    if result.attempted == 0:
        raise ExampleFailure(f"{block.id}: no example in the block")
    if result.failed:
        raise ExampleFailure(f"{block.id}: {result.failed} of {result.attempted} examples differ\n{report.getvalue()}")


def run_python(block: Block) -> None:
    with tempfile.TemporaryDirectory() as scratch:
        proc = subprocess.run(
            [sys.executable, "-c", block.body], cwd=scratch, capture_output=True, text=True,
            timeout=COMMAND_TIMEOUT,
        )
    if proc.returncode != 0:
        raise ExampleFailure(f"{block.id}: exit status {proc.returncode}\n{proc.stdout}{proc.stderr}")


def wasm_build(root: Path = ROOT) -> Path | None:
    """The compiled engine of the JavaScript package, when it has been built."""
    found = [p for p in (root / "js").rglob("*.wasm") if "node_modules" not in p.parts] if (root / "js").is_dir() else []
    return found[0] if found else None


def run_js(block: Block, root: Path = ROOT) -> None:
    node = shutil.which("node")
    if node is None:
        raise ExampleFailure(f"{block.id}: node is not on PATH, but the wasm build is there to run it with")
    # Code from standard input resolves "./js/..." against the working directory.
    proc = subprocess.run(
        [node, "--input-type=module"], input=block.body, cwd=root, capture_output=True, text=True,
        timeout=COMMAND_TIMEOUT,
    )
    if proc.returncode != 0:
        raise ExampleFailure(f"{block.id}: exit status {proc.returncode}\n{proc.stdout}{proc.stderr}")


def run_block(block: Block, cli: str | None = None) -> None:
    """Runs one example; raises ExampleFailure when it differs from its page."""
    if block.problem:
        raise ExampleFailure(f"{block.id}: {block.problem}")
    if block.language == "console":
        if cli is None:
            raise ExampleFailure(f"{block.id}: no pipwerk executable to run it with")
        run_console(block, cli)
    elif block.language == "pycon":
        run_pycon(block)
    elif block.language == "python":
        run_python(block)
    elif block.language == "js":
        run_js(block)
