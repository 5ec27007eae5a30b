#!/usr/bin/python3
"""Register settings file round trip: store the device's registers, change a setting, write
the file back and check that every register holds its stored word again.

    PYTHONPATH=build/python ./examples/python/register_roundtrip.py --board sim --file regs.rsf
"""
import argparse
import sys

import evkit714


def words(board: evkit714.Board) -> dict[int, int]:
    # The seventeen page-0 registers the settings file holds, in its order.
    return {a: board.read(0, a) for a in (0, 1, 2, 3, 4, 5, 6, 13, 15, 16, 17, 18, 21, 23, 24, 26, 28)}


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--board", default="sim", help="usb, sim or sim:VARIANT (default sim)")
    p.add_argument("--usb-id", default=None, help="VID:PID of a real board")
    p.add_argument("--file", required=True, help="register settings file (.rsf) to write")
    p.add_argument("--control", default="SETUP_CLOCK_DIVIDER", help="setup control to change")
    p.add_argument("--value", default="3", help="value to give it meanwhile")
    a = p.parse_args()

    with evkit714.open(a.board, usb_id=a.usb_id) as board:
        board.setup.store(a.file)
        stored = words(board)
        board.setup[a.control] = a.value
        changed = {k: v for k, v in words(board).items() if v != stored[k]}
        print(f"{a.control}={a.value} changed registers {sorted(changed)}", file=sys.stderr)
        board.setup.retrieve(a.file)
        back = words(board)
    # The status register 0:15 follows the device, not the file.
    wrong = {k: (stored[k], back[k]) for k in stored if k != 15 and back[k] != stored[k]}
    for k, (want, got) in wrong.items():
        print(f"0:{k} stored 0x{want:06x}, now 0x{got:06x}", file=sys.stderr)
    print("round trip ok" if not wrong else "round trip FAILED")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
