#!/usr/bin/python3
"""The Python module's overhead over the core, in one run, with no allocator setting:

  * capture(1, 32768) on the virtual board against the command-line program's capture of
    the same block (its time per capture, from batch runs of 10 and 30 captures);
  * spectrum() of a 32768-sample block against the C++ benchmark of the same analysis
    (BM_FullAnalysis/32768 of bench_spectrum_bench).

Each must stay within 10 % of the core's figure; exits 1 otherwise. All figures are CPU
times (the best of several repeats): on a shared machine wall-clock times mostly measure
the other processes.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py build
"""
import json
import os
import resource
import subprocess
import sys
import tempfile
import time
import timeit

import numpy as np

import evkit714

N = 32768
BUDGET = 1.10
REPEAT = 5


def test_block(n):
    # The block the C++ benchmark analyses: a tone of 1031 periods plus a fixed ramp of codes.
    i = np.arange(n, dtype=np.int64)
    return np.round(4e6 * np.sin(2.0 * np.pi * 1031.0 * i / n) + ((i * 7919) % 2001 - 1000))


def best_ms(run, repeat=REPEAT):
    run()
    clock = time.process_time
    number = max(1, int(0.5 / max(timeit.timeit(run, number=1, timer=clock), 1e-4)))
    # The best of the repeats: the other processes only ever add time.
    return min(timeit.repeat(run, number=number, repeat=repeat, timer=clock)) / number * 1e3


def cpp_spectrum_ms(binary):
    out = subprocess.run([binary, f"--benchmark_filter=BM_FullAnalysis/{N}$",
                          "--benchmark_format=json", f"--benchmark_repetitions={REPEAT}"],
                         capture_output=True, text=True, check=True).stdout
    rows = [r for r in json.loads(out)["benchmarks"] if r.get("run_type") == "iteration"]
    scale = {"ms": 1.0, "us": 1e-3, "ns": 1e-6, "s": 1e3}
    return min(r["cpu_time"] * scale[r["time_unit"]] for r in rows)


def cli_capture_ms(cli):
    def batch_seconds(count, folder):
        path = os.path.join(folder, f"batch{count}.txt")
        with open(path, "w") as f:
            f.write(f"capture --pair 1 --samples {N}\n" * count)
        def used():
            r = resource.getrusage(resource.RUSAGE_CHILDREN)
            return r.ru_utime + r.ru_stime

        start = used()
        subprocess.run([cli, "--board", "sim", "batch", path], check=True,
                       stdout=subprocess.DEVNULL)
        return used() - start

    with tempfile.TemporaryDirectory() as folder:
        # The difference of two batch lengths leaves out the program's start and the open.
        short = min(batch_seconds(10, folder) for _ in range(REPEAT))
        long = min(batch_seconds(30, folder) for _ in range(REPEAT))
    return (long - short) / 20 * 1e3


def verdict(name, py, core, core_name):
    ratio = py / core
    print(f"python {name}: {py:.3f} ms, {core_name}: {core:.3f} ms, ratio {ratio:.3f} "
          f"(budget {BUDGET:.2f})")
    return ratio <= BUDGET


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    x = test_block(N)
    with evkit714.open("sim") as board:
        py_capture = best_ms(lambda: board.capture(1, N))
    py_spectrum = best_ms(lambda: evkit714.spectrum(x, window=4, fs=4000.0))
    ok = verdict(f"capture(1, {N})", py_capture,
                 cli_capture_ms(os.path.join(build, "evkit714-cli")), "CLI capture")
    ok &= verdict(f"spectrum({N})", py_spectrum,
                  cpp_spectrum_ms(os.path.join(build, "bench_spectrum_bench")),
                  f"C++ BM_FullAnalysis/{N}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
