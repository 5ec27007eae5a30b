#!/usr/bin/python3
"""Drive the board as a bench instrument over VISA: identify it, round-trip a register,
capture a block, read the FFT figures and one monitor update.

Start the server first (here on the virtual board), then run this from any machine allowed
to reach it:

    evkit714-cli --board sim serve --listen 127.0.0.1:5025 &
    ./examples/python/scpi_client.py --resource TCPIP::127.0.0.1::5025::SOCKET

Needs pyvisa and a backend (the Debian packages python3-pyvisa and python3-pyvisa-py).
"""
import argparse
import sys
from typing import cast

import pyvisa
from pyvisa.resources import MessageBasedResource


def main() -> int:
    p = argparse.ArgumentParser(description=(__doc__ or "").splitlines()[0])
    p.add_argument("--resource", default="TCPIP::127.0.0.1::5025::SOCKET",
                   help="VISA resource of the server")
    p.add_argument("--token", default=None, help="the server's token (--token-file), if any")
    p.add_argument("--samples", type=int, default=4096, help="samples per capture")
    a = p.parse_args()

    rm = pyvisa.ResourceManager("@py")
    # A socket resource is message based; long captures answer after the board is done.
    inst = cast(MessageBasedResource,
                rm.open_resource(a.resource, read_termination="\n", write_termination="\n",
                                 timeout=30000))
    try:
        if a.token:
            inst.write(f'SYST:AUTH "{a.token}"')
        print("instrument:", inst.query("*IDN?"))
        inst.write("SYST:LOCK")  # nobody else drives the board meanwhile
        inst.write("REG:WRIT 1,22,#H123456")
        print("register 1:22:", inst.query("REG:READ? 1,22"))
        samples = inst.query_binary_values(f"CAPT:DATA? 1,{a.samples}", datatype="i",
                                           container=list)
        print(f"captured {len(samples)} samples at {inst.query('CAPT:RATE?')} Hz, "
              f"min {min(samples)} max {max(samples)}")
        names = ["S/PN", "SINAD", "S/D", "SNR", "FS-PdB", "bin", "fundamental_hz", "warning"]
        figures = inst.query(f"FFT:FIG? 1,{a.samples},4").split(",")
        print("spectrum:", ", ".join(f"{n}={v}" for n, v in zip(names, figures)))
        print("V1RMS:", inst.query("MEAS:V1RMS?"))
        inst.write("SYST:LOCK:REL")
        error = inst.query("SYST:ERR?")
        if not error.startswith("0,"):
            print("instrument error:", error, file=sys.stderr)
            return 1
        return 0
    finally:
        inst.close()
        rm.close()


if __name__ == "__main__":
    sys.exit(main())
