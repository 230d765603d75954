"""Ctrl-C, or an exception from the progress function, stops a run and keeps what it finished."""
import os
import signal
import subprocess
import sys

import numpy as np
import pytest

import quorvane

SWEEP = dict(sigma=[0.9, 0.8, 0.7], bits=200000, errors=60, frame=512, seed=2, threads=1)


def raising(error, when):
    def progress(info):
        if when(info):
            raise error
    return progress


@pytest.mark.parametrize("error", [KeyboardInterrupt, ValueError])
def test_a_stop_between_points_keeps_the_points_before_it(error):
    full = quorvane.ber(**SWEEP)
    with pytest.raises(error) as stopped:
        quorvane.ber(**SWEEP, progress=raising(error, lambda info: info["point"] == 2))
    assert stopped.value.result.tolist() == full[:2].tolist()


def test_a_stop_inside_a_point_drops_only_that_point():
    # The second point has no noise and a bit limit out of reach: only the
    # stop can end it.
    settings = dict(bits=1e13, errors=60, frame=512, seed=2, threads=2)
    first = quorvane.ber(sigma=0.9, **settings)
    with pytest.raises(KeyboardInterrupt) as stopped:
        quorvane.ber(sigma=[0.9, 0], **settings,
                     progress=raising(KeyboardInterrupt, lambda i: i["point"] == 1 and i["bits"] > 0))
    assert stopped.value.result.tolist() == first.tolist()


def test_the_eye_keeps_the_blocks_it_drew():
    with pytest.raises(KeyboardInterrupt) as stopped:
        quorvane.eye(runs=10**7, progress=raising(KeyboardInterrupt, lambda i: i["blocks"] > 0))
    hits = stopped.value.result
    assert hits.shape == (276, 428) and hits.dtype == np.uint32 and hits.sum() > 0


CTRL_C = """
import sys, quorvane
def progress(info):
    if info["point"] == 1 and info["bits"] > 0:
        print("running", flush=True)
try:
    quorvane.ber(sigma=[0.9, 0], bits=1e13, errors=60, frame=512, progress=progress)
except KeyboardInterrupt as stopped:
    print(len(stopped.result), stopped.result["viterbi_errors"][0] >= 60)
"""


def test_ctrl_c_stops_a_sweep():
    child = subprocess.Popen([sys.executable, "-c", CTRL_C], stdout=subprocess.PIPE, text=True,
                             env=os.environ)
    try:
        assert child.stdout.readline() == "running\n"
        child.send_signal(signal.SIGINT)
        out, _ = child.communicate(timeout=60)
    finally:
        child.kill()
    assert child.returncode == 0 and out.splitlines()[-1] == "1 True"
