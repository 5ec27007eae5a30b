#!/usr/bin/python3
"""Times one 32768-sample spectrum() from Python against the C++ benchmark of the same
analysis (BM_FullAnalysis/32768 of bench_spectrum_bench) and says whether Python stays
within 10 % of it.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_spectrum_bench.py build/bench_spectrum_bench
"""
import json
import subprocess
import sys
import timeit

import numpy as np

import evkit714

N = 32768
BUDGET = 1.10


def test_block(n):
    # The block the C++ benchmark analyses: a tone of 1031 periods plus a fixed ramp of codes.
    i = np.arange(n, dtype=np.int64)
    return np.round(4e6 * np.sin(2.0 * np.pi * 1031.0 * i / n) + ((i * 7919) % 2001 - 1000))


def python_ms(x, repeat=7):
    run = lambda: evkit714.spectrum(x, window=4, fs=4000.0)  # noqa: E731
    run()
    number = max(1, int(0.5 / timeit.timeit(run, number=1)))
    # The best of the repeats, as for the C++ figure: on a shared machine the other
    # processes only ever add time.
    return min(timeit.repeat(run, number=number, repeat=repeat)) / number * 1e3


def cpp_ms(binary):
    out = subprocess.run([binary, "--benchmark_filter=BM_FullAnalysis/32768$",
                          "--benchmark_format=json", "--benchmark_repetitions=7"],
                         capture_output=True, text=True, check=True).stdout
    rows = [r for r in json.loads(out)["benchmarks"] if r.get("run_type") == "iteration"]
    scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6, "s": 1e3}
    return min(r["real_time"] * scale[r["time_unit"]] for r in rows)


def main():
    x = test_block(N)
    py = python_ms(x)
    print(f"python spectrum({N}): {py:.3f} ms")
    if len(sys.argv) < 2:
        return 0
    cpp = cpp_ms(sys.argv[1])
    ratio = py / cpp
    print(f"C++ BM_FullAnalysis/{N}: {cpp:.3f} ms")
    print(f"ratio: {ratio:.3f} (budget {BUDGET:.2f})")
    return 0 if ratio <= BUDGET else 1


if __name__ == "__main__":
    sys.exit(main())
