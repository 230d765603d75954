"""The example in doc/examples runs without a display and draws its picture."""
import os
import subprocess
import sys

import matplotlib.image


def test_compare_targets_draws_its_chart(tmp_path):
    script = os.path.join(os.environ["QUORVANE_EXAMPLES"], "compare_targets.py")
    out = tmp_path / "targets.png"
    env = dict(os.environ)
    env.pop("MPLBACKEND", None)  # the script chooses Agg itself
    r = subprocess.run([sys.executable, script, "--bits", "2e4", "--errors", "20", "--out", str(out)],
                       capture_output=True, text=True, env=env, timeout=120)
    assert r.returncode == 0, r.stderr
    assert matplotlib.image.imread(str(out)).shape == (600, 900, 4)
    for name in ("PR4", "EPR4", "E2PR4", "E3PR4"):
        assert name in r.stdout
