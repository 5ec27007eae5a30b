"""Several boards at once and recorded sessions from Python: open(..., record=PATH),
open('replay:PATH'), evkit714.boards()."""
import gzip
import threading

import numpy as np
import pytest

import evkit714


def run_session(board):
    """A few operations of every sort; returns what they gave."""
    ident = board.identify()
    cap = board.capture(pair=1, samples=256)
    spec = board.fft(pair=2, samples=512, average=2)
    updates = list(board.monitor(count=1, updates=2))
    eeprom = board.eeprom_read(8)
    board.write(1, 22, 0x123456)
    return ident, cap, spec, updates, eeprom, board.read(1, 22)


def test_a_recorded_session_replays_with_the_same_results(tmp_path):
    path = tmp_path / "run.session.gz"
    with evkit714.open("sim", record=path) as board:
        assert board.recording == str(path)
        first = run_session(board)
    assert not (tmp_path / "run.session.gz.part").exists()
    assert gzip.decompress(path.read_bytes()).startswith(b"EVKIT714 session 1\nprogram evkit714-python 3.0.2")

    with evkit714.open(f"replay:{path}") as replayed:
        assert replayed.simulated is False  # the replay is not the virtual board itself
        again = run_session(replayed)
    assert again[0] == first[0]
    np.testing.assert_array_equal(again[1].channel1, first[1].channel1)
    np.testing.assert_array_equal(again[1].channel2, first[1].channel2)
    np.testing.assert_array_equal(again[2].power_db, first[2].power_db)
    assert [{k: v for k, v in u.items() if k not in ("time", "timestamp")} for u in again[3]] == \
        [{k: v for k, v in u.items() if k not in ("time", "timestamp")} for u in first[3]]
    assert again[4] == first[4]
    assert again[5] == first[5] == 0x123456


def test_a_different_call_stops_the_replay_and_names_the_operation(tmp_path):
    path = tmp_path / "short.session"
    with evkit714.open("sim", record=path) as board:
        board.write(1, 22, 0x000111)
    replayed = evkit714.open(f"replay:{path}")
    with pytest.raises(evkit714.BoardError, match=r"Replay diverged at operation \d+: expected "
                       r"write \d+ 6c1101000000, got write \d+ 6c2202000000"):
        replayed.write(1, 22, 0x000222)
    replayed.close()  # the divergence has been raised once; closing says nothing more

    # Closing before the recording's end is a divergence too.
    early = evkit714.open(f"replay:{path}")
    with pytest.raises(evkit714.BoardError, match=r"expected flush \d+, got close \d+"):
        early.close()


def test_damaged_and_missing_session_files_are_os_errors(tmp_path):
    path = tmp_path / "cut.session"
    with evkit714.open("sim", record=path):
        pass
    text = path.read_text()
    path.write_text(text[: len(text) // 2])
    with pytest.raises(OSError, match="is damaged: line"):
        evkit714.open(f"replay:{path}")
    with pytest.raises(FileNotFoundError):
        evkit714.open(f"replay:{tmp_path / 'none.session'}")
    with pytest.raises(ValueError, match="replay_timing"):
        evkit714.open(f"replay:{path}", replay_timing="later")
    with pytest.raises(ValueError, match="usb_id applies to usb boards only"):
        evkit714.open(f"replay:{path}", usb_id="1234:5678")


def test_an_unwritable_recording_is_an_os_error_at_close(tmp_path):
    board = evkit714.open("sim", record=tmp_path / "missing-dir" / "run.session")
    with pytest.raises(OSError, match="Unable to write the file"):
        board.close()


def test_board_listing_checks_the_id():
    boards = evkit714.boards(usb_id="1234:5678")
    assert isinstance(boards, list)
    for b in boards:
        assert set(b) >= {"port", "bus", "address", "usb_id", "product", "serial", "default"}
    with pytest.raises(ValueError, match="not VID:PID"):
        evkit714.boards(usb_id="12345678")


def test_two_boards_open_at_once_work_from_two_threads_independently():
    boards = [evkit714.open("sim", trace=True), evkit714.open("sim:PM7010A", trace=True)]
    failures = []

    def work(board, base):
        try:
            for i in range(30):
                board.write(1, 22, base + i)
                if board.read(1, 22) != base + i:
                    failures.append((base, i))
        except Exception as e:  # noqa: BLE001 - reported below
            failures.append(e)

    threads = [threading.Thread(target=work, args=(b, base))
               for b, base in zip(boards, (0x100000, 0x200000))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
    assert boards[0].read(1, 22) == 0x100000 + 29
    assert boards[1].read(1, 22) == 0x200000 + 29
    assert boards[0].chip == 14 and boards[1].chip == 10
    # Each board's frames carry only its own words.
    for board, hi in zip(boards, ("10", "20")):
        writes = [l for l in board.trace if l.startswith("> 6c ")]
        assert len(writes) == 30 and all(l.split()[4] == hi for l in writes)
    for b in boards:
        b.close()
