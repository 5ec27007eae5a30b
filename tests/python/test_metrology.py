"""Engineering units, the virtual source and the accuracy test from Python."""
import math

import numpy as np
import pytest

import evkit714

PLAN = "window = 2\nmin-pulses = 2000\npoint = 10%, 1\npoint = 100%, 0.5L\n"


def test_scaling_units_and_source_on_the_ideal_board():
    with evkit714.open("sim", sim_ideal=True) as board:
        board.scaling = {"scale_v1": 400, "scale_i1": 20}
        exact = board.source.set("V1=230V I1=5A PF=0.5L", f=50)
        assert exact["P1_W"] == pytest.approx(575.0)
        update = next(iter(board.monitor(count=2, updates=1)))
        for key, value in (("V1RMS_V", 230.0), ("I1RMS_A", 5.0), ("P1AVG_W", 575.0),
                           ("S1_VA", 1150.0), ("Q1AVG_var", exact["Q1_var"])):
            assert update[key] == pytest.approx(value, rel=1e-4), key
        assert update["V1RMS_AVG_V"] == pytest.approx(230.0, rel=1e-4)
        assert "PF1_V" not in update
        with pytest.raises(ValueError):
            board.scaling = {"scale_v1": -1}
        assert board.scaling["scale_v1"] == 400
        with pytest.raises(ValueError):
            board.source.set("PF=3L")


def test_accuracy_returns_arrays_and_calls_the_bench():
    with evkit714.open("sim", sim_ideal=True) as board:
        result = board.accuracy(PLAN, accuracy_class="0.2S")
        assert result["complete"] and result["pass"]
        assert result["class"] == "0.2S"
        assert isinstance(result["power_error_pct"], np.ndarray)
        assert np.all(np.abs(result["power_error_pct"]) < 0.05)
        assert np.all(np.abs(result["pulse_error_pct"]) < 0.06)
        assert list(result["reference_W"]) == pytest.approx([115.0, 575.0])

        asked = []
        result = board.accuracy("window = 1\npoint = 10%, 1\n", method="power",
                                set_source=lambda p: asked.append(p["current_A"]),
                                reference=lambda p: 115.0 * 1.01)
        assert asked == [0.5]
        assert result["power_error_pct"][0] == pytest.approx(-100 * 0.01 / 1.01, abs=1e-3)
        assert math.isnan(result["pulse_error_pct"][0])

        with pytest.raises(RuntimeError, match="stop here"):
            def fail(point):
                raise RuntimeError("stop here")
            board.accuracy(PLAN, set_source=fail)
        assert board.identify()["device"]  # the board stays usable


def test_default_virtual_part_needs_calibration():
    with evkit714.open("sim") as board:
        before = board.accuracy(PLAN, method="power")
        assert abs(before["power_error_pct"][0]) > 0.3
        board.source.set("zero")
        board.calibrate("dc-offset", "all")
        board.source.set("cal")
        board.calibrate("gain", "all")
        after = board.accuracy(PLAN, method="power")
        assert abs(after["power_error_pct"][0]) < 0.05
        assert after["power_error_pct"][1] < -0.3  # the phase error stays at PF 0.5


def test_accuracy_plot_follows_its_file_name(tmp_path):
    with evkit714.open("sim", sim_ideal=True) as board:
        plan = "window = 1\npoint = 10%, 1\n"
        board.accuracy(plan, method="power", plot=str(tmp_path / "error.PNG"))
        assert (tmp_path / "error.PNG").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
        board.accuracy(plan, method="power", plot=str(tmp_path / "error.svg"))
        assert (tmp_path / "error.svg").read_text().startswith("<svg")
        with pytest.raises(ValueError, match="SVG"):
            board.accuracy(plan, method="power", plot=str(tmp_path / "error.pdf"))
        assert not (tmp_path / "error.pdf").exists()
