"""What changes when the suites run on CI: the Hypothesis profile, and a missing
CLI executable, which fails the run there instead of skipping the CLI tests.

Each case runs pytest in a subprocess with a chosen environment.
"""

import os
import subprocess
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent

PROFILE_PROBE = """
from hypothesis import settings

def test_report_profile():
    current = settings.default
    print(f"PROFILE derandomize={current.derandomize} database={current.database is not None}")
"""


def run_pytest(args, ci, cwd, **extra_env):
    env = {k: v for k, v in os.environ.items() if k not in ("CI", "PIPWERK_CLI", "HYPOTHESIS_PROFILE")}
    if ci is not None:
        env["CI"] = ci
    env.update(extra_env)
    proc = subprocess.run(
        [sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-s", "-rs", *args],
        cwd=cwd, env=env, capture_output=True, text=True, timeout=120,
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
    (tmp_path / "test_probe.py").write_text(PROFILE_PROBE)
    # The suites' conftest is loaded as a plugin into a run of the probe alone.
    status, out = run_pytest(["-p", "conftest", "test_probe.py"], ci, tmp_path, PYTHONPATH=str(HERE))
    assert status == 0, out
    assert f"PROFILE derandomize={derandomized} database={with_database}" in out


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
