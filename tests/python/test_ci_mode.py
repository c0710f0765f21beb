"""What changes when the suites run on CI: the Hypothesis profile, and a missing
CLI executable, which fails the run there instead of skipping the CLI tests.

Each case runs in a subprocess with a chosen environment.
"""

import os
import subprocess
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent

# Importing the suites' conftest applies its profile choice.
PROFILE_PROBE = """
import conftest
from hypothesis import settings
print(f"PROFILE derandomize={settings.default.derandomize} database={settings.default.database is not None}")
"""


def clean_env(ci, **extra):
    env = {k: v for k, v in os.environ.items() if k not in ("CI", "PIPWERK_CLI", "HYPOTHESIS_PROFILE")}
    if ci is not None:
        env["CI"] = ci
    env.update(extra)
    return env


def run_pytest(args, ci, cwd, **extra_env):
    proc = subprocess.run(
        [sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-rs", *args],
        cwd=cwd, env=clean_env(ci, **extra_env), capture_output=True, text=True, timeout=120,
    )
    return proc.returncode, proc.stdout + proc.stderr


@pytest.mark.parametrize(
    "ci, derandomized, with_database",
    [
        ("true", True, False),
        (None, False, True),
        ("", False, True),
        ("false", False, True),
    ],
)
def test_hypothesis_profile_follows_ci(tmp_path, ci, derandomized, with_database):
    # In a directory of its own: the example database lives in the working directory.
    proc = subprocess.run(
        [sys.executable, "-c", PROFILE_PROBE],
        cwd=tmp_path, env=clean_env(ci, PYTHONPATH=str(HERE)), capture_output=True, text=True, timeout=60,
    )
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout == f"PROFILE derandomize={derandomized} database={with_database}\n"


@pytest.mark.parametrize(
    "ci, status, outcome",
    [
        ("true", 2, "pipwerk executable not found"),  # a collection error fails the run
        (None, 5, "SKIPPED"),  # 5: every test skipped, none ran
        ("false", 5, "SKIPPED"),
    ],
)
def test_missing_cli_fails_only_on_ci(tmp_path, ci, status, outcome):
    # No pipwerk on this PATH; the interpreter is named by its full path.
    empty_bin = tmp_path / "bin"
    empty_bin.mkdir()
    code, out = run_pytest([str(HERE / "test_cli.py")], ci, HERE, PATH=str(empty_bin))
    assert code == status, out
    assert outcome in out
