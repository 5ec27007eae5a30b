"""A VISA client that nobody here wrote (pyvisa with pyvisa-py) drives `serve` on the
virtual board as a TCPIP SOCKET resource."""
import socket

from conftest import read_dat, run_cli


def kv(text):
    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)


def test_identification_and_register_round_trip(serve, visa):
    s = serve()
    inst = visa(s.resource)
    maker, model, serial, version = inst.query("*IDN?").split(",")
    assert (maker, model, serial) == ("EVKIT714", "PM7014 Rev C", "714144")
    assert version == run_cli("--version").stdout.split()[1]
    inst.write("REG:WRIT 1,22,#H123456")
    assert inst.query("REGister:READ? 1,22") == "#H123456"
    assert inst.query("reg:read? 1,22") == "#H123456"
    assert inst.query("SYST:ERR?") == '0,"No error"'


def test_capture_block_equals_the_clis_capture_file(serve, visa, tmp_path):
    s = serve()
    inst = visa(s.resource)
    samples = inst.query_binary_values("CAPT:DATA? 1,32768", datatype="i", container=list)
    dat = tmp_path / "c.dat"
    r = run_cli("--board", "sim", "capture", "--pair", 1, "--samples", 32768, "--out", dat)
    assert r.returncode == 0, r.stderr
    expected = read_dat(dat)
    assert len(samples) == 32768
    assert samples == expected
    # The same samples as text.
    inst.write("FORM:DATA ASC")
    assert inst.query("FORM?") == "ASC"


def test_fft_figures_equal_analyze(serve, visa, tmp_path):
    s = serve()
    inst = visa(s.resource)
    figures = inst.query("FFT:FIGures? 1,4096,1").split(",")
    dat = tmp_path / "f.dat"
    assert run_cli("--board", "sim", "capture", "--pair", 1, "--samples", 4096,
                   "--out", dat).returncode == 0
    a = kv(run_cli("analyze", dat, "--test", "fft").stdout)
    assert figures == [a["S/PN"], a["SINAD"], a["S/D"], a["SNR"], a["FS-PdB"],
                       a["fundamental_bin"], a["fundamental_hz"], a["warning"]]


def test_error_queue_after_a_bad_command(serve, visa):
    inst = visa(serve().resource)
    inst.write("FOO:BAR 1")
    inst.write("REG:READ? 1,99")
    assert inst.query("SYST:ERR?") == '-113,"Undefined header;FOO:BAR"'
    assert inst.query("SYST:ERR?") == '-222,"Data out of range;99 not in 0..31"'
    assert inst.query("SYST:ERR?") == '0,"No error"'
    assert inst.query("*ESR?") == "48"  # command and execution error bits


def test_lock_of_one_client_refuses_another(serve, visa):
    s = serve()
    a, b = visa(s.resource), visa(s.resource)
    a.write("SYST:LOCK")
    assert a.query("SYST:LOCK?") == "1"
    b.write("REG:READ? 1,22")
    assert b.query("SYST:ERR?") == \
        '-240,"Hardware error;busy: another client holds the lock (SYSTem:LOCK)"'
    assert b.query("*IDN?").startswith("EVKIT714,")  # no board traffic: answered
    assert a.query("REG:READ? 1,22") == "#H200000"
    a.write("SYST:LOCK:REL")
    assert b.query("REG:READ? 1,22") == "#H200000"


def test_disconnect_during_a_capture_leaves_the_board_usable(serve, visa):
    s = serve()
    with socket.create_connection(("127.0.0.1", s.port)) as raw:
        raw.sendall(b"CAPT:DATA? 1,32768\n")
    inst = visa(s.resource)
    # The next client's board command waits for the abandoned capture to end, then runs.
    assert inst.query("REG:READ? 1,22;SYST:ERR?") == '#H200000;0,"No error"'
    data = inst.query_binary_values("CAPT:DATA? 1,1024", datatype="i", container=list)
    assert len(data) == 1024
    assert inst.query("SYST:ERR?") == '0,"No error"'
    assert inst.query("MEAS:V1RMS?") != ""
    assert s.stop() == 130
    assert "disconnected" in s.err


def test_example_client_runs_against_the_server(serve):
    import os
    import subprocess
    import sys
    s = serve()
    example = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "python",
                           "scpi_client.py")
    r = subprocess.run([sys.executable, example, "--resource", s.resource, "--samples", "1024"],
                       capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stdout + r.stderr
    assert "instrument: EVKIT714,PM7014 Rev C," in r.stdout
    assert "register 1:22: #H123456" in r.stdout
    assert "captured 1024 samples" in r.stdout
