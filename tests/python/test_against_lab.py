"""For the same seed the module gives the command line's samples and counts."""
import csv
import io
import math

import matplotlib.image
import numpy as np
import pytest

import quorvane
from conftest import run_lab

# (target, tail, sigma, the channel's options on the command line and here)
DETECT = [("e3pr4", "zero", 0.4, [], {}), ("epr4", "none", 0.3, [], {}),
          ("1,0.8,-0.3", "zero", 0.2, [], {}),
          ("e2pr4", "zero", 0.06, ["--channel", "lorentz", "--density", "2.5", "--jitter", "0.03"],
           dict(channel="lorentz", density=2.5, jitter=0.03)),
          ("gpr4", "none", 0.03, ["--channel", "erf", "--density", "1.5", "--taps", "11"],
           dict(channel="erf", density=1.5, taps=11))]


def g9(v):
    return "%.9g" % v


@pytest.mark.parametrize("target,tail,sigma,options,kwargs", DETECT)
def test_detect_and_each_stage_repeat_the_labs_csv(target, tail, sigma, options, kwargs):
    r = run_lab("detect", "--runs", "30", "--sigma", str(sigma), "--seed", "7", "--target",
                target, "--tail", tail, *options, "--csv", "-")
    assert r.returncode == 0, r.stderr
    rows = list(csv.DictReader(io.StringIO(r.stdout)))
    d = quorvane.detect(runs=30, sigma=sigma, seed=7, target=target, tail=tail, **kwargs)
    channel = quorvane.Channel(target, tail, sigma=sigma, **kwargs)
    kinds = channel.detectors
    samples = d["clean"].shape[1]
    assert len(rows) == 30 * samples and list(rows[0])[5:] == list(kinds)
    for i, row in enumerate(rows):
        run, k = divmod(i, samples)
        assert row["samp"] == g9(d["clean"][run, k]) and row["received"] == g9(d["received"][run, k])
        for column, values in [("raw", d["raw"])] + [(kind, d[kind]) for kind in kinds]:
            assert row[column] == (str(values[run, k]) if k < 40 else "")
    # The same samples and decisions from the stages one by one: the blocks'
    # noise (and jitter) is one stream, (seed, 0), across all of them.
    assert d["target"].coefficients == channel.target.coefficients
    prec, clean = quorvane.encode(d["raw"], channel.target, tail)
    assert np.array_equal(prec, d["prec"]) and np.array_equal(clean, d["clean"])
    if not kwargs:
        assert np.array_equal(quorvane.NoiseSource(7, 0).add_noise(clean, sigma), d["received"])
    assert np.array_equal(channel.readback(d["raw"], seed=7), d["received"])
    for kind in kinds:
        detect = quorvane.npml if kind == "npml" else getattr(quorvane, kind)
        assert np.array_equal(detect(d["received"], channel), d[kind])


@pytest.mark.parametrize("code,user", [("mtr2-4/5", 40), ("rll-16/17", 32)])
def test_detect_under_a_code_repeats_the_labs_coded_and_user_columns(code, user):
    r = run_lab("detect", "--runs", "6", "--snr", "12", "--constraint", code, "--csv", "-")
    rows = list(csv.DictReader(io.StringIO(r.stdout)))
    d = quorvane.detect(runs=6, snr=12, constraint=code)
    samples = d["received"].shape[1]
    assert len(rows) == 6 * samples and d["user"].shape == (6, user)
    for i, row in enumerate(rows):
        run, k = divmod(i, samples)
        assert all(row[c] == (str(d[c][run, k]) if k < d[c].shape[1] else "")
                   for c in ["raw", "viterbi", "user", "viterbi_user"]), (run, k)


def csv_of(points):
    lines = [",".join(points.dtype.names)]
    for p in points:
        cells = []
        for name in points.dtype.names:
            v = p[name]
            if name in ("target", "bits"):
                cells.append(str(v))
            elif math.isnan(v):
                cells.append("")
            else:
                cells.append(str(int(v)) if name.endswith("_errors") else g9(v))
        lines.append(",".join(cells))
    return "\n".join(lines) + "\n"


HEAD = ["--channel", "lorentz", "--density", "2.5", "--jitter", "0.03"]


