"""The pipwerk_trace stub package agrees with the module and serves a strict type check."""

from pathlib import Path

import pytest

USAGE = Path(__file__).parent / "typing" / "trace_usage.py"


def test_usage_passes_mypy_strict(tmp_path):
    api = pytest.importorskip("mypy.api")
    stdout, stderr, status = api.run(["--strict", "--no-error-summary", "--cache-dir", str(tmp_path), str(USAGE)])
    assert status == 0, stdout + stderr


def test_stubs_match_the_runtime_module(tmp_path, monkeypatch):
    stubtest = pytest.importorskip("mypy.stubtest")
    monkeypatch.chdir(tmp_path)
    assert stubtest.test_stubs(stubtest.parse_options(["pipwerk_trace"])) == 0
