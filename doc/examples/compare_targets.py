#!/usr/bin/env python3
"""Which partial-response target detects best: PR4, EPR4, E2PR4 and E3PR4, on the ideal channel or a head.

Measures the Viterbi detector's bit-error rate against SNR on each target with
quorvane.ber and draws it beside the target's union bound, with matplotlib's Agg
backend (no display needed). On the ideal channel SNR is quoted against each
target's own energy, so a curve further left detects better for the same signal
energy per bit. With --channel lorentz or erf every target equalizes the same
read head at --density (SNR against the head's bit energy), a generalised
target designed with the equalizer (gpr5) joins them, and npml's rate is drawn
dotted beside the Viterbi detector's.

    python3 compare_targets.py [--snr FROM:TO:STEP] [--bits N] [--errors E]
                               [--channel ideal|lorentz|erf] [--density D] [--out FILE]
"""
import argparse

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402 (after the backend is chosen)
import numpy as np  # noqa: E402

import quorvane  # noqa: E402

TARGETS = [("pr4", "tab:blue"), ("epr4", "tab:green"), ("e2pr4", "tab:orange"),
           ("e3pr4", "tab:red"), ("gpr5", "tab:purple")]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--snr", default="4:22:1", help="SNR points in dB (default 4:22:1)")
    parser.add_argument("--bits", default="2e6", help="bits per point at most (default 2e6)")
    parser.add_argument("--errors", default="200", help="errors that end a point (default 200)")
    parser.add_argument("--channel", default="ideal", help="ideal (the default), lorentz or erf")
    parser.add_argument("--density", default=None, help="a head's user density (default 2)")
    parser.add_argument("--out", default="compare_targets.png", help="the picture (PNG)")
    args = parser.parse_args()
    head = args.channel != "ideal"
    channel = dict(channel=args.channel, density=args.density and float(args.density))

    fig, ax = plt.subplots(figsize=(9, 6), dpi=100)
    lowest = 1.0
    for name, colour in TARGETS if head else TARGETS[:4]:
        points = quorvane.ber(snr=args.snr, bits=args.bits, errors=args.errors, target=name,
                              **channel)
        if head:
            # The bound at the measured points, the equalized noise as designed.
            ax.semilogy(points["snr_db"], points["union_bound"], "--", color=colour, linewidth=1)
            seen = points["npml_errors"] > 0
            ax.semilogy(points["snr_db"][seen], points["npml_ber"][seen], "x:", color=colour)
            label = name.upper()
        else:
            target = quorvane.Target(name)
            snr = np.linspace(points["snr_db"][0], points["snr_db"][-1], 200)
            bound = target.union_bound(target.sigma_of_snr(snr))
            ax.semilogy(snr, bound, "--", color=colour, linewidth=1)
            label = "%s (d2min %g)" % (name.upper(), target.d2min)
        seen = points["viterbi_errors"] > 0
        ax.semilogy(points["snr_db"][seen], points["viterbi_ber"][seen], "o-", color=colour,
                    label=label)
        if seen.any():
            lowest = min(lowest, points["viterbi_ber"][seen].min())
        at = np.flatnonzero(points["viterbi_ber"] < 1e-3)
        first = "%g dB" % points["snr_db"][at[0]] if at.size else "beyond the range"
        print("%-6s Viterbi BER below 1e-3 from %s (%d points, %d bits)"
              % (name.upper(), first, len(points), points["bits"].sum()))

    ax.set_ylim(max(lowest / 10, 1e-9), 1)
    if head:
        c = quorvane.Channel(**channel)
        ax.set_xlabel("SNR = 10 log10(E_i / sigma^2) in dB, E_i the head's bit energy")
        ax.set_title("Targets on a %s head at density %g (dashed: union bounds, dotted: npml)"
                     % (args.channel, c.settings["density"]))
    else:
        ax.set_xlabel("SNR = 10 log10(E / sigma^2) in dB, E the target's energy")
        ax.set_title("Partial-response targets on the ideal channel (dashed: union bounds)")
    ax.set_ylabel("Viterbi bit-error rate")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend()
    fig.tight_layout()
    fig.savefig(args.out)


if __name__ == "__main__":
    main()
