#!/usr/bin/python3
"""FFT figures of merit over FFT windows and averaging counts, on one open connection.

Writes one CSV row per (window, average) with the five figures and the fundamental, and,
when matplotlib is installed, a plot of the last spectrum of each window.

    PYTHONPATH=build/python ./examples/python/fft_sweep.py --board sim --csv sweep.csv --plot sweep.png
"""
import argparse
import csv
import sys

import evkit714

WINDOWS = {0: "Blackman-Harris", 1: "5-term", 2: "Hanning", 3: "Blackman", 4: "7-term"}


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--board", default="sim", help="usb, sim or sim:VARIANT (default sim)")
    p.add_argument("--usb-id", default=None, help="VID:PID of a real board")
    p.add_argument("--pair", type=int, default=1, help="quantity pair 1..4 (default 1)")
    p.add_argument("--samples", type=int, default=4096, help="samples per block (default 4096)")
    p.add_argument("--averages", default="1,2,4,8", help="comma-separated averaging counts")
    p.add_argument("--windows", default="0,1,2,3,4", help="comma-separated windows 0..4")
    p.add_argument("--csv", required=True, help="output CSV file")
    p.add_argument("--plot", default=None, help="output image of the spectra (needs matplotlib)")
    a = p.parse_args()
    averages = [int(v) for v in a.averages.split(",")]
    windows = [int(v) for v in a.windows.split(",")]

    last = {}
    with evkit714.open(a.board, usb_id=a.usb_id) as board, \
            open(a.csv, "w", newline="") as out:
        ident = board.identify()
        print(f"{ident['device']} on {a.board}", file=sys.stderr)
        w = csv.writer(out)
        w.writerow(["window", "average", "S/PN", "SINAD", "S/D", "SNR", "FS-PdB",
                    "fundamental_hz", "warning"])
        for window in windows:
            for average in averages:
                s = board.fft(a.pair, a.samples, average=average, window=window)
                f = s.figures
                w.writerow([window, average] + [f"{f[k]:.6f}" for k in
                                                ("S/PN", "SINAD", "S/D", "SNR", "FS-PdB")]
                           + [f"{s.fundamental_hz:.6f}", int(s.warning)])
                last[window] = s
                print(f"window {window} average {average}: SINAD {f['SINAD']:.2f} dB",
                      file=sys.stderr)

    if a.plot:
        try:
            import matplotlib  # type: ignore[import]
            matplotlib.use("Agg")
            import matplotlib.pyplot as plt  # type: ignore[import]
        except ImportError:
            print("matplotlib is not installed: no plot written", file=sys.stderr)
            return 0
        fig, ax = plt.subplots(figsize=(10, 5))
        for window, s in last.items():
            ax.plot(s.freq_hz, s.power_db, lw=0.7, label=WINDOWS.get(window, str(window)))
        ax.set_xlabel("Frequency (Hz)")
        ax.set_ylabel("dB below full scale")
        ax.legend()
        fig.savefig(a.plot, dpi=120)
    return 0


if __name__ == "__main__":
    sys.exit(main())