@pytest.mark.parametrize("options,kwargs", [
    (["--snr", "10:14:2"], dict(snr="10:14:2")),
    (["--snr", "10:14:2", "--tail", "none"], dict(snr=[10, 12, 14], tail="none")),
    (["--sigma", "0.5,0.7", "--target", "pr4"], dict(sigma=[0.5, 0.7], target="pr4")),
    (["--sigma", "0.3", "--target", "1,0.8,-0.3"], dict(sigma=0.3, target=[1, 0.8, -0.3])),
    (["--snr", "15:17:2", "--target", "e2pr4,gpr3", *HEAD],
     dict(snr="15:17:2", target=["e2pr4", "gpr3"], channel="lorentz", density=2.5, jitter=0.03)),
    (["--snr", "16", "--target", "epr4", "--channel", "erf", "--density", "1.5",
      "--predictor", "3", "--detector", "viterbi,npml"],
     dict(snr=16, target="epr4", channel="erf", density=1.5, predictor=3,
          detectors=["viterbi", "npml"])),
    (["--snr", "18:20:2", "--adc-bits", "6", "--noise-stream", "lanes"],
     dict(snr="18:20:2", adc_bits=6, noise_stream="lanes")),
])
def test_ber_is_the_labs_csv(options, kwargs):
    r = run_lab("ber", *options, "--bits", "3e5", "--errors", "200", "--frame", "1000", "--seed",
                "3", "--threads", "2", "--csv", "-")
    assert r.returncode == 0, r.stderr
    points = quorvane.ber(**kwargs, bits=300000, errors=200, frame=1000, seed=3, threads=1)
    assert csv_of(points) == r.stdout


@pytest.mark.parametrize("options,kwargs,tail", [
    ([], {}, ",rs_failed,rs_sfr"),
    (["--phase", "0.4", "--freq-offset", "300", "--channel", "lorentz", "--density", "2",
      "--target", "epr4"],
     dict(phase=0.4, freq_offset=300, channel="lorentz", density=2, target="epr4"),
     ",rs_sfr,slips,rms_phase")])
def test_sfr_is_the_labs_csv_with_timing_after_its_columns(options, kwargs, tail):
    r = run_lab("sfr", "--snr", "16", "--sectors", "4", "--seed", "2", "--threads", "2", *options,
                "--csv", "-")
    assert r.returncode == 0, r.stderr
    assert r.stdout.split("\n")[0].endswith(tail)
    points = quorvane.sfr(snr=16, sectors=4, seed=2, threads=1, **kwargs)
    assert csv_of(points) == r.stdout


@pytest.mark.parametrize("kwargs", [dict(sigma=0.55), dict(snr=13, channel="lorentz", density=2.5)])
def test_a_channels_frame_is_a_sweeps_first_frame(kwargs):
    # One frame a point: chunk 0 of point 0 draws it from the stream (seed, 0).
    channel = quorvane.Channel("e2pr4", **kwargs)
    frame = channel.frame(bits=4096, seed=9, stream=0)
    point = quorvane.ber(bits=4096, frame=4096, seed=9, target="e2pr4", **kwargs)[0]
    assert point["bits"] == 4096 and point["sigma"] == channel.sigma
    for kind in channel.detectors:
        detect = quorvane.npml if kind == "npml" else getattr(quorvane, kind)
        errors = np.count_nonzero(detect(frame["received"], channel) != frame["raw"])
        assert errors == point[kind + "_errors"] and errors > 0


@pytest.mark.parametrize("options,kwargs", [
    (["--density", "1:3:1"], dict(density="1:3:1")),
    (["--density", "2.5", "--channel", "erf", "--snr", "24", "--jitter", "0.04", "--taps", "9"],
     dict(density=[2.5], channel="erf", snr=24, jitter=0.04, taps=9)),
])
def test_targets_are_the_labs_csv(options, kwargs):
    r = run_lab("targets", *options, "--csv", "-")
    assert r.returncode == 0, r.stderr
    rows = quorvane.targets(**kwargs)
    lines = [",".join(rows.dtype.names)] + [
        '%s,%s,"%s",%d,%s,%s,%s' % (g9(t["density"]), t["target"], t["coefficients"], t["delay"],
                                    g9(t["mse"]), g9(t["d2min"]), g9(t["detection_snr_db"]))
        for t in rows]
    assert "\n".join(lines) + "\n" == r.stdout


