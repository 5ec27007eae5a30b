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
