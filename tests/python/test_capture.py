"""Captures and analyses: the arrays and figures equal what the command-line program writes
and prints for the same virtual capture."""
import numpy as np
import pytest

import evkit714


def read_dat(path):
    """The capture file as the program writes it: part, fs, samples, range, codes."""
    words = path.read_text().split()
    return words[0], float(words[1]), int(words[2]), int(words[3]), np.array(words[4:], dtype=np.int64)


@pytest.mark.parametrize("pair,samples", [(1, 256), (2, 64), (3, 1024), (4, 16)])
def test_capture_arrays_equal_the_cli_capture_file(pair, samples, cli, tmp_path):
    out1, out2 = tmp_path / "c1.dat", tmp_path / "c2.dat"
    for channel, out in ((1, out1), (2, out2)):
        r = cli("--board", "sim", "identify", "capture", "--pair", pair, "--samples", samples,
                "--channel", channel, "--out", out)
        assert r.status == 0, r.err
    with evkit714.open("sim") as board:
        cap = board.capture(pair, samples)
    assert cap.channel1.dtype == np.int32 and cap.channel2.dtype == np.int32
    assert len(cap) == samples == len(cap.channel1) == len(cap.channel2)
    for out, channel in ((out1, cap.channel1), (out2, cap.channel2)):
        part, fs, n, rng, codes = read_dat(out)
        assert n == samples
        np.testing.assert_array_equal(channel, codes)
        assert f"{cap.fs:f}" == f"{fs:f}" == r.values["fs"]
        assert cap.part == part and cap.range == rng
    assert cap.names == (r.values["channel1"], r.values["channel2"])
    # The virtual board's signal is not silent: a test of equal arrays compares something.
    assert np.ptp(cap.channel1) > 0


def test_capture_save_and_read_back(board, tmp_path):
    cap = board.capture(1, 512)
    path = tmp_path / "mine.dat"
    cap.save(path)
    back = evkit714.read_capture(path)
    np.testing.assert_array_equal(back.channel1, cap.channel1)
    assert back.channel2 is None
    assert (back.fs, back.part, back.range, back.samples) == (np.float32(cap.fs), cap.part, cap.range, 512)
    cap.save(tmp_path / "ch2.dat", channel=2)
    np.testing.assert_array_equal(evkit714.read_capture(tmp_path / "ch2.dat").channel1, cap.channel2)


def test_read_capture_failures(tmp_path):
    with pytest.raises(FileNotFoundError):
        evkit714.read_capture(tmp_path / "missing.dat")
    bad = tmp_path / "bad.dat"
    bad.write_text("PM7014\n4000\nnot-a-count\n")
    with pytest.raises(ValueError, match="ERROR: Incompatible Data File"):
        evkit714.read_capture(bad)


@pytest.fixture(scope="module")
def capture_file(tmp_path_factory):
    from conftest import run_cli
    path = tmp_path_factory.mktemp("fft") / "block.dat"
    r = run_cli("--board", "sim", "capture", "--pair", "1", "--samples", "4096", "--out", path)
    assert r.status == 0, r.err
    return path


@pytest.mark.parametrize("window", [0, 1, 2, 3, 4])
def test_spectrum_figures_equal_cli_analyze(window, capture_file, cli, tmp_path):
    fft_out = tmp_path / "cli.fft"
    r = cli("analyze", capture_file, "--test", "fft", "--window", window, "--fft-out", fft_out)
    assert r.status == 0, r.err
    cap = evkit714.read_capture(capture_file)
    s = evkit714.spectrum(cap.channel1, window=window, range_=cap.range, fs=cap.fs)
    for key, value in s.figures.items():
        assert f"{value:f}" == r.values[key], key
    assert str(s.fundamental_bin) == r.values["fundamental_bin"]
    assert f"{s.fundamental_hz:f}" == r.values["fundamental_hz"]
    assert ("1" if s.warning else "0") == r.values["warning"]
    assert len(s.power_db) == len(s.freq_hz) == 4096 // 2 + 1
    mine = tmp_path / "mine.fft"
    s.save(mine, part=cap.part)
    assert mine.read_bytes() == fft_out.read_bytes()


def test_time_stats_and_histogram_equal_cli(capture_file, cli, tmp_path):
    hit = tmp_path / "cli.hit"
    r = cli("analyze", capture_file, "--test", "hist", "--bin-width", 8192, "--hist-out", hit)
    assert r.status == 0, r.err
    x = evkit714.read_capture(capture_file).channel1
    stats = evkit714.time_stats(x)
    for key in ("mean", "std_dev", "variance", "maximum", "minimum"):
        assert f"{stats[key]:f}" == r.values[key.upper()], key
    h = evkit714.histogram(x, 8192)
    assert str(len(h.counts)) == r.values["bins"]
    assert h.counts.sum() == len(x)
    assert len(h.edges) == len(h.counts) + 1
    # Every code lies in the bin whose edges enclose it.
    idx = np.searchsorted(h.edges, x, side="right") - 1
    np.testing.assert_array_equal(np.bincount(idx, minlength=len(h.counts)), h.counts)
    mine = tmp_path / "mine.hit"
    h.save(mine, part=evkit714.read_capture(capture_file).part)
    assert mine.read_bytes() == hit.read_bytes()


def test_histogram_refused_like_the_program():
    with pytest.raises(ValueError, match="Distribution too large to plot"):
        evkit714.histogram(np.array([0, 8000000]), 1)


def test_spectrum_accepts_lists_and_integer_arrays(capture_file):
    cap = evkit714.read_capture(capture_file)
    a = evkit714.spectrum(cap.channel1)
    b = evkit714.spectrum(list(map(int, cap.channel1)))
    assert a.figures == b.figures


def test_spectrum_of_a_short_block_is_refused_with_the_message():
    with pytest.raises(ValueError, match="Sample Size too Small"):
        evkit714.spectrum(np.zeros(16))


def test_board_fft_equals_cli_fft(cli, tmp_path):
    r = cli("--board", "sim", "identify", "fft", "--pair", "1", "--samples", "4096",
            "--average", "3", "--window", "2")
    assert r.status == 0, r.err
    blocks = []
    with evkit714.open("sim") as board:
        s = board.fft(1, 4096, average=3, window=2, on_block=lambda i, n: blocks.append((i, n)))
    assert blocks == [(1, 3), (2, 3), (3, 3)]
    assert s.blocks == 3
    for key, value in s.figures.items():
        assert f"{value:f}" == r.values[key], key
    assert f"{s.fundamental_hz:f}" == r.values["fundamental_hz"]
