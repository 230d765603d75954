"""Arrays in every layout, and the refusals: wrong arrays, and the command line's own lines."""
import numpy as np
import pytest

import quorvane
from conftest import lab_refusal

RAW = np.random.default_rng(5).integers(0, 2, size=(131, 300), dtype=np.uint8)


def test_frames_a_row_and_every_layout_decide_alike():
    y = quorvane.Channel(sigma=0.45).readback(RAW, seed=2)
    one_by_one = np.array([quorvane.viterbi(row) for row in y])
    detector = quorvane.Detector("viterbi")
    assert np.array_equal(detector.detect(y), one_by_one)
    assert np.array_equal(detector.detect(np.asfortranarray(y)), one_by_one)
    assert np.array_equal(detector.detect(y[::-1])[::-1], one_by_one)
    assert np.count_nonzero(one_by_one != RAW) > 0
    # A frame of another length through the same detector, then back.
    assert np.array_equal(detector.detect(y[0, :-10]), quorvane.viterbi(y[0, :-10]))
    assert np.array_equal(detector.detect(y[7]), one_by_one[7])
    # Bits as bool or as a list of ints are the same bits.
    prec, samples = quorvane.encode(RAW[0])
    for bits in (RAW[0].astype(bool), RAW[0].tolist()):
        assert np.array_equal(quorvane.encode(bits)[1], samples)
    assert np.array_equal(quorvane.Target().inverse_precode(prec), RAW[0])


Y = np.zeros(50, np.float32)
SLICER_NEEDS = "the slicer needs an integer target with an odd first coefficient"


@pytest.mark.parametrize("call,error,text", [
    (lambda: quorvane.viterbi(Y.astype(np.float64)), TypeError, "y: expected float32 samples, not float64"),
    (lambda: quorvane.viterbi(Y.astype(np.int16)), TypeError, "not int16"),
    (lambda: quorvane.viterbi(["a", "b"]), TypeError, "expected float32 samples, not <U1"),
    (lambda: quorvane.viterbi(Y.reshape(1, 5, 10)), ValueError, "not 3-D"),
    (lambda: quorvane.viterbi(Y[:5]), ValueError, "a frame of 5 samples has no bits before the tail of 5"),
    (lambda: quorvane.slicer(Y[:0], tail="none"), ValueError, "y: is empty"),
    (lambda: quorvane.slicer(Y, target="1,0.8,-0.3"), ValueError, "target: " + SLICER_NEEDS),
    (lambda: quorvane.Detector("slicer", "2,1"), ValueError, "kind: " + SLICER_NEEDS),
    (lambda: quorvane.Detector("nmpl"), ValueError, "kind: 'nmpl' is not a detector (slicer, viterbi, npml, bcjr, maxlog, sova, "
     "npbcjr)"),
    (lambda: quorvane.Detector("npml"), ValueError, "kind: npml predicts the noise an equalizer colours"),
    (lambda: quorvane.npml(Y, "e3pr4"), TypeError, "channel: expected a quorvane.Channel"),
    (lambda: quorvane.npml(Y, quorvane.Channel()), ValueError, "channel: npml predicts the noise"),
    (lambda: quorvane.Target("gpr5"), ValueError, "target: gpr5 is designed with a head's equalizer"),
    (lambda: quorvane.Channel(channel=2), TypeError, 'channel: expected "ideal", "lorentz" or "erf"'),
    (lambda: quorvane.encode(np.array([0, 1, 2], np.uint8)), ValueError, "raw: bit 2 is 2, neither 0 nor 1"),
    (lambda: quorvane.encode([[0, 1], [1, -1]]), ValueError, "raw: bit 3 is -1, neither 0 nor 1"),
    (lambda: quorvane.encode(np.zeros(4, np.int32)), TypeError, "expected uint8 or bool bits, not int32"),
    (lambda: quorvane.encode(np.zeros(4, np.float32)), TypeError, "not float32"),
    (lambda: quorvane.add_noise(Y, -0.5), ValueError, "sigma: '-0.5' is negative"),
    (lambda: quorvane.add_noise(Y, float("nan")), ValueError, "sigma: 'nan' is not a number"),
    (lambda: quorvane.add_noise(Y, True), TypeError, "sigma: expected a number, not a bool"),
    (lambda: quorvane.NoiseSource().add_noise(Y, -1), ValueError, "sigma: '-1' is negative"),
    (lambda: quorvane.Channel(sigma=float("nan")), ValueError, "'nan' is not a number"),
    (lambda: quorvane.Target().union_bound([0.3, -0.1]), ValueError, "sigma: '-0.1' is negative"),
    (lambda: quorvane.Target().union_bound(np.array([0.3, np.nan])), ValueError, "'nan' is not a number"),
    (lambda: quorvane.ber(sigma=[0.3, float("nan")]), ValueError, "sigma: 'nan' is not a number"),
    (lambda: quorvane.ber(), ValueError, "sigma or snr is required"),
    (lambda: quorvane.ber(sigma=0.3, snr=10), ValueError, "sigma: excludes snr"),
    (lambda: quorvane.ber(sigma=0.3, progress=5), TypeError, "progress: expected a function"),
    (lambda: quorvane.eye(size=(100, 20)), ValueError, "size: '100x20' has a side outside 64 ... 4096"),
    (lambda: quorvane.eye(size="64x64", uis=8), ValueError, "needs at least 161 pixels across, not 64"),
    (lambda: quorvane.Channel(constraint="mtr2-4/5").frame(4001), ValueError,
     "bits: 4001 is not a whole number of mtr2-4/5 words of 5 bits"),
    (lambda: quorvane.eye(point="sideways"), ValueError,
     "point: 'sideways' is neither readback nor equalized"),
    (lambda: quorvane.eye(point=1), TypeError, 'point: expected "readback" or "equalized"'),
])
def test_bad_arrays_and_values_are_refused(call, error, text):
    with pytest.raises(error) as refused:
        call()
    assert text in str(refused.value)


