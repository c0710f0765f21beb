"""The interactive roller: `pipwerk` with no expression, driven in a real pseudo-terminal."""

import os
import shutil
import subprocess

import pytest

pexpect = pytest.importorskip("pexpect")

CLI = os.environ.get("PIPWERK_CLI") or shutil.which("pipwerk")
if not CLI:
    pytest.skip("pipwerk executable not found: set PIPWERK_CLI or put pipwerk on PATH", allow_module_level=True)

PROMPT = "pipwerk> "
UP, LEFT, HOME, END, DELETE = "\x1b[A", "\x1b[D", "\x1b[H", "\x1b[F", "\x1b[3~"


def seeded(seed, expression):
    """What the non-interactive roller prints for one seeded roll, as the terminal shows it."""
    out = subprocess.run([CLI, "--seed", str(seed), expression], capture_output=True, timeout=30).stdout.decode()
    return out.replace("\n", "\r\n")


@pytest.fixture
def table():
    """A session seeded 7, 8, 9, ... on a 24x80 xterm in a UTF-8 locale, with its first prompt read."""
    child = pexpect.spawn(CLI, ["--seed", "7"], env={"TERM": "xterm", "LANG": "C.UTF-8", "PATH": os.defpath}, dimensions=(24, 80),
                          timeout=10, encoding="utf-8")
    child.expect_exact(PROMPT)
    yield child
    child.close(force=True)


def answer(child, keys):
    """Types keys and returns what the screen showed up to the next prompt."""
    child.send(keys)
    child.expect_exact(PROMPT)
    return child.before


def test_empty_line_rolls_again_and_arrow_up_recalls(table):
    assert answer(table, "4d6k3\r") == "4d6k3\r\n" + seeded(7, "4d6k3")
    assert answer(table, "\r") == "\r\n" + seeded(8, "4d6k3")
    assert answer(table, "1d20\r").endswith(seeded(9, "1d20"))
    shown = answer(table, UP + UP + "\r")
    assert "4d6k3" in shown
    assert shown.endswith("\r\n" + seeded(10, "4d6k3"))


@pytest.mark.parametrize(
    "keys, expression",
    [
        ("d20" + LEFT * 3 + "2" + END + "+1\r", "2d20+1"),  # arrows and End
        ("d20" + HOME + "2\r", "2d20"),
        ("d20\x1bOH3\x1bOF-1\r", "3d20-1"),  # Home and End in the application keypad form
        ("d20\x013\x05*2\r", "3d20*2"),  # Ctrl-A, Ctrl-E
        ("2d6 + 3 junk\x17\r", "2d6 + 3"),  # Ctrl-W deletes the word before the cursor
        ("2d6 + 3 junk\x1b\x7f\r", "2d6 + 3"),  # and so does Alt-Backspace
        ("4d6k33\x7f\r", "4d6k3"),  # Backspace
        ("x4d8" + HOME + DELETE + "\r", "4d8"),
    ],
)
def test_line_editing(table, keys, expression):
    shown = answer(table, keys)
    assert shown.endswith("\r\n" + seeded(7, expression))
    assert "ignored" not in shown


@pytest.mark.parametrize(
    "line, shown",
    [
        ("1/0", "1/0\r\npipwerk: division by zero\r\n"),  # no empty line for a person
        ("5 x", "5 x\r\n5\r\npipwerk: ignored: x\r\n"),
        ("2 é€", "2 é€\r\n2\r\npipwerk: ignored: é€\r\n"),  # typed as characters in a UTF-8 locale
        ("5 \x16\x1b[2J", "5 ^[[2J\r\n5\r\npipwerk: ignored: \\x1b[2J\r\n"),  # Ctrl-V types a raw ESC
    ],
)
def test_messages_come_whole_before_the_next_prompt(table, line, shown):
    assert answer(table, line + "\r") == shown


def test_help_shows_the_expressions(table):
    shown = answer(table, "help\r")
    assert "Expressions:" in shown and "NdFkK" in shown and "256 levels" in shown
    assert answer(table, "\r") == "\r\n"  # help is not an expression to roll again


@pytest.mark.parametrize("ending", ["quit\r", "exit\r", "  quit  \r", "\x04"])
def test_session_ends(table, ending):
    answer(table, "1/0\r")  # a failed roll does not make the session fail
    table.send(ending)
    table.expect(pexpect.EOF)
    table.close()
    assert table.exitstatus == 0


def test_without_a_terminal_on_stdin_it_is_a_filter():
    child = pexpect.spawn("/bin/sh", ["-c", f"printf '2 + 3\\n1/0\\n4 x\\n' | '{CLI}'"], timeout=10, encoding="utf-8")
    child.expect(pexpect.EOF)
    child.close()
    assert PROMPT not in child.before
    assert child.before == "5\r\n\r\npipwerk: division by zero\r\n4\r\npipwerk: ignored: x\r\n"
    assert child.exitstatus == 1
