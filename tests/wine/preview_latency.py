#!/usr/bin/env python3
"""Benchmark: the time from a command's input to the updated preview on the
screen. crispcalm-host.exe opens the dialog on each image at the fit zoom,
on one thread (CRISPCALM_THREADS=1); the driver drags the "Amount:" thumb
with real input and times each drag from the button's release to the
preview pane changing on the screen (QueryPerformanceCounter). Prints each
time, the median, the minimum and the maximum; asserts nothing about them.

usage: preview_latency.py HOST_EXE PLUGIN DRIVER_EXE WINE_RUNNER WORK_DIR DRAGS IMAGE...
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dialog_test import Runner, z  # noqa: E402


def main():
    host, plugin, driver, wine_runner, work, drags = sys.argv[1:7]
    images = sys.argv[7:]
    os.makedirs(work, exist_ok=True)
    r = Runner(host, plugin, driver, "", wine_runner, work)
    figures = []
    for image in images:
        name = os.path.basename(image)
        code, _, driven = r.run(name, (1280, 1024), [z(image), "-o", z(os.path.join(work, "unused.ppm"))],
                                [f"bench:{drags}", "click:cancel"], env={"CRISPCALM_THREADS": "1"})
        lines = [line for line in r.driver_output.splitlines() if line.startswith("benchmark:")]
        r.check(name, driven == 0 and code == 4 and len(lines) >= 1, "the benchmark did not run through")
        figures += [f"{name}: {line[len('benchmark: '):]}" for line in lines]
    print("\n".join(figures))
    return 1 if r.failures else 0


if __name__ == "__main__":
    sys.exit(main())
