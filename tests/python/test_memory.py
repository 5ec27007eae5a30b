"""Memory of the analyses: results handed to numpy without copies, the allocator left as
the user set it, large blocks' work memory given back, and Ctrl-C during a long analysis.
Each case that looks at the process runs in a fresh interpreter."""
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import evkit714


def run_python(code, timeout=120):
    r = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                       text=True, timeout=timeout)
    assert r.returncode == 0, r.stderr
    return r.stdout.split()


def tone(n, periods=1031):
    i = np.arange(n)
    return np.round(4e6 * np.sin(2 * np.pi * periods * i / n) + ((i * 7919) % 2001 - 1000))


def test_import_leaves_the_heap_padding_as_the_user_set_it():
    # How far the heap grows when a small block no longer fits: the allocator's top padding
    # (128 KiB by default) plus the block.
    step = run_python("""
        import ctypes
        import evkit714
        libc = ctypes.CDLL("libc.so.6")

        class Info(ctypes.Structure):
            _fields_ = [(name, ctypes.c_size_t) for name in (
                "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks",
                "uordblks", "fordblks", "keepcost")]

        libc.mallinfo2.restype = Info
        libc.malloc.restype = ctypes.c_void_p
        before = libc.mallinfo2().arena
        kept = []
        while libc.mallinfo2().arena == before:
            kept.append(libc.malloc(64 * 1024))
        print(libc.mallinfo2().arena - before)
    """)
    assert int(step[0]) < 4 << 20


def test_spectrum_arrays_are_read_only_views_and_out_reuses_them():
    x = tone(4096)
    s = evkit714.spectrum(x, fs=4000.0)
    db = s.power_db
    assert not db.flags.writeable and not db.flags.owndata
    assert np.shares_memory(db, s.power_db)  # one buffer, however often it is asked for
    assert s.freq_hz[1] == pytest.approx(4000.0 / 4096)
    other = evkit714.spectrum(tone(4096, periods=517), fs=4000.0)
    again = evkit714.spectrum(tone(4096, periods=517), fs=4000.0, out=s)
    # The earlier array now shows the new result: the storage was reused, not replaced.
    assert np.array_equal(db, other.power_db)
    assert again.sinad == other.sinad == s.sinad
    with pytest.raises(ValueError, match="out holds a spectrum of 4096 samples, not 1024"):
        evkit714.spectrum(tone(1024), out=s)


def test_a_huge_block_leaves_no_work_memory_behind():
    grown = run_python("""
        import gc
        import numpy as np
        import evkit714

        def rss():
            for line in open("/proc/self/status"):
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) * 1024

        n = 1 << 21
        x = np.round(4e6 * np.sin(2 * np.pi * 1031 * np.arange(n) / n))
        evkit714.spectrum(x[:4096])
        before = rss()
        s = evkit714.spectrum(x)
        del s
        gc.collect()
        print(rss() - before)
    """)
    # The block's own work buffers alone are 16 MiB each.
    assert int(grown[0]) < 24 << 20


def test_ctrl_c_is_noticed_during_a_long_analysis():
    out = run_python("""
        import os
        import signal
        import threading
        import numpy as np
        import evkit714

        n = 1 << 22
        x = np.round(4e6 * np.sin(2 * np.pi * 1031 * np.arange(n) / n))
        threads = len(os.listdir("/proc/self/task"))
        threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT)).start()
        try:
            evkit714.spectrum(x)
            print("finished")
        except KeyboardInterrupt:
            # Raised while the analysis still runs on its worker, not after it.
            print("interrupted", len(os.listdir("/proc/self/task")) > threads)
    """)
    assert out == ["interrupted", "True"]
