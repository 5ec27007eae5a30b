"""The module under Python threads: calls on one board from several threads, and first
calls on several boards at once in a fresh interpreter."""
import os
import subprocess
import sys
import textwrap
import threading

import pytest

import evkit714

CALLS_PER_THREAD = 200


def run_thread_plan(board, plan, errors, results):
    """Runs `plan` (a list of (kind, pair, samples)) and checks each result as it comes."""
    try:
        for kind, pair, samples in plan:
            if kind == "capture":
                c = board.capture(pair, samples)
                results.append((kind, pair, samples, c.names, len(c.channel1),
                                len(c.channel2), c.samples))
            else:
                s = board.fft(pair, samples)
                results.append((kind, pair, samples, None, len(s.power), len(s.power_db),
                                s.samples))
    except Exception as e:  # noqa: BLE001 - any failure of a thread fails the test
        errors.append(e)


def test_two_threads_on_one_board_each_get_their_own_settings():
    with evkit714.open("sim") as board:
        names = {p: board.capture(p, 16).names for p in (1, 2, 3, 4)}
        # Mixed calls of different pairs and lengths in each thread.
        plans = [
            [("capture", 1, 1024), ("fft", 2, 256)] * (CALLS_PER_THREAD // 2),
            [("fft", 3, 512), ("capture", 4, 128)] * (CALLS_PER_THREAD // 2),
        ]
        errors, results = [], [[], []]
        threads = [threading.Thread(target=run_thread_plan, args=(board, plan, errors, out))
                   for plan, out in zip(plans, results)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=600)
        assert not errors, errors
        for out in results:
            assert len(out) == CALLS_PER_THREAD
            wrong = []
            for kind, pair, samples, got_names, n1, n2, n in out:
                if kind == "capture":
                    ok = (got_names, n1, n2, n) == (names[pair], samples, samples, samples)
                else:
                    ok = (n1, n2, n) == (samples, samples // 2 + 1, samples)
                if not ok:
                    wrong.append((kind, pair, samples, got_names, n1, n))
            assert not wrong, f"{len(wrong)} of {len(out)} results are another call's: {wrong[:3]}"


def test_stop_from_another_thread_ends_a_long_capture_delay():
    with evkit714.open("sim", realtime=True) as board:
        stopper = threading.Timer(0.3, board.stop)
        stopper.start()
        try:
            with pytest.raises(evkit714.BoardError):
                board.capture(1, 16, seconds_delay=60)
        finally:
            stopper.cancel()
        # The board is usable again at once.
        board.write(1, 22, 0x000777)
        assert board.read(1, 22) == 0x000777


FIRST_CALLS = textwrap.dedent("""
    import sys
    import threading
    import evkit714  # numpy is not imported first

    boards = [evkit714.open("sim"), evkit714.open("sim")]
    start = threading.Barrier(2)
    lengths = []

    def work(board):
        start.wait()
        lengths.append(len(board.capture(1, 256).channel1))

    threads = [threading.Thread(target=work, args=(b,)) for b in boards]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print(sorted(lengths))
""")


@pytest.mark.parametrize("run", range(3))
def test_first_captures_on_two_boards_at_once_do_not_hang(run):
    env = dict(os.environ)
    try:
        r = subprocess.run([sys.executable, "-c", FIRST_CALLS], capture_output=True, text=True,
                           timeout=60, env=env)
    except subprocess.TimeoutExpired:
        pytest.fail("two threads making their first captures hung")
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip() == "[256, 256]"
