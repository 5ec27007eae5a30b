"""Failures: every board failure raises BoardError with the program's text; bad arguments
raise before anything reaches the board; Ctrl-C stops a long operation and leaves the
board usable."""
import os
import signal

import numpy as np
import pytest

import evkit714

# (fault injected into the virtual board, operation, the program's message)
FAILURES = [
    ("write", lambda b: b.read(0, 0), "USB Write Error."),
    ("read", lambda b: b.read(0, 0), "USB Read Error"),
    ("hangup", lambda b: b.write(0, 1, 5), "USB Write Error."),
    ("unplug", lambda b: b.read(1, 2), "USB connection error. Ensure proper USB connection"),
    ("stall", lambda b: b.read(0, 0), "USB Read Error"),
    ("short-read", lambda b: b.read(0, 0), "USB Read Error"),
    ("queue", lambda b: b.capture(1, 64), "During data collection, unable to get RX Queue Status."),
    ("overrun", lambda b: b.capture(1, 64), "Packet OverRun at PC"),
    ("overrun", lambda b: b.fft(1, 4096, 2), "Packet OverRun at PC"),
    ("read", lambda b: b.calibration(), "USB Read Error"),
    ("write", lambda b: b.calibrate("gain", "i1"), "USB Write Error."),
    ("read", lambda b: b.setup.refresh(), "USB Read Error"),
    ("write", lambda b: b.temperature.set_gain_word(5), "USB Write Error."),
    ("read", lambda b: b.pulse(3.0, 1), "USB Read Error"),
    ("write", lambda b: b.line_frequency(50), "USB Write Error."),
    ("stall", lambda b: list(b.monitor(updates=1)), "USB Read Error"),
    ("unplug@6", lambda b: list(b.monitor(updates=3)), "USB connection error."),
    ("stall", lambda b: b.eeprom_read(), "EPROM READ error"),
    ("read", lambda b: b.dump(1, 3, os.devnull), "USB Read Error"),
    ("read", lambda b: b.identify(), "USB Read Error"),
]


@pytest.mark.parametrize("fault,operation,text", FAILURES,
                         ids=[f"{f}-{i}" for i, (f, _, _) in enumerate(FAILURES)])
def test_board_failure_raises_board_error_with_the_text(fault, operation, text):
    with evkit714.open("sim", faults=[fault]) as board:
        with pytest.raises(evkit714.BoardError) as info:
            operation(board)
    assert text in str(info.value)
    assert isinstance(info.value, RuntimeError)
    assert info.value.status != 0 or info.value.messages


def test_failed_open_raises_board_error():
    board = evkit714.open("sim")
    board.inject_fault("unplug")
    board.close()
    # A board that has gone reports the program's connection message on the next open.
    with pytest.raises(evkit714.BoardError, match="USB connection error"):
        evkit714.open("sim", faults=["unplug"]).read(0, 0)


# Calls that must be refused before any frame is sent.
BAD_CALLS = [
    (ValueError, lambda b: b.read(0, 32)),
    (ValueError, lambda b: b.read(256, 0)),
    (ValueError, lambda b: b.read(0, 0, width=16)),
    (TypeError, lambda b: b.read("0", 0)),
    (ValueError, lambda b: b.write(0, 1, 0x1000000)),
    (ValueError, lambda b: b.write(0, 1, -1)),
    (TypeError, lambda b: b.write(0, 1, 1.5)),
    (ValueError, lambda b: b.command(256)),
    (ValueError, lambda b: b.raw_read(32)),
    (ValueError, lambda b: b.raw_write(0, 0x1000000)),
    (ValueError, lambda b: b.dump(1, 0)),
    (ValueError, lambda b: b.eeprom_read(49)),
    (ValueError, lambda b: b.eeprom_write([1, 256])),
    (TypeError, lambda b: b.eeprom_write("abc")),
    (ValueError, lambda b: b.eeprom_write(bytes(256))),
    (ValueError, lambda b: b.capture(5, 256)),
    (ValueError, lambda b: b.capture(1, 100)),
    (ValueError, lambda b: b.capture(1, 256, data_delay=256)),
    (ValueError, lambda b: b.capture(1, 256, seconds_delay=-1)),
    (ValueError, lambda b: b.fft(1, 4096, average=0)),
    (ValueError, lambda b: b.fft(1, 4096, window=5)),
    (TypeError, lambda b: b.fft(1, 4096, on_block=3)),
    (ValueError, lambda b: b.monitor(count=0)),
    (ValueError, lambda b: b.monitor(updates=0)),
    (ValueError, lambda b: b.line_frequency(-1)),
    (ValueError, lambda b: b.tmeas(0x1000000)),
    (ValueError, lambda b: b.calibrate("dc", "i1")),
    (ValueError, lambda b: b.calibrate("gain", "i3")),
    (ValueError, lambda b: b.calibrate("gain", "i1", gain_mode=2)),
    (ValueError, lambda b: b.pulse(-1.0)),
    (ValueError, lambda b: b.pulse(1.0, repeat=-1)),
    (KeyError, lambda b: b.setup.__setitem__("NO_SUCH_CONTROL", 1)),
    (ValueError, lambda b: b.setup.__setitem__("SETUP_CLOCK_DIVIDER", 16)),
    (ValueError, lambda b: b.setup.__setitem__("SETUP_CLOCK_DIVIDER", "x")),
    (TypeError, lambda b: b.setup.__setitem__("SETUP_CLOCK_DIVIDER", [1])),
    (FileNotFoundError, lambda b: b.setup.retrieve("/nonexistent/regs.rsf")),
    (ValueError, lambda b: b.temperature.set_gain_word(0x1000000)),
    (ValueError, lambda b: b.temperature.scale("sideways")),
    (ValueError, lambda b: b.inject_fault("melt")),
]


