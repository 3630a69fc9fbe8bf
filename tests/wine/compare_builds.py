#!/usr/bin/env python3
"""Runs the same cases through the native command line and through the
Windows command line under Wine (which loads the real .8bf), and checks that
every output pixel is identical.

usage: compare_builds.py NATIVE_CRISPCALM WINDOWS_CRISPCALM_EXE WINE_RUNNER WORK_DIR
"""
import os
import random
import subprocess
import sys


def write_ppm(path, width, height, depth, seed):
    rng = random.Random(seed)
    maxval = 255 if depth == 8 else 65535
    data = bytearray()
    for y in range(height):
        for x in range(width):
            for c in range(3):
                base = ((x * (c + 2) + y * (3 - c)) % 97) / 96.0
                if ((x // 9) + (y // 7) + c) % 3 == 0:
                    base = 1.0 - base * 0.6
                v = min(1.0, max(0.0, base + rng.uniform(-0.05, 0.05)))
                value = int(round(v * maxval))
                data += bytes([value]) if depth == 8 else value.to_bytes(2, "big")
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n%d\n" % (width, height, maxval) + bytes(data))


def write_pgm(path, width, height):
    data = bytes((255 if (w - 40) ** 2 + (h - 30) ** 2 < 900 else (w * 3) % 256)
                 for h in range(height) for w in range(width))
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (width, height) + data)


def pixels(path):
    with open(path, "rb") as f:
        raw = f.read()
    fields, i = [], 2
    while len(fields) < 3:
        while raw[i:i + 1].isspace():
            i += 1
        if raw[i:i + 1] == b"#":
            while raw[i:i + 1] != b"\n":
                i += 1
            continue
        j = i
        while raw[j:j + 1].isdigit():
            j += 1
        fields.append(int(raw[i:j]))
        i = j
    return raw[:2], fields, raw[i + 1:]


def main():
    native, windows, runner, work = sys.argv[1:5]
    # A build that is not there is a failure, never a silent pass.
    for program in (native, windows, runner):
        if not os.path.isfile(program):
            print(f"FAILED: {program} is missing (build it first)")
            return 1
    os.makedirs(work, exist_ok=True)
    write_ppm(f"{work}/rgb8.ppm", 173, 121, 8, 1)
    write_ppm(f"{work}/rgb16.ppm", 151, 97, 16, 2)
    write_pgm(f"{work}/mask.pgm", 173, 121)
    cases = [
        ("rgb8.ppm", []),
        ("rgb16.ppm", ["--amount", "100"]),
        ("rgb8.ppm", ["--color-space", "hsi", "--amount", "90"]),
        ("rgb16.ppm", ["--color-space", "yuv", "--channels", "0100"]),
        ("rgb8.ppm", ["--operation", "soften", "--amount", "100"]),
        ("rgb16.ppm", ["--operation", "soften", "--color-space", "hsi", "--amount", "100"]),
        ("rgb8.ppm", ["--operation", "soften", "--color-space", "yuv", "--amount", "70"]),
        ("rgb8.ppm", ["--edges-only", "--opacity", "200", "--contract-expand", "60", "--falloff", "40",
                      "--tile", "64x48"]),
        ("rgb16.ppm", ["--operation", "soften", "--contract-expand", "-70", "--falloff", "100", "--tile", "50x50"]),
        ("rgb8.ppm", ["--selection", f"{work}/mask.pgm", "--amount", "100", "--tile", "7x5"]),
        ("rgb16.ppm", ["--overlay", "--hue", "0:1,40:1,80:0,300:0,340:1", "--contract-expand", "20"]),
        ("rgb16.ppm", ["--opacity", "0"]),
    ]
    unchanged = {len(cases) - 1}  # runs that must give the input's samples back
    passed = failed = 0
    for n, (name, args) in enumerate(cases):
        a, b = f"{work}/native-{n}.ppm", f"{work}/windows-{n}.ppm"
        for path in (a, b):
            if os.path.exists(path):
                os.remove(path)
        r1 = subprocess.run([native, "--quiet", *args, f"{work}/{name}", "-o", a], capture_output=True, text=True)
        r2 = subprocess.run([runner, windows, "--quiet", *args, f"{work}/{name}", "-o", b],
                            capture_output=True, text=True)
        label = f"{name} {' '.join(args)}"
        if r1.returncode or r2.returncode or not os.path.exists(b):
            print(f"FAILED: {label}: native {r1.returncode} {r1.stderr.strip()} / windows {r2.returncode} "
                  f"{r2.stderr.strip()}")
            failed += 1
            continue
        ka, fa, pa = pixels(a)
        kb, fb, pb = pixels(b)
        if n in unchanged and pixels(f"{work}/{name}") != (ka, fa, pa):
            print(f"FAILED: {label}: the input's samples did not come back unchanged")
            failed += 1
        elif (ka, fa, pa) == (kb, fb, pb):
            print(f"ok: {label}: identical")
            passed += 1
        else:
            diff = sum(1 for x, y in zip(pa, pb) if x != y)
            print(f"FAILED: {label}: {diff} bytes differ")
            failed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