@pytest.mark.parametrize("target", ["e3pr4", "1,0.8,-0.3"])
def test_events_are_the_labs(target):
    r = run_lab("events", "--target", target)
    assert r.returncode == 0, r.stderr
    events = quorvane.Target(target).events()
    lines = ["d2,event,raw_bit_errors"] + [
        "%s,%s,%d" % (g9(e["d2"]), e["event"], e["raw_bit_errors"]) for e in events]
    assert "\n".join(lines) + "\n" == r.stdout


@pytest.mark.parametrize("options,kwargs,shape", [
    ([], {}, (276, 428)),
    (["--channel", "lorentz", "--jitter", "0.05"], dict(channel="lorentz", jitter=0.05), None),
    (["--channel", "lorentz", "--density", "2.5", "--target", "epr4", "--point", "equalized"],
     dict(channel="lorentz", density=2.5, target="epr4", point="equalized"), None)])
def test_the_eye_has_the_labs_picture(tmp_path, options, kwargs, shape):
    r = run_lab("eye", "--runs", "3000", "--sigma", "0.15", "--seed", "4", "--threads", "2",
                *options, "--png", str(tmp_path / "eye.png"))
    assert r.returncode == 0, r.stderr
    hits = quorvane.eye(runs=3000, sigma=0.15, seed=4, threads=1, **kwargs)
    g = quorvane.eye_geometry(**kwargs)
    assert hits.shape == (g["height"], g["width"]) == (shape or hits.shape)
    picture = matplotlib.image.imread(str(tmp_path / "eye.png"))[:, :, :3]
    # The eye sits at (48, 38) from the top left, its rows top down; a pixel
    # is black exactly where no trace passed.
    eye = picture[38:38 + g["height"], 48:48 + g["width"]][::-1]
    black = np.all(eye == 0, axis=2)
    equalized = kwargs.get("point") == "equalized"
    if not kwargs.get("channel") or equalized:
        # At the target's levels the openings at the middle sampling instant
        # are marked beside it (an I-beam 5 columns wide, 3 to its right):
        # those columns are the picture's, not the eye's.
        column = g["left"] + 5 * g["uis"] * g["point_step"]
        marks = slice(column + 1, column + 6)
        black[:, marks] = hits[:, marks] == 0
    if equalized:
        # ... and so are the dotted lines at the levels of an equalized eye.
        for level in quorvane.Target(kwargs["target"]).levels:
            row = g["zero_row"] + int(round(level * g["level_step"]))
            black[row] = hits[row] == 0
    assert np.array_equal(black, hits == 0)
    assert 0 < np.count_nonzero(hits) < hits.size


@pytest.mark.parametrize("options,kwargs", [
    (["--snr", "22", "--phase", "0.4", "--freq-offset", "200"], dict(snr=22, phase=0.4, freq_offset=200)),
    (["--sigma", "0.05", "--channel", "lorentz", "--density", "2.5", "--phase", "-0.3",
      "--ted-decisions", "viterbi", "--ted-delay", "6", "--bits", "2000", "--seed", "5"],
     dict(sigma=0.05, channel="lorentz", density=2.5, phase=-0.3, ted_decisions="viterbi",
          ted_delay=6, bits=2000, seed=5))])
def test_timing_is_the_labs_phase_track(options, kwargs):
    r = run_lab("timing", *options, "--csv", "-")
    assert r.returncode == 0, r.stderr
    rows = list(csv.DictReader(io.StringIO(r.stdout)))
    t = quorvane.timing(**kwargs)
    assert len(rows) == len(t["k"]) > t["data_start"] + kwargs.get("bits", 4096)
    for row, k, a, b, e in zip(rows, t["k"], t["true_phase"], t["recovered_phase"], t["timing_error"]):
        assert (row["k"], row["true_phase"], row["recovered_phase"], row["timing_error"]) == (
            str(k), "%.7g" % a, "%.7g" % b, "%.7g" % e)
