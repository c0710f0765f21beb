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


PLAIN_NOTE = "pipwerk: line editing is off (PIPWERK_NO_LINE_EDITING is set)\r\n"


def spawn(*args, plain=False):
    """The CLI on a 24x80 xterm in a UTF-8 locale, with libedit or (plain) without."""
    env = {"TERM": "xterm", "LANG": "C.UTF-8", "PATH": os.defpath}
    if plain:
        env["PIPWERK_NO_LINE_EDITING"] = "1"
    return pexpect.spawn(CLI, list(args), env=env, dimensions=(24, 80), timeout=10, encoding="utf-8")


@pytest.fixture
def table():
    """A session seeded 7, 8, 9, ... with line editing, with its first prompt read."""
    child = spawn("--seed", "7")
    child.expect_exact(PROMPT)
    assert child.before == ""  # no note: the lines are edited
    yield child
    child.close(force=True)


@pytest.fixture(params=["editing", "plain"])
def either(request):
    """A session seeded 7, 8, 9, ... with libedit and with the plain prompt."""
    child = spawn("--seed", "7", plain=request.param == "plain")
    child.expect_exact(PROMPT)
    assert child.before == ("" if request.param == "editing" else PLAIN_NOTE)
    child.plain = request.param == "plain"
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


def test_a_message_at_the_prompt_quotes_the_line_safely():
    child = spawn("--odds", "--vs", "1d6", plain=True)
    child.expect_exact(PLAIN_NOTE + PROMPT)
    shown = answer(child, "\x1b[2J\u009b\u202e\r")
    # After the terminal's own echo of the typed line, only escapes.
    assert shown.split("\r\n", 1)[1] == 'pipwerk: cannot compare: nothing parsed in "\\x1b[2J\\u009b\\u202e"\r\n'
    child.close(force=True)


@pytest.mark.parametrize("asked", ["help", "Help", "?", "  ?  "])
def test_help_shows_the_expressions(either, asked):
    shown = answer(either, asked + "\r")
    assert "Expressions:" in shown and "NdFkK" in shown and "256 levels" in shown
    assert "pipwerk: ignored" not in shown
    assert answer(either, "\r") == "\r\n"  # help is not an expression to roll again


@pytest.mark.parametrize("ending", ["quit\r", "exit\r", "  quit  \r", "\x04"])
def test_session_ends(either, ending):
    answer(either, "1/0\r")  # a failed roll does not make the session fail
    either.send(ending)
    either.expect(pexpect.EOF)
    either.close()
    assert either.exitstatus == 0


def test_ctrl_c_drops_the_line_and_the_session_goes_on(either):
    assert answer(either, "4d6k3\r").endswith(seeded(7, "4d6k3"))
    shown = answer(either, "2d6 + 1\x03")
    assert shown.endswith("^C\r\n") and "=" not in shown  # nothing rolled, a fresh prompt
    # The dropped line took no seed, and the session still rolls.
    assert answer(either, "1d20\r").endswith(seeded(8, "1d20"))
    assert answer(either, "\x03") .endswith("^C\r\n")  # also on an empty line
    assert answer(either, "\r").endswith(seeded(9, "1d20"))  # the previous expression is kept
    if not either.plain:
        # The history lives on: arrow up twice recalls the line before the last.
        assert answer(either, UP + UP + "\r").endswith(seeded(10, "4d6k3"))
    either.send("\x04")
    either.expect(pexpect.EOF)
    either.close()
    assert (either.exitstatus, either.signalstatus) == (0, None)


def test_plain_prompt_has_the_terminal_s_own_editing():
    child = spawn("--seed", "7", plain=True)
    child.expect_exact(PLAIN_NOTE + PROMPT)
    # Backspace and Ctrl-U work in the terminal's line discipline...
    assert answer(child, "4d6k33\x7f\r").endswith(seeded(7, "4d6k3"))
    assert answer(child, "junk\x15" + "2d6\r").endswith(seeded(8, "2d6"))
    # ...but arrow keys reach the roller as text: ignored, and escaped when echoed.
    shown = answer(child, "5" + UP + "\r")
    assert "pipwerk: ignored: \\x1b[A" in shown
    child.close(force=True)


@pytest.mark.parametrize("plain", [False, True])
def test_odds_at_a_terminal_gets_the_prompt(plain):
    child = spawn("--odds", "--ascii", plain=plain)
    child.expect_exact(PROMPT)
    picture = subprocess.run([CLI, "--odds", "--ascii", "2d6"], capture_output=True, timeout=30,
                             env={"COLUMNS": "80"}).stdout.decode().replace("\n", "\r\n")
    assert answer(child, "2d6\r") == "2d6\r\n" + picture
    assert answer(child, "\r") == "\r\n" + picture  # an empty line answers the last again
    assert answer(child, "1/0\r") == "1/0\r\npipwerk: division by zero\r\n"
    assert "Expressions:" in answer(child, "?\r")
    child.send("quit\r")
    child.expect(pexpect.EOF)
    child.close()
    assert child.exitstatus == 0


def test_without_a_terminal_on_stdin_it_is_a_filter():
    child = pexpect.spawn("/bin/sh", ["-c", f"printf '2 + 3\\n1/0\\n4 x\\n' | '{CLI}'"], timeout=10, encoding="utf-8")
    child.expect(pexpect.EOF)
    child.close()
    assert PROMPT not in child.before
    assert child.before == "5\r\n\r\npipwerk: division by zero\r\n4\r\npipwerk: ignored: x\r\n"
    assert child.exitstatus == 1
