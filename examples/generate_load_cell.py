#!/usr/bin/env python3
"""Writes motor_d12_celula.txt: the load-cell record of a static firing of a small
D-class motor, sampled at 1 kHz, as a data-acquisition system exports it (time in s,
thrust in N, one sample per line, CR LF).

The record has half a second of pre-ignition readings around zero (noise, some of them
negative), the ignition spike, a slowly regressing plateau, the tail-off and a second of
readings after burn-out. The noise comes from a fixed seed, so the file is the same on
every run:

    python3 examples/generate_load_cell.py
"""
import math
import pathlib
import random

RATE = 1000          # samples per second
DURATION = 3.5       # s
IGNITION = 0.520     # s
BURNOUT = 1.950      # s, end of the plateau
TAIL = 0.180         # s, tail-off to zero
NOISE = 0.045        # N, standard deviation of the load cell's noise


def thrust(t: float) -> float:
    """The motor's thrust at time t, without noise."""
    s = t - IGNITION
    if s < 0.0:
        return 0.0
    if s < 0.025:  # pressure rise to the ignition peak
        return 30.0 * math.sin(0.5 * math.pi * s / 0.025)
    if s < 0.200:  # the peak settles to the plateau
        return 13.0 + 17.0 * math.exp(-(s - 0.025) / 0.040)
    end = BURNOUT - IGNITION
    if s < end:  # plateau, slowly falling as the grain regresses
        return 13.0 - 1.8 * (s - 0.200) / (end - 0.200)
    if s < end + TAIL:  # tail-off
        u = (s - end) / TAIL
        return 11.2 * (1.0 - u) ** 2
    return 0.0


def main() -> None:
    rng = random.Random(20121119)
    lines = []
    for i in range(int(DURATION * RATE)):
        t = i / RATE
        f = thrust(t) + rng.gauss(0.0, NOISE)
        lines.append(f"{t:8.3f}  {f:9.4f}\r\n")
    out = pathlib.Path(__file__).with_name("motor_d12_celula.txt")
    out.write_bytes("".join(lines).encode("cp1252"))


if __name__ == "__main__":
    main()
