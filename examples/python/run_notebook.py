#!/usr/bin/python3
"""Executes a notebook headless (nbclient) and fails on the first cell that raises.

    PYTHONPATH=build/python ./examples/python/run_notebook.py examples/python/board_tour.ipynb
"""
import importlib
import sys
from typing import Any

# Imported by name: neither package ships type information.
nbclient: Any = importlib.import_module("nbclient")
nbformat: Any = importlib.import_module("nbformat")


def main() -> int:
    path = sys.argv[1] if len(sys.argv) > 1 else "examples/python/board_tour.ipynb"
    nb = nbformat.read(path, as_version=4)
    nbclient.NotebookClient(nb, timeout=300, kernel_name="python3").execute()
    outputs = sum(len(cell.get("outputs", [])) for cell in nb.cells)
    print(f"{path}: {len(nb.cells)} cells run, {outputs} outputs")
    return 0


if __name__ == "__main__":
    sys.exit(main())
