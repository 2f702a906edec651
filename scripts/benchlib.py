"""Timing helpers shared by the side-by-side benchmark scripts (scripts/bench-*.sh)."""
import os
import re
import subprocess
import time

devnull = open(os.devnull, "wb")


def best(cmd, runs):
    """Best wall time of runs runs of cmd, in seconds."""
    t = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(cmd, stdout=devnull, stderr=devnull, check=True)
        t.append(time.perf_counter() - start)
    return min(t)


def instructions(cmd, extra=()):
    """Instructions callgrind counts for cmd (extra: more callgrind options)."""
    r = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", *extra] + cmd,
                       stdout=devnull, stderr=subprocess.PIPE, text=True, check=True)
    return int(re.search(r"Collected : (\d+)", r.stderr).group(1))
