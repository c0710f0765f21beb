"""Each module's stub package agrees with the module and serves a strict type check."""

from pathlib import Path

import pytest

MODULES = ["pipwerk", "pipwerk_odds", "pipwerk_trace"]
USAGE = Path(__file__).parent / "typing"


@pytest.mark.parametrize("module", MODULES)
def test_usage_passes_mypy_strict(module, tmp_path):
    api = pytest.importorskip("mypy.api")
    usage = USAGE / f"{module}_usage.py"
    stdout, stderr, status = api.run(["--strict", "--no-error-summary", "--cache-dir", str(tmp_path), str(usage)])
    assert status == 0, stdout + stderr


@pytest.mark.parametrize("module", MODULES)
def test_stubs_match_the_runtime_module(module, tmp_path, monkeypatch):
    stubtest = pytest.importorskip("mypy.stubtest")
    monkeypatch.chdir(tmp_path)
    assert stubtest.test_stubs(stubtest.parse_options([module])) == 0