@pytest.mark.parametrize("error,call", BAD_CALLS, ids=[str(i) for i in range(len(BAD_CALLS))])
def test_bad_arguments_raise_before_any_frame(board, error, call):
    board.clear_trace()
    with pytest.raises(error):
        call(board)
    assert board.trace == []


def test_refused_entries_send_nothing_and_keep_what_the_device_holds(board):
    before = board.read(1, 22)
    board.clear_trace()
    with pytest.raises(ValueError):
        board.temperature.set_gain(0.0)
    assert not [line for line in board.trace if line.startswith(">") and " 6c " in line]
    assert board.read(1, 22) == before


def test_messages_without_failure_become_warnings():
    n = 4096
    x = np.round(4e6 * np.sin(2 * np.pi * 2047 * np.arange(n) / n))  # next to Nyquist
    with pytest.warns(evkit714.BoardWarning, match="Fundamental too high"):
        s = evkit714.spectrum(x)
    assert s.warning


def test_identification_messages_go_to_logging(caplog):
    with caplog.at_level("INFO", logger="evkit714"):
        with evkit714.open("sim:PM7010A") as board:
            board.identify()
    assert any("Connected to PM7010A" in r.getMessage() for r in caplog.records)


def test_ctrl_c_during_pulse_counting_stops_after_the_count(board):
    seen = []

    def on_count(record):
        seen.append(record["index"])
        if record["index"] == 2:
            signal.raise_signal(signal.SIGINT)

    with pytest.raises(KeyboardInterrupt):
        board.pulse(3.0, 10, on_count=on_count)
    assert seen == [1, 2]
    board.write(1, 22, 0x000777)
    assert board.read(1, 22) == 0x000777


def test_ctrl_c_during_fft_averaging_ends_between_blocks(board):
    seen = []

    def on_block(i, n):
        seen.append(i)
        if i == 2:
            os.kill(os.getpid(), signal.SIGINT)

    board.clear_trace()
    with pytest.raises(KeyboardInterrupt):
        board.fft(1, 1024, average=8, on_block=on_block)
    assert seen == [1, 2]
    # The analysis' closing steps still reached the device: halt, then status 0:15.
    writes = [line for line in board.trace if line.startswith(">")]
    assert writes[-3:] == ["> a0 00 00 00 00 00", "> 7e 00 00 00 00 00", "> 5e 00 00 90 00 00"]
    # Once: the stop does not send them a second time.
    assert writes.count("> a0 00 00 00 00 00") == 1
    assert board.read(0, 1) >= 0


def test_ctrl_c_reaches_a_long_wait_on_the_board():
    import threading
    import time
    with evkit714.open("sim", realtime=True) as board:
        timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
        start = time.monotonic()
        timer.start()
        try:
            with pytest.raises(KeyboardInterrupt):
                board.pulse(30.0, 1)
        finally:
            timer.cancel()
        assert time.monotonic() - start < 10
        board.write(1, 22, 0x000123)
        assert board.read(1, 22) == 0x000123


def test_closed_board_refuses():
    board = evkit714.open("sim")
    board.close()
    assert board.closed
    with pytest.raises(ValueError, match="closed"):
        board.read(0, 0)


def test_short_pulse_count_answer_is_a_failed_read(board):
    # The second count's answer arrives one byte short: no count is made of it.
    seen = []

    def on_count(record):
        seen.append(record["counts"])
        board.inject_fault("short-read")

    with pytest.raises(evkit714.BoardError, match="USB Read Error"):
        board.pulse(3.0, 2, on_count=on_count)
    assert len(seen) == 1


def test_a_callback_calling_the_board_gets_the_busy_refusal(board):
    def on_count(record):
        board.read(0, 0)

    with pytest.raises(evkit714.BoardError, match="The board is busy"):
        board.pulse(3.0, 2, on_count=on_count)
    board.write(1, 22, 0x000321)
    assert board.read(1, 22) == 0x000321


def test_a_usb_board_that_is_not_there_raises_board_error():
    with pytest.raises(evkit714.BoardError, match="USB connection error") as info:
        evkit714.open("usb", usb_id="1234:5678")
    assert "1234:5678" in str(info.value)
    assert info.value.status != 0
