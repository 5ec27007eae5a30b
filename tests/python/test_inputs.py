"""What the module accepts and how it refuses: the setup mapping, non-finite blocks, and one
exception type per cause (refusal, file, board)."""
import collections.abc
import math
import warnings

import numpy as np
import pytest

import evkit714


def tone(n=1024, periods=31, amplitude=4e6):
    i = np.arange(n)
    return np.round(amplitude * np.sin(2 * np.pi * periods * i / n))


def test_setup_is_a_mapping_of_the_cli_controls(board, cli):
    setup = board.setup
    keys = setup.keys()
    assert len(setup) == len(keys) > 10
    assert list(setup) == list(keys)
    assert isinstance(setup, collections.abc.Mapping)
    shown = cli("--board", "sim", "setup", "show")
    assert shown.status == 0, shown.err
    # Every control the command line shows is a key, with the value it shows.
    items = dict(setup.items())
    assert list(items) == list(keys)
    assert len(setup.values()) == len(keys)
    compared = 0
    for name, value in shown.values.items():
        if name in setup:
            number = int(value, 16) if value.startswith("0x") else float(value)
            assert number == pytest.approx(float(items[name]), abs=1e-6), name
            compared += 1
    assert compared > 10
    name = keys[0]
    assert name in setup and "NO_SUCH_CONTROL" not in setup and 5 not in setup
    assert setup.get(name) == items[name]
    assert setup.get("NO_SUCH_CONTROL", "fallback") == "fallback"
    with pytest.raises(KeyError):
        setup["NO_SUCH_CONTROL"]


@pytest.mark.parametrize("bad,what", [(math.nan, "NaN"), (math.inf, "an infinity"),
                                      (-math.inf, "an infinity")])
def test_non_finite_blocks_are_refused_naming_the_sample(bad, what):
    x = tone()
    x[17] = bad
    for analyse in (evkit714.spectrum, evkit714.time_stats, evkit714.histogram):
        with pytest.raises(ValueError, match=f"{what} at index 17"):
            analyse(x)


def test_bad_analysis_arguments_are_value_errors():
    x = tone()
    with pytest.raises(ValueError, match="empty"):
        evkit714.spectrum(np.array([]))
    for fs in (math.inf, math.nan, 0.0, -1.0):
        with pytest.raises(ValueError, match="fs must be a finite number above 0"):
            evkit714.spectrum(x, fs=fs)
    with pytest.raises(TypeError, match="string"):
        evkit714.time_stats("1, 2, 3")


def test_an_all_zero_block_warns_that_its_figures_mean_nothing():
    with pytest.warns(evkit714.BoardWarning, match="all zeros"):
        evkit714.spectrum(np.zeros(1024))
    with warnings.catch_warnings():
        warnings.simplefilter("error", evkit714.BoardWarning)
        evkit714.spectrum(tone())  # a tone raises no warning


def test_refusals_before_any_write_are_value_errors(board):
    board.clear_trace()
    with pytest.raises(ValueError, match="hz must be above 0"):
        board.line_frequency(0)
    assert board.trace == []  # refused before any frame
    # The device's word rate bounds it: read, refused, nothing written.
    epsilon = board.read(1, 17)
    with pytest.raises(ValueError, match="Nothing was written"):
        board.line_frequency(1e5)
    assert board.read(1, 17) == epsilon
    board.clear_trace()
    for set_value in (board.temperature.set_gain, board.temperature.set_offset,
                      board.temperature.quick_set):
        for bad in (math.nan, math.inf):
            with pytest.raises(ValueError, match="must be a finite number"):
                set_value(bad)
    assert board.trace == []


def test_file_problems_are_os_errors_naming_the_path(board, tmp_path):
    target = tmp_path / "missing-folder" / "x.rsf"
    with pytest.raises(OSError, match="missing-folder") as info:
        board.setup.store(target)
    assert not isinstance(info.value, evkit714.BoardError)
    with pytest.raises(FileNotFoundError, match="missing-folder"):
        board.setup.retrieve(target)


def test_a_board_failure_says_its_message_once_for_python(board):
    board.inject_fault("unplug")
    with pytest.raises(evkit714.BoardError) as info:
        board.identify()
    text = str(info.value)
    assert text.count("USB connection error") == 1
    assert "Setup menu" not in text and "evkit714.open" in text
    # The program's own messages stay available.
    assert any("USB connection error" in m[1] for m in info.value.messages)


def test_numpy_integers_and_uint8_arrays_are_accepted(board):
    c = board.capture(np.int64(1), np.int32(256), data_delay=np.uint8(1))
    assert len(c) == 256
    data = np.array([1, 2, 3, 250], dtype=np.uint8)
    assert board.eeprom_write(data) == 4
    assert board.eeprom_read(4) == bytes(data)
    with pytest.raises(TypeError):
        board.capture(1.0, 256)


def test_range_keyword_and_window_names():
    x = tone()
    by_alias = evkit714.spectrum(x, window=2, range_=4194304)
    by_name = evkit714.spectrum(x, window="Hanning", range=4194304)
    assert by_name.window == by_alias.window == 2
    assert by_name.sinad == by_alias.sinad
    assert evkit714.spectrum(x, window="blackman-harris").window == 0
    with pytest.raises(TypeError, match="not both"):
        evkit714.spectrum(x, range=1, range_=1)
    with pytest.raises(ValueError, match="unknown window 'square'"):
        evkit714.spectrum(x, window="square")
