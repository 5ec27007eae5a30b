"""The monitor iterator against the command-line monitor on the same virtual board."""
import evkit714


def cli_updates(out):
    updates, current = [], None
    for line in out.splitlines():
        key, value = line.split("=", 1)
        if key == "update":
            current = {}
            updates.append(current)
        if current is not None:
            current[key] = value
    return updates


def test_monitor_records_equal_cli(cli):
    r = cli("--board", "sim", "identify", "monitor", "--count", "3", "--updates", "2")
    assert r.status == 0, r.err
    expected = cli_updates(r.out)
    with evkit714.open("sim") as board:
        records = list(board.monitor(count=3, updates=2))
    assert len(records) == len(expected) == 2
    for record, want in zip(records, expected):
        for name in evkit714.QUANTITIES:
            for key in (name, name + "_AVG", name + "_SD"):
                assert f"{record[key]:.6f}" == want[key], key
        assert str(record["update"]) == want["update"]


def test_single_update_has_no_statistics(board):
    records = list(board.monitor(single=True))
    assert len(records) == 1
    assert "V1RMS" in records[0] and "V1RMS_AVG" not in records[0]


def test_breaking_out_stops_the_run_and_leaves_the_board_usable(board):
    with board.monitor() as updates:
        for i, record in enumerate(updates):
            if i == 4:
                break
    # The stream was halted (0xa0) and the board answers again.
    assert any(line.startswith("> a0") for line in board.trace)
    board.write(1, 22, 0x010203)
    assert board.read(1, 22) == 0x010203


def test_other_commands_are_refused_while_a_run_owns_the_board(board):
    updates = board.monitor()
    next(updates)
    try:
        import pytest
        with pytest.raises(ValueError, match="monitor run owns the board"):
            board.read(0, 0)
    finally:
        updates.close()
    board.read(0, 0)


def test_ctrl_c_in_a_monitor_loop_halts_the_run(board):
    import signal

    import pytest
    seen = []
    with pytest.raises(KeyboardInterrupt):
        with board.monitor(count=2) as updates:
            for record in updates:
                seen.append(record["update"])
                if len(seen) == 2:
                    signal.raise_signal(signal.SIGINT)
    assert seen == [1, 2]
    writes = [line for line in board.trace if line.startswith(">")]
    assert "> a0 00 00 00 00 00" in writes
    board.write(1, 22, 0x000456)
    assert board.read(1, 22) == 0x000456


def test_a_monitor_merely_shown_does_not_take_the_board(board):
    import datetime
    updates = board.monitor(count=2, updates=2)
    text = repr(updates)  # what a notebook cell shows
    board.clear_trace()
    board.write(1, 22, 0x000abc)  # not refused: nothing runs yet
    assert board.read(1, 22) == 0x000abc
    assert not any(line.startswith("> a0") for line in board.trace)
    assert "not started" in text
    records = list(updates)
    assert [r["update"] for r in records] == [1, 2]
    stamps = [r["timestamp"] for r in records]
    assert all(isinstance(s, datetime.datetime) for s in stamps)
    assert stamps[0] <= stamps[1]
    assert any(s.microsecond for s in stamps)  # sub-second resolution
    assert "finished" in repr(updates)


def test_board_stop_from_another_thread_ends_a_monitor_run(board):
    import threading
    seen = []
    with board.monitor() as updates:
        for record in updates:
            seen.append(record["update"])
            if len(seen) == 3:
                threading.Thread(target=board.stop).start()
    assert 3 <= len(seen) < 300
    assert any(line.startswith("> a0") for line in board.trace)
    board.write(1, 22, 0x000def)
    assert board.read(1, 22) == 0x000def
