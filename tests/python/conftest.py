"""The built quorvane-lab beside the module: CTest passes its path."""
import os
import subprocess

import pytest


def run_lab(*args, cwd=None):
    lab = os.environ.get("QUORVANE_LAB")
    if not lab:
        pytest.fail("QUORVANE_LAB is not set (CTest sets it to the built quorvane-lab)")
    return subprocess.run([lab, *args], capture_output=True, text=True, cwd=cwd, timeout=120)


def lab_refusal(*args):
    """The line quorvane-lab refuses its arguments with, without the option's name."""
    r = run_lab(*args)
    assert r.returncode == 2, (args, r.stderr)
    line = r.stderr.strip()
    assert line.startswith("quorvane-lab: ") and line.endswith(" (see --help)"), line
    option_and_message = line[len("quorvane-lab: "):-len(" (see --help)")]
    return option_and_message.split(": ", 1)[1]
