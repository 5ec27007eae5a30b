"""The example scripts run against the virtual board and write what they promise."""
import csv
import os
import subprocess
import sys

import evkit714

EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "python")


def run_example(name, *args):
    return subprocess.run([sys.executable, os.path.join(EXAMPLES, name), *map(str, args)],
                          capture_output=True, text=True, timeout=300)


def test_fft_sweep_writes_one_row_per_window_and_average(tmp_path):
    out = tmp_path / "sweep.csv"
    r = run_example("fft_sweep.py", "--samples", 1024, "--averages", "1,3", "--windows", "2,4",
                    "--csv", out)
    assert r.returncode == 0, r.stderr
    rows = list(csv.DictReader(out.open()))
    assert [(row["window"], row["average"]) for row in rows] == [
        ("2", "1"), ("2", "3"), ("4", "1"), ("4", "3")]
    with evkit714.open("sim") as board:
        board.identify()  # as the script does before its sweep
        s = board.fft(1, 1024, average=1, window=2)
    assert rows[0]["SINAD"] == f"{s.sinad:.6f}"


def test_monitor_log_writes_every_update(tmp_path):
    out = tmp_path / "log.csv"
    r = run_example("monitor_log.py", "--count", 2, "--updates", 3, "--csv", out)
    assert r.returncode == 0, r.stderr
    rows = list(csv.DictReader(out.open()))
    assert [row["update"] for row in rows] == ["1", "2", "3"]
    assert all(float(row["V1RMS"]) > 0 and row["V1RMS_AVG"] for row in rows)


def test_register_round_trip_example(tmp_path):
    path = tmp_path / "regs.rsf"
    r = run_example("register_roundtrip.py", "--file", path)
    assert r.returncode == 0, r.stdout + r.stderr
    assert r.stdout.strip() == "round trip ok"
    assert path.read_text().startswith("EVKIT714_REGISTERS")


def test_the_notebook_runs_headless_and_shows_each_step(monkeypatch):
    nbclient = __import__("pytest").importorskip("nbclient")
    import nbformat
    nb = nbformat.read(os.path.join(EXAMPLES, "board_tour.ipynb"), as_version=4)
    # The kernel (the distribution's interpreter) imports the module these tests use.
    here = os.path.dirname(evkit714.__file__)
    monkeypatch.setenv("PYTHONPATH", os.pathsep.join(
        p for p in (here, os.environ.get("PYTHONPATH", "")) if p))
    nbclient.NotebookClient(nb, timeout=300, kernel_name="python3").execute()
    outputs = [o for cell in nb.cells for o in cell.get("outputs", [])]
    html = "".join(o.get("data", {}).get("text/html", "") for o in outputs)
    assert "<caption>Capture</caption>" in html and "<caption>Spectrum</caption>" in html
    printed = "".join(o.get("text", "") for o in outputs if o.get("output_type") == "stream")
    assert len([line for line in printed.splitlines() if line[:2] in ("1 ", "2 ", "3 ")]) == 3
    try:
        import matplotlib  # noqa: F401
        assert any("image/png" in o.get("data", {}) for o in outputs)
    except ImportError:
        assert "no plot" in printed


def test_examples_type_check_strictly_against_the_stubs(tmp_path):
    import shutil
    pytest = __import__("pytest")
    pytest.importorskip("mypy")
    stub = os.path.join(os.path.dirname(evkit714.__file__), "evkit714.pyi")
    if not os.path.exists(stub):
        pytest.skip("the module's stubs are not beside it")
    # The stubs installed beside the module, alone on the search path.
    stubs = tmp_path / "stubs"
    stubs.mkdir()
    shutil.copy(stub, stubs)
    scripts = [os.path.join(EXAMPLES, n) for n in sorted(os.listdir(EXAMPLES)) if n.endswith(".py")]
    env = dict(os.environ, MYPYPATH=str(stubs))
    r = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental",
                        "--cache-dir", os.devnull, *scripts], capture_output=True, text=True,
                       timeout=300, env=env)
    assert r.returncode == 0, r.stdout + r.stderr
