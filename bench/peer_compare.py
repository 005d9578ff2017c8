#!/usr/bin/env python3
"""Times the 1020-module voice patch rendered by tonewright-cli against the equivalent Pure
Data patch at block sizes 64 and 1 (CPU time of each run, median of 3), and prints the two
ratios. Needs `pd` on the path; without it the script says so and exits 0.

usage: peer_compare.py BUILD_DIR PD_PATCH_SCRIPT [--runs N] [--seconds S]"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile

RATE = 48000
VOICES = 204


def cpu_seconds(command, cwd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def median_of(runs, command, cwd):
    return statistics.median(cpu_seconds(command, cwd) for _ in range(runs))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("pd_patch", type=os.path.abspath)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=10.0)
    args = parser.parse_args()
    if shutil.which("pd") is None:
        print("pd is not installed (apt-get install puredata-core); nothing compared")
        return 0
    build = os.path.abspath(args.build)
    cli = os.path.join(build, "src", "cli", "tonewright-cli")
    maker = os.path.join(build, "bench", "tw_voice_patch")
    frames = int(args.seconds * RATE)
    with tempfile.TemporaryDirectory(prefix="tw-peer-") as work:
        project = os.path.join(work, "voices.tw1")
        subprocess.run([maker, project], check=True)
        ours = median_of(args.runs, [cli, "-q", "render", project, os.path.join(work, "v.wav"),
                                     "--rate", str(RATE), "--frames", str(frames)], work)
        pd = {}
        for block in (64, 1):
            patch = os.path.join(work, f"v{block}.pd")
            with open(patch, "w") as out:
                subprocess.run([sys.executable, args.pd_patch, str(VOICES), str(args.seconds),
                                str(block)], check=True, stdout=out)
            pd[block] = median_of(args.runs, ["pd", "-nogui", "-batch", "-r", str(RATE), patch],
                                  work)
    print(f"voice patch, {VOICES * 5} modules, {args.seconds:g} s at {RATE} Hz, "
          f"CPU seconds (median of {args.runs}):")
    print(f"  tonewright-cli render  {ours:.3f}")
    print(f"  pd block 64            {pd[64]:.3f}")
    print(f"  pd block 1             {pd[1]:.3f}")
    print(f"ours / pd block 64 = {ours / pd[64]:.2f}  (goal at most 1.5)")
    print(f"ours / pd block 1  = {ours / pd[1]:.2f}  (goal at most 0.5)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
