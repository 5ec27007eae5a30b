#!/usr/bin/python3
"""Logs the converter's live results to CSV, one row per update, until --updates or Ctrl-C.

    PYTHONPATH=build/python ./examples/python/monitor_log.py --board sim --count 10 --updates 20 --csv log.csv
"""
import argparse
import csv
import sys

import evkit714


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--board", default="sim", help="usb, sim or sim:VARIANT (default sim)")
    p.add_argument("--usb-id", default=None, help="VID:PID of a real board")
    p.add_argument("--count", type=int, default=1, help="computation cycles per update")
    p.add_argument("--updates", type=int, default=None, help="stop after this many updates")
    p.add_argument("--csv", required=True, help="output CSV file")
    a = p.parse_args()

    columns = ["update", "time"] + list(evkit714.QUANTITIES) + ["LINE_FREQ"]
    if a.count > 1:
        columns += [q + "_AVG" for q in evkit714.QUANTITIES] + [q + "_SD" for q in evkit714.QUANTITIES]
    rows = 0
    with evkit714.open(a.board, usb_id=a.usb_id) as board, open(a.csv, "w", newline="") as out:
        w = csv.DictWriter(out, fieldnames=columns, extrasaction="ignore")
        w.writeheader()
        try:
            with board.monitor(count=a.count, updates=a.updates) as updates:
                for record in updates:
                    w.writerow(record)
                    out.flush()
                    rows += 1
        except KeyboardInterrupt:
            print("stopped", file=sys.stderr)
    print(f"{rows} updates written to {a.csv}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
