"""LDPC codes from Python: the command line's codes, encoder, decoders and refusals."""
import numpy as np
import pytest

import quorvane


def test_codewords_satisfy_every_check_and_decode_back():
    code = quorvane.Code("sector512")
    assert (code.n, code.k, code.checks) == (4608, 4096, 512)
    user = np.random.default_rng(3).integers(0, 2, size=(3, code.k), dtype=np.uint8)
    words = code.encode(user)
    assert not code.syndrome(words).any()
    assert np.array_equal(words[:, code.user_columns], user)
    # Flip a few bits' ratios: every decoder finds the codeword again.
    ratios = np.where(words == 0, 4.0, -4.0).astype(np.float32)
    ratios[:, [5, 900, 4000]] *= -0.25
    for decoder in ("nms", "oms", "sp"):
        out = code.decode(ratios, decoder=decoder)
        assert np.array_equal(out["bits"], words), decoder
        assert out["syndrome_zero"].all()
    single = code.decode(ratios[0])
    assert single["syndrome_zero"] is True and single["iterations"] >= 1


@pytest.mark.parametrize("call,text", [
    (lambda c: c.encode(np.zeros(10, np.uint8)), "user: has 10 values a frame; the code takes 4096"),
    (lambda c: c.decode(np.zeros(4608, np.float32), decoder="bp"), "'bp' is none of nms, oms, sp"),
    (lambda c: c.decode(np.zeros(4608, np.float32), local=0), "local:"),
    (lambda c: c.decode(np.zeros(4608, np.float32), normalization=1.5), "normalization:"),
    (lambda c: quorvane.Code("nosuch"), "is no built-in code"),
    (lambda c: quorvane.sfr(snr=14, detectors="viterbi"), "sectors need a soft detector"),
])
def test_bad_calls_are_refused(call, text):
    with pytest.raises(ValueError) as refused:
        call(quorvane.Code())
    assert text in str(refused.value)


def test_an_alist_written_reads_back_as_the_same_code(tmp_path):
    path = tmp_path / "c.alist"
    path.write_text(quorvane.Code("sector512").write_alist())
    assert quorvane.Code(str(path)).report() == quorvane.Code("sector512").report()


@pytest.mark.parametrize("snr,target", [(14.75, "e2pr4"), (12.5, "1")])
def test_iterate_on_a_sectors_samples_is_the_engines_sector(snr, target):
    # The first sector of sfr's first point, decoded from its samples, fails or
    # not, and takes the iterations, as sfr counts it on that sector alone.
    keys = dict(snr=snr, target=target, seed=4)
    one = quorvane.sector(**keys)
    assert one["samples"].dtype == np.float32 and len(one["codeword"]) == 4608
    out = quorvane.iterate(one["samples"], **keys)
    row = quorvane.sfr(sectors=1, threads=1, **keys)[0]
    assert out["syndrome_zero"] == (row["failed"] == 0)
    assert out["iterations"] == row["mean_iterations"]
    wrong = np.count_nonzero(out["bits"][quorvane.Code().user_columns] != one["user"])
    assert wrong == row["bit_errors"]
    assert np.array_equal(out["bits"], (out["posterior"] < 0).astype(np.uint8))
    if out["syndrome_zero"]:
        assert not quorvane.Code().syndrome(out["bits"]).any()
    with pytest.raises(ValueError, match=r"samples: has \d+ values; a sector"):
        quorvane.iterate(one["samples"][:-1], **keys)
    with pytest.raises(ValueError, match="samples:"):
        quorvane.iterate(np.stack([one["samples"]] * 2), **keys)