@pytest.mark.parametrize("args,call", [
    (["ber", "--sigma=-1"], lambda: quorvane.ber(sigma=-1)),
    (["ber", "--sigma", "0.3,1000.0"], lambda: quorvane.ber(sigma=[0.3, 1e3])),
    (["ber", "--snr", "40:30:1"], lambda: quorvane.ber(snr="40:30:1")),
    (["ber", "--snr", "0:100:0.01"], lambda: quorvane.ber(snr="0:100:0.01")),
    (["ber", "--sigma", "0.3", "--frame", "0"], lambda: quorvane.ber(sigma=0.3, frame=0)),
    (["ber", "--sigma", "0.3", "--bits", "1.5"], lambda: quorvane.ber(sigma=0.3, bits=1.5)),
    (["ber", "--sigma", "0.3", "--threads", "257"], lambda: quorvane.ber(sigma=0.3, threads=257)),
    (["ber", "--sigma", "0.3", "--target", "xyz"], lambda: quorvane.ber(sigma=0.3, target="xyz")),
    (["ber", "--sigma", "0.3", "--target", "1,0,2,0,0,0,0,1"],
     lambda: quorvane.ber(sigma=0.3, target=[1, 0, 2, 0, 0, 0, 0, 1])),
    (["ber", "--sigma", "0.3", "--target", "0,1"], lambda: quorvane.Target([0, 1])),
    (["ber", "--sigma", "0.3", "--tail", "maybe"], lambda: quorvane.ber(sigma=0.3, tail="maybe")),
    (["detect", "--runs", "0"], lambda: quorvane.detect(runs=0)),
    (["detect", "--snr", "101"], lambda: quorvane.detect(snr=101)),
    (["eye", "--png", "-", "--uis", "17"], lambda: quorvane.eye(uis=17)),
    (["events", "--max-d2", "100"], lambda: quorvane.Target().events(max_d2=100)),
    (["events", "--max-len", "25"], lambda: quorvane.Target().events(max_len=25)),
    (["ber", "--sigma", "0.5", "--density", "2"], lambda: quorvane.ber(sigma=0.5, density=2)),
    (["ber", "--sigma", "0.5", "--predictor", "2"], lambda: quorvane.Channel(predictor=2)),
    (["ber", "--sigma", "0.5", "--channel", "head"], lambda: quorvane.Channel(channel="head")),
    (["ber", "--sigma", "0.5", "--channel", "lorentz", "--density", "0.4"],
     lambda: quorvane.Channel(channel="lorentz", density=0.4)),
    (["ber", "--sigma", "0.5", "--channel", "erf", "--taps", "14"],
     lambda: quorvane.ber(sigma=0.5, channel="erf", taps=14)),
    (["ber", "--sigma", "0.5", "--channel", "erf", "--jitter", "0.31"],
     lambda: quorvane.Channel(channel="erf", jitter=0.31)),
    (["ber", "--sigma", "0.5", "--channel", "erf", "--predictor", "5"],
     lambda: quorvane.Channel(channel="erf", predictor=5)),
    (["ber", "--sigma", "0.5", "--channel", "lorentz", "--target", "gpr7"],
     lambda: quorvane.Channel(channel="lorentz", target="gpr7")),
    (["ber", "--sigma", "0.5", "--target", "gpr3"], lambda: quorvane.ber(sigma=0.5, target="gpr3")),
    (["ber", "--sigma", "0.5", "--channel", "lorentz", "--target", "gpr3", "--detector", "slicer"],
     lambda: quorvane.ber(sigma=0.5, channel="lorentz", target="gpr3", detectors=["slicer"])),
    (["ber", "--sigma", "0.5", "--channel", "lorentz", "--target", "2,1", "--detector", "slicer"],
     lambda: quorvane.detect(channel="lorentz", target=[2, 1], detectors="slicer")),
    (["ber", "--sigma", "0.5", "--detector", "npml"], lambda: quorvane.ber(sigma=0.5, detectors="npml")),
    (["ber", "--sigma", "0.5", "--detector", "viterbi,bogus"],
     lambda: quorvane.ber(sigma=0.5, detectors=["viterbi", "bogus"])),
    (["ber", "--sigma", "0.5", "--target", "e3pr4,e3pr4"],
     lambda: quorvane.ber(sigma=0.5, target="e3pr4,e3pr4")),
    (["ber", "--sigma", "0.5", "--target", "pr4,epr4,e2pr4,e3pr4,gpr2,gpr3,gpr4,gpr5,gpr6",
      "--target", "1,2,1", "--target", "1,3", "--target", "1,4", "--target", "1,5",
      "--target", "1,6", "--target", "1,7", "--target", "1,8", "--target", "1,9"],
     lambda: quorvane.ber(sigma=0.5, target=["pr4,epr4,e2pr4,e3pr4,gpr2,gpr3,gpr4,gpr5,gpr6"] +
                          [[1, n] for n in range(2, 10)])),
    (["detect", "--target", "e2pr4,e3pr4"], lambda: quorvane.detect(target="e2pr4,e3pr4")),
    (["eye", "--channel", "lorentz", "--target", "gpr3", "--png", "-"],
     lambda: quorvane.eye(channel="lorentz", target="gpr3")),
    (["targets", "--density", "0.4"], lambda: quorvane.targets(density=0.4)),
    (["targets", "--density", "3:2:0.5"], lambda: quorvane.targets(density="3:2:0.5")),
    (["targets", "--density", "2", "--channel", "ideal"], lambda: quorvane.targets(2, channel="ideal")),
    (["targets", "--density", "2", "--snr", "101"], lambda: quorvane.targets([2, 3], snr=101)),
    (["ber", "--sigma", "0.5", "--adc-bits", "3"], lambda: quorvane.ber(sigma=0.5, adc_bits=3)),
    (["ber", "--sigma", "0.5", "--adc-bits", "6", "--target", "1,0.5"],
     lambda: quorvane.Channel(adc_bits=6.0, target=[1, 0.5])),
    (["ber", "--sigma", "0.5", "--noise-stream", "fast"],
     lambda: quorvane.ber(sigma=0.5, noise_stream="fast")),
    (["ber", "--sigma", "0.5", "--rse", "2"], lambda: quorvane.ber(sigma=0.5, rse=2)),
    (["ber", "--sigma", "0.5", "--estimator", "mcmc"],
     lambda: quorvane.ber(sigma=0.5, estimator="mcmc")),
    (["ber", "--sigma", "inf"], lambda: quorvane.ber(sigma=float("inf"))),
    (["ber", "--sigma", "0.3", "--channel", "lorentz", "--density", "nan"],
     lambda: quorvane.Channel(channel="lorentz", density=float("nan"))),
])
def test_refusals_are_the_command_lines(args, call):
    with pytest.raises(ValueError) as refused:
        call()
    assert str(refused.value).split(": ", 1)[1] == lab_refusal(*args)


