"""For the same seed the module gives the command line's samples and counts."""
import csv
import io
import math

import matplotlib.image
import numpy as np
import pytest

import quorvane
from conftest import run_lab

TARGETS = [("e3pr4", "zero", 0.4), ("epr4", "none", 0.3), ("1,0.8,-0.3", "zero", 0.2)]


def g9(v):
    return "%.9g" % v


@pytest.mark.parametrize("target,tail,sigma", TARGETS)
def test_detect_and_each_stage_repeat_the_labs_csv(target, tail, sigma):
    r = run_lab("detect", "--runs", "30", "--sigma", str(sigma), "--seed", "7", "--target",
                target, "--tail", tail, "--csv", "-")
    assert r.returncode == 0, r.stderr
    rows = list(csv.DictReader(io.StringIO(r.stdout)))
    d = quorvane.detect(runs=30, sigma=sigma, seed=7, target=target, tail=tail)
    kinds = quorvane.Target(target).detectors
    samples = d["clean"].shape[1]
    assert len(rows) == 30 * samples
    for i, row in enumerate(rows):
        run, k = divmod(i, samples)
        assert row["samp"] == g9(d["clean"][run, k]) and row["received"] == g9(d["received"][run, k])
        for column, values in [("raw", d["raw"])] + [(kind, d[kind]) for kind in kinds]:
            assert row[column] == (str(values[run, k]) if k < 40 else "")
    # The same samples and decisions from the stages one by one: the blocks'
    # noise is one stream, (seed, 0), across all of them.
    prec, clean = quorvane.encode(d["raw"], target, tail)
    assert np.array_equal(prec, d["prec"]) and np.array_equal(clean, d["clean"])
    assert np.array_equal(quorvane.NoiseSource(7, 0).add_noise(clean, sigma), d["received"])
    assert np.array_equal(quorvane.Channel(target, tail).readback(d["raw"], sigma, seed=7),
                          d["received"])
    for kind in kinds:
        assert np.array_equal(getattr(quorvane, kind)(d["received"], target, tail), d[kind])


def csv_of(points):
    lines = [",".join(points.dtype.names)]
    for p in points:
        cells = [g9(p["snr_db"]), g9(p["sigma"]), str(p["bits"])]
        for kind in quorvane.DETECTORS:
            errors, ber = p[kind + "_errors"], p[kind + "_ber"]
            cells += ["", ""] if math.isnan(ber) else [str(int(errors)), g9(ber)]
        lines.append(",".join(cells + [g9(p["union_bound"])]))
    return "\n".join(lines) + "\n"


@pytest.mark.parametrize("noise,kwargs,target,tail", [
    (["--snr", "10:14:2"], dict(snr="10:14:2"), "e3pr4", "zero"),
    (["--snr", "10:14:2"], dict(snr=[10, 12, 14]), "e3pr4", "none"),
    (["--sigma", "0.5,0.7"], dict(sigma=[0.5, 0.7]), "pr4", "zero"),
    (["--sigma", "0.3"], dict(sigma=0.3), "1,0.8,-0.3", "zero"),
])
def test_ber_is_the_labs_csv(noise, kwargs, target, tail):
    settings = dict(bits=300000, errors=200, frame=1000, seed=3)
    r = run_lab("ber", *noise, "--bits", "3e5", "--errors", "200", "--frame", "1000", "--seed",
                "3", "--threads", "2", "--target", target, "--tail", tail, "--csv", "-")
    assert r.returncode == 0, r.stderr
    points = quorvane.ber(**kwargs, **settings, threads=1, target=target, tail=tail)
    assert csv_of(points) == r.stdout


def test_a_channels_frame_is_a_sweeps_first_frame():
    # One frame a point: chunk 0 of point 0 draws it from the stream (seed, 0).
    frame = quorvane.Channel("e2pr4").frame(bits=4096, sigma=0.55, seed=9, stream=0)
    point = quorvane.ber(sigma=0.55, bits=4096, frame=4096, seed=9, target="e2pr4")[0]
    assert point["bits"] == 4096
    for kind in ("slicer", "viterbi"):
        errors = np.count_nonzero(getattr(quorvane, kind)(frame["received"], "e2pr4") != frame["raw"])
        assert errors == point[kind + "_errors"] and errors > 0


@pytest.mark.parametrize("target", ["e3pr4", "1,0.8,-0.3"])
def test_events_are_the_labs(target):
    r = run_lab("events", "--target", target)
    assert r.returncode == 0, r.stderr
    events = quorvane.Target(target).events()
    lines = ["d2,event,raw_bit_errors"] + [
        "%s,%s,%d" % (g9(e["d2"]), e["event"], e["raw_bit_errors"]) for e in events]
    assert "\n".join(lines) + "\n" == r.stdout


def test_the_eye_has_the_labs_picture(tmp_path):
    r = run_lab("eye", "--runs", "3000", "--sigma", "0.15", "--seed", "4", "--threads", "2",
                "--png", str(tmp_path / "eye.png"))
    assert r.returncode == 0, r.stderr
    hits = quorvane.eye(runs=3000, sigma=0.15, seed=4, threads=1)
    g = quorvane.eye_geometry()
    assert hits.shape == (g["height"], g["width"]) == (276, 428)
    picture = matplotlib.image.imread(str(tmp_path / "eye.png"))[:, :, :3]
    # The eye sits at (48, 38) from the top left, its rows top down; a pixel
    # is black exactly where no trace passed.
    eye = picture[38:38 + 276, 48:48 + 428][::-1]
    assert np.array_equal(np.all(eye == 0, axis=2), hits == 0)
    assert 0 < np.count_nonzero(hits) < hits.size
