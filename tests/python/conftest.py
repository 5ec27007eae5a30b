"""Shared fixtures of the Python module tests: the module, the command-line program and
a virtual board."""
import os
import subprocess

import pytest

import evkit714

CLI = os.environ.get("EVKIT_CLI_PATH", "evkit714-cli")


class CliRun:
    def __init__(self, proc):
        self.status = proc.returncode
        self.out = proc.stdout
        self.err = proc.stderr
        self.values = {}
        for line in proc.stdout.splitlines():
            if "=" in line:
                key, value = line.split("=", 1)
                self.values.setdefault(key, value)


def run_cli(*args, cwd=None):
    """Runs the command-line program with the arguments, as a user would."""
    proc = subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, cwd=cwd,
                          timeout=120)
    return CliRun(proc)


@pytest.fixture
def cli():
    return run_cli


@pytest.fixture
def board():
    with evkit714.open("sim", trace=True) as b:
        yield b
