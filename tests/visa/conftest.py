"""Fixtures of the instrument server tests: `evkit714-cli serve` on the virtual board on an
ephemeral loopback port, and VISA sessions to it through pyvisa with the pyvisa-py backend."""
import os
import signal
import subprocess

import pytest
import pyvisa

CLI = os.environ.get("EVKIT_CLI_PATH", "evkit714-cli")


class Served:
    def __init__(self, *args, board="sim"):
        self.proc = subprocess.Popen([CLI, "--board", board, *args[0], "serve",
                                      "--listen", "127.0.0.1:0", *args[1]],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.values = {}
        for line in self.proc.stdout:
            key, _, value = line.strip().partition("=")
            self.values[key] = value
            if key == "listening":
                break
        assert "listening" in self.values, self.proc.stderr.read()
        self.port = int(self.values["listening"].rsplit(":", 1)[1])
        self.resource = f"TCPIP::127.0.0.1::{self.port}::SOCKET"
        self.err = ""

    def stop(self):
        """Ctrl-C, as a user stops it; returns the exit status and keeps stderr."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
        try:
            _, self.err = self.proc.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            _, self.err = self.proc.communicate()
        return self.proc.returncode


@pytest.fixture
def serve():
    started = []

    def start(*serve_args, global_args=()):
        s = Served(list(global_args), list(serve_args))
        started.append(s)
        return s

    yield start
    for s in started:
        s.stop()


@pytest.fixture
def visa():
    rm = pyvisa.ResourceManager("@py")
    opened = []

    def open_(resource):
        inst = rm.open_resource(resource, read_termination="\n", write_termination="\n",
                                timeout=20000)
        opened.append(inst)
        return inst

    yield open_
    for inst in opened:
        try:
            inst.close()
        except Exception:
            pass
    rm.close()


def run_cli(*args, cwd=None):
    return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, cwd=cwd,
                          timeout=120)


def read_dat(path):
    """Samples of a capture file: four header lines, then one code per line."""
    lines = open(path).read().split()
    return [int(v) for v in lines[4:]]
