"""The server's safety on a lab network: exposure rules at start, the token, read-only, and
limits against floods."""
import socket

from conftest import run_cli


def test_listening_beyond_loopback_needs_ranges_and_a_token(tmp_path):
    r = run_cli("--board", "sim", "serve", "--listen", "0.0.0.0:0")
    assert r.returncode == 2
    assert "--allow" in r.stderr and "--token-file" in r.stderr
    token = tmp_path / "token"
    token.write_text("s3cret\n")
    token.chmod(0o600)
    r = run_cli("--board", "sim", "serve", "--listen", "0.0.0.0:0", "--token-file", token)
    assert r.returncode == 2  # a token alone is not enough
    token.chmod(0o644)
    r = run_cli("--board", "sim", "serve", "--listen", "0.0.0.0:0", "--allow", "10.0.0.0/8",
                "--token-file", token)
    assert r.returncode == 1
    assert "readable only by its owner" in r.stderr
    r = run_cli("--board", "sim", "serve", "--allow", "10.0.0.0/33")
    assert r.returncode == 2


def test_wrong_token_is_refused_and_the_connection_closed(serve, visa, tmp_path):
    token = tmp_path / "token"
    token.write_text("s3cret\n")
    token.chmod(0o600)
    s = serve("--token-file", str(token))
    with socket.create_connection(("127.0.0.1", s.port), timeout=10) as raw:
        raw.sendall(b'*IDN?\nSYST:AUTH "guess"\nSYST:AUTH "again"\n')
        assert raw.recv(100) == b""  # closed, nothing answered
    inst = visa(s.resource)
    inst.write('SYST:AUTH "s3cret"')
    assert inst.query("*IDN?").startswith("EVKIT714,")
    s.stop()
    assert "authentication failed" in s.err
    assert "closed after 3 refused commands" in s.err


def test_read_only_refuses_a_write_without_a_frame(serve, visa):
    s = serve("--read-only", global_args=("--trace",))
    inst = visa(s.resource)
    assert inst.query("REG:READ? 1,22") == "#H200000"
    inst.write("REG:WRIT 1,22,#H123456")
    assert inst.query("SYST:ERR?") == \
        '-203,"Command protected;command protected: the server is read-only"'
    assert inst.query("REG:READ? 1,22") == "#H200000"
    s.stop()
    frames = [l for l in s.err.splitlines() if l.startswith("> ")]
    assert any(l.startswith("> 2c") for l in frames)  # the reads were traced
    assert not any(l.startswith("> 6c") for l in frames)  # no write of 1:22


def test_megabyte_line_and_a_hundred_connections_leave_others_unaffected(serve, visa):
    s = serve("--max-clients", "8")
    inst = visa(s.resource)
    crowd = [socket.create_connection(("127.0.0.1", s.port), timeout=10) for _ in range(100)]
    assert inst.query("*OPC?") == "1"
    refused = 0
    for c in crowd:
        try:
            c.sendall(b"*OPC?\n")
            answer = c.recv(10)
        except ConnectionResetError:  # closed before the message arrived
            answer = b""
        if answer == b"":
            refused += 1
        else:
            assert answer == b"1\n"
    assert refused == 93
    for c in crowd:
        c.close()
    inst.write("A" * (1 << 20))
    assert inst.query("SYST:ERR?") == \
        '-223,"Too much data;message longer than 65536 bytes, dropped"'
    assert inst.query("REG:READ? 1,22") == "#H200000"
    s.stop()
    assert "refused: 8 clients connected already" in s.err
