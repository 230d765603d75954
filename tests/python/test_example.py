"""The example in doc/examples runs without a display and draws its picture."""
import os
import subprocess
import sys

import matplotlib.image
import pytest


@pytest.mark.parametrize("options,names", [
    ([], ("PR4", "EPR4", "E2PR4", "E3PR4")),
    (["--channel", "lorentz", "--density", "2.5", "--snr", "12:20:4"],
     ("PR4", "EPR4", "E2PR4", "E3PR4", "GPR5")),
])
def test_compare_targets_draws_its_chart(tmp_path, options, names):
    script = os.path.join(os.environ["QUORVANE_EXAMPLES"], "compare_targets.py")
    out = tmp_path / "targets.png"
    env = dict(os.environ)
    env.pop("MPLBACKEND", None)  # the script chooses Agg itself
    r = subprocess.run([sys.executable, script, "--bits", "2e4", "--errors", "20", *options,
                        "--out", str(out)], capture_output=True, text=True, env=env, timeout=120)
    assert r.returncode == 0, r.stderr
    assert matplotlib.image.imread(str(out)).shape == (600, 900, 4)
    assert [line.split()[0] for line in r.stdout.splitlines()] == list(names)