HEAD = quorvane.Channel("e2pr4", channel="lorentz", density=2.8, jitter=0.04, snr=15)


def test_a_heads_stages_and_detectors_fit_together():
    t = HEAD.transmit(RAW[:4], seed=5)
    assert np.array_equal(t["received"], HEAD.readback(RAW[:4], seed=5))
    assert np.array_equal(t["clean"], quorvane.encode(RAW[:4], HEAD.target)[1])
    # The equalizer's output is its taps over the readback less its mean.
    e = HEAD.equalizer
    taps, first = e["taps"], t["readback_first"]
    for k in (0, 77, 303):
        x = t["readback"][:, k + e["delay"] - len(taps) + 1 - first:k + e["delay"] + 1 - first]
        z = (x[:, ::-1] - e["offset"]) @ taps + sum(HEAD.target.coefficients) / 2
        assert np.allclose(z, t["received"][:, k], atol=1e-4)
    # npml's own Detector and the function decide alike; noise coloured by
    # the equalizer is what its predictor whitens.
    npml = quorvane.Detector("npml", HEAD)
    assert np.array_equal(npml.detect(t["received"]), quorvane.npml(t["received"], HEAD))
    assert len(HEAD.predictor) == 2 and HEAD.noise_correlation[1] != 0
    assert HEAD.detectors == ("slicer", "viterbi", "npml") and HEAD.signal_energy < 1


