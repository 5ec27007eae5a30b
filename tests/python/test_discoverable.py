"""What an IDE, help() and a notebook see: signatures, docstrings, reprs, HTML tables,
pickling, numpy conversion, and the board's properties before any capture."""
import inspect
import pickle

import numpy as np
import pytest

import evkit714


def public_functions():
    for name in dir(evkit714):
        value = getattr(evkit714, name)
        if isinstance(value, type) and value.__module__ == "evkit714":
            for attr, member in vars(value).items():
                if not attr.startswith("_"):
                    yield f"{name}.{attr}", getattr(value, attr), member
        elif callable(value) and not name.startswith("_"):
            yield name, value, value


def test_every_public_function_has_a_signature_and_a_docstring():
    missing_sig, missing_doc = [], []
    for name, value, member in public_functions():
        target = member.fget if isinstance(member, property) else value
        if not isinstance(member, property):
            try:
                inspect.signature(value)
            except (TypeError, ValueError):
                missing_sig.append(name)
        if not (getattr(target, "__doc__", None) or "").strip():
            missing_doc.append(name)
    assert not missing_sig
    assert not missing_doc
    assert str(inspect.signature(evkit714.Board.capture)) == \
        "(self, pair, samples, data_delay=1, seconds_delay=0)"
    assert "range_=None" in str(inspect.signature(evkit714.spectrum))


def test_reprs_say_what_the_object_is(board):
    assert repr(board) == f"<Board sim:{board.variant} device={board.capture(1, 16).part} connected>"
    c = board.capture(2, 64)
    assert repr(c).startswith("<Capture pair=2 names=(Current 2, Voltage 2) part=")
    assert "samples=64 fs=4000.000000 Hz source=board" in repr(c)
    s = board.fft(1, 1024, average=2, window="hanning")
    assert f"window=2 (hanning) N=1024 blocks=2 fundamental={s.fundamental_hz:.6f} Hz" in repr(s)
    assert f"SINAD={s.sinad:.6f}" in repr(s)
    h = evkit714.histogram(c.channel1, 64)
    assert repr(h).startswith(f"<Histogram samples=64 bins={len(h.counts)} bin_width=64")
    assert "<table>" in c._repr_html_() and "SINAD" in s._repr_html_()
    assert repr(board.setup).startswith("<Setup of ")
    assert "Temperature" in repr(board.temperature)
    board.close()
    assert repr(board).endswith("closed>")


def test_capture_and_spectrum_survive_pickling(board):
    c = board.capture(1, 256)
    s = board.fft(1, 1024)
    c2, s2 = pickle.loads(pickle.dumps((c, s)))
    assert np.array_equal(c2.channel1, c.channel1) and np.array_equal(c2.channel2, c.channel2)
    assert (c2.names, c2.fs, c2.part, c2.range, c2.pair) == (c.names, c.fs, c.part, c.range, c.pair)
    assert s2.figures == s.figures and s2.harmonics == s.harmonics
    assert np.array_equal(s2.power_db, s.power_db) and np.array_equal(s2.freq_hz, s.freq_hz)
    assert (s2.fundamental_bin, s2.window, s2.blocks) == (s.fundamental_bin, s.window, s.blocks)


def test_numpy_sees_a_capture_as_its_two_channels(board):
    c = board.capture(1, 128)
    a = np.asarray(c)
    assert a.shape == (2, 128) and a.dtype == np.int32
    assert np.array_equal(a[1], c.channel2)


def test_board_properties_before_the_first_capture(cli, tmp_path):
    with evkit714.open("sim") as board:
        fs = board.fs  # before any capture: the device's rate, not a placeholder
        assert fs == board.capture(1, 16).fs == 4000.0
        board.xtal_mhz = 4.194304
        assert board.xtal_mhz == 4.194304
        assert repr(board.xtal_mhz) == "4.194304"
    with evkit714.open("sim:PM7010A") as board:
        s = board.fft(1, 1024)
        path = tmp_path / "s.fft"
        s.save(path)
        expected = cli("--board", "sim:PM7010A", "fft", "--pair", "1", "--samples", "1024",
                       "--average", "1", "--fft-out", tmp_path / "cli.fft")
        assert expected.status == 0, expected.err
        assert path.read_text().splitlines()[0] == (tmp_path / "cli.fft").read_text().splitlines()[0]


def test_the_stubs_name_everything_the_module_has():
    import ast
    import os
    stub_path = os.path.join(os.path.dirname(__file__), "..", "..", "python", "evkit714.pyi")
    tree = ast.parse(open(stub_path).read())
    top, members = set(), {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            top.add(node.name)
            members[node.name] = {n.name for n in node.body if isinstance(n, ast.FunctionDef)} | {
                n.target.id for n in node.body if isinstance(n, ast.AnnAssign)}
        elif isinstance(node, ast.FunctionDef):
            top.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            top.add(node.target.id)
    missing = []
    for name in dir(evkit714):
        if name.startswith("_"):
            continue
        if name not in top:
            missing.append(name)
        value = getattr(evkit714, name)
        if isinstance(value, type) and value.__module__ == "evkit714" and name in members:
            missing += [f"{name}.{m}" for m in vars(value) if not m.startswith("_")
                        and m not in members[name]]
    assert not missing, f"add to python/evkit714.pyi: {missing}"
