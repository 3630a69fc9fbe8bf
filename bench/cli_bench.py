#!/usr/bin/env python3
"""Times crispcalm against libvips' Gaussian blur: wall time, CPU time and peak
memory of each command, then the ratios the project aims for.

Images (made by scripts/bench-cli.sh):
  photo     6000x4000 16-bit RGB, the sample photograph enlarged; its
            saturated areas are selected evenly
  gradient  8-bit selection of the photo's size rising from 0 at the left to
            255 at the right, so Soften meets every radius from 1 to R
  foliage   4000x3000 16-bit RGB grass texture whose saturation, and so the
            selection and the radius, change from pixel to pixel

usage: cli_bench.py CRISPCALM PHOTO GRADIENT FOLIAGE WORKDIR
"""
import os
import subprocess
import sys
import time

ONE_THREAD = dict(VIPS_CONCURRENCY="1", OMP_NUM_THREADS="1", CRISPCALM_THREADS="1")


def measure(command, extra_env):
    env = {k: v for k, v in os.environ.items() if k not in ONE_THREAD}
    env.update(extra_env)
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
    crispcalm, photo, gradient, foliage, work = sys.argv[1:6]
    help_text = subprocess.run([crispcalm, "--help"], capture_output=True, text=True).stdout
    threaded = "--threads" in help_text
    one = ["--threads", "1"] if threaded else []
    soften = ["--operation", "soften", "--amount", "100"]

    def cc(args, image, out):
        return [crispcalm, "--quiet", *args, image, "-o", f"{work}/{out}"]

    def blur(image, sigma, out):
        return ["vips", "gaussblur", image, f"{work}/{out}", str(sigma)]

    # (name, command, environment); crispcalm without --threads uses all cores.
    runs = [
        ("sharpen photo 1 thread", cc(one, photo, "sharpen.tif"), ONE_THREAD),
        ("soften photo 1 thread", cc(one + soften, photo, "soften.tif"), ONE_THREAD),
        ("soften gradient 1 thread", cc(one + soften + ["--selection", gradient], photo, "gradient.tif"),
         ONE_THREAD),
        ("soften foliage 1 thread", cc(one + soften, foliage, "foliage.tif"), ONE_THREAD),
        ("gaussblur 12 photo 1 thread", blur(photo, 12, "blur12.tif"), ONE_THREAD),
        ("gaussblur 30 photo 1 thread", blur(photo, 30, "blur30.tif"), ONE_THREAD),
        ("gaussblur 30 foliage 1 thread", blur(foliage, 30, "blur30f.tif"), ONE_THREAD),
    ]
    if threaded:
        runs += [
            ("sharpen photo all cores", cc([], photo, "sharpen-n.tif"), {}),
            ("soften photo all cores", cc(soften, photo, "soften-n.tif"), {}),
            ("soften foliage all cores", cc(soften, foliage, "foliage-n.tif"), {}),
            ("gaussblur 30 photo all cores", blur(photo, 30, "blur30-n.tif"), {}),
        ]
    r = {}
    # Wall times depend on what else the machine runs: say how busy it was.
    start_load = os.getloadavg()
    print(f"machine: {os.cpu_count()} cores, load average {start_load[0]:.2f} at the start")
    print(f"{'command':32s} {'wall s':>8s} {'cpu s':>8s} {'peak MiB':>9s}")
    # Over repeats, the least wall and CPU time (what the machine's noise
    # adds is never negative) and the greatest peak memory (the worst case).
    for name, command, env in runs:
        results = [measure(command, env) for _ in range(int(os.environ.get("BENCH_REPEAT", "1")))]
        best = (min(x[0] for x in results), min(x[1] for x in results), max(x[2] for x in results))
        r[name] = best
        print(f"{name:32s} {best[0]:8.2f} {best[1]:8.2f} {best[2]:9.1f}", flush=True)

    wall, cpu, peak = 0, 1, 2

    def ratio(a, b, i):
        return r[a][i] / r[b][i]

    lines = [
        ("sharpen cpu / gaussblur 12 cpu, 1 thread", ratio("sharpen photo 1 thread", "gaussblur 12 photo 1 thread", cpu),
         "<= 0.25"),
        ("soften 100 cpu / gaussblur 30 cpu, 1 thread, photo",
         ratio("soften photo 1 thread", "gaussblur 30 photo 1 thread", cpu), "<= 0.5"),
        ("soften 100 cpu / gaussblur 30 cpu, 1 thread, gradient",
         ratio("soften gradient 1 thread", "gaussblur 30 photo 1 thread", cpu), "(no goal)"),
        ("soften 100 cpu / gaussblur 30 cpu, 1 thread, foliage",
         ratio("soften foliage 1 thread", "gaussblur 30 foliage 1 thread", cpu), "<= 1.0"),
    ]
    if threaded:
        lines += [
            ("soften 100 wall, all cores / 1 thread", ratio("soften photo all cores", "soften photo 1 thread", wall),
             "<= 0.6"),
            ("sharpen wall, all cores / 1 thread", ratio("sharpen photo all cores", "sharpen photo 1 thread", wall),
             "<= 0.6"),
            ("soften 100 wall / gaussblur 30 wall, all cores",
             ratio("soften photo all cores", "gaussblur 30 photo all cores", wall), "<= 0.5"),
        ]
    decoded = 6000 * 4000 * 3 * 2  # bytes of the photo as 16-bit RGB
    budget = 1.25 * decoded / 2**20 + 64
    photo_peak = max(v[peak] for k, v in r.items() if not k.startswith("gaussblur") and "foliage" not in k)
    lines.append(("crispcalm peak MiB / (1.25 x decoded + 64 MiB)", photo_peak / budget, "<= 1.0"))
    print(f"load average {os.getloadavg()[0]:.2f} at the end (other programs share the cores)")
    print()
    for label, value, goal in lines:
        print(f"{label:56s} {value:6.2f}x  goal {goal}")


if __name__ == "__main__":
    main()