def test_a_coded_frame_is_the_codes_words():
    # No run of three transitions in the written words, and the user bits
    # come back through the constrained Viterbi detector at low noise.
    f = quorvane.Channel(target="e2pr4", constraint="mtr2-4/5", sigma=0.05).frame(4000, seed=3)
    raw = f["raw"]
    assert len(f["user"]) == 3200 and len(raw) == 4000
    assert not np.any(raw[:-2] & raw[1:-1] & raw[2:])
    assert np.array_equal(quorvane.viterbi(f["received"], quorvane.Channel(
        target="e2pr4", constraint="mtr2-4/5")), raw)


def test_every_detector_and_channel_option_is_offered():
    # The tables are the module's: a function a detector, each one through
    # Detector too, and every channel option a keyword; an unknown one is
    # Python's own TypeError.
    head = quorvane.Channel(channel="lorentz", density=2.5, sigma=0.1)
    y = head.readback(RAW[:2], seed=4)
    for name in quorvane.DETECTORS:
        on = quorvane.Channel() if name in quorvane.Channel().detectors else head
        samples = quorvane.Channel().readback(RAW[:2], seed=4) if on is not head else y
        out = getattr(quorvane, name)(samples, on)
        bits = quorvane.Detector(name, on).detect(samples)
        ratios = quorvane.Detector(name, on).soft(samples)
        # A soft detector's function gives its ratios, a hard one's its bits.
        assert np.array_equal(out, ratios if out.dtype == np.float32 else bits)
        assert ratios.dtype == np.float32 and np.array_equal(ratios < 0, bits == 1)
    assert set(head.settings) >= {"channel", "density", "jitter", "taps", "predictor", "tail",
                                  "adc_bits", "noise_stream"}
    with pytest.raises(TypeError, match="unexpected keyword argument 'densty'"):
        quorvane.Channel(densty=2)
