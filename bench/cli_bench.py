#!/usr/bin/env python3
"""Times crispcalm against libvips' Gaussian blur on one 6000x4000 16-bit RGB
TIFF, all on one thread: wall time and peak memory of each command, and the
ratios the project aims for (default Sharpen at least 4x faster than gaussblur
sigma 12; Soften at amount 100 faster than gaussblur sigma 30)."""
import os
import subprocess
import sys
import time


def measure(command, env):
    start = time.monotonic()
    proc = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if status != 0:
        sys.exit(f"failed: {' '.join(command)}\n{err}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0


def main():
    crispcalm, image, work = sys.argv[1], sys.argv[2], sys.argv[3]
    env = dict(os.environ, VIPS_CONCURRENCY="1", OMP_NUM_THREADS="1")
    runs = [
        ("crispcalm sharpen (defaults)", [crispcalm, "--quiet", image, "-o", f"{work}/sharpen.tif"]),
        ("crispcalm soften amount 100",
         [crispcalm, "--quiet", "--operation", "soften", "--amount", "100", image, "-o", f"{work}/soften.tif"]),
        ("vips gaussblur sigma 12", ["vips", "gaussblur", image, f"{work}/blur12.tif", "12"]),
        ("vips gaussblur sigma 30", ["vips", "gaussblur", image, f"{work}/blur30.tif", "30"]),
    ]
    results = {}
    print(f"{'command':32s} {'wall s':>8s} {'cpu s':>8s} {'peak MiB':>9s}")
    for name, command in runs:
        best = None
        for _ in range(int(os.environ.get("BENCH_REPEAT", "1"))):
            result = measure(command, env)
            best = result if best is None or result[0] < best[0] else best
        results[name] = best
        print(f"{name:32s} {best[0]:8.2f} {best[1]:8.2f} {best[2]:9.1f}")
    for label, index in (("wall", 0), ("cpu", 1)):
        sharpen = results["vips gaussblur sigma 12"][index] / results["crispcalm sharpen (defaults)"][index]
        soften = results["vips gaussblur sigma 30"][index] / results["crispcalm soften amount 100"][index]
        print(f"{label:4s} time: sharpen {sharpen:.2f}x faster than gaussblur 12 (goal >= 4), "
              f"soften {soften:.2f}x faster than gaussblur 30 (goal > 1)")


if __name__ == "__main__":
    main()
