#!/usr/bin/env python3
"""Runs the Win32 host with the real .8bf and its dialog on private Xvfb
screens of several sizes, drives the dialog through real input
(cc_dialog_driver), and checks what the host reports and writes: OK applies
the filter exactly as the native command line does with the block the host
saved; Cancel, Escape and closing the window leave the image alone, answer
userCanceledErr and still write the controls back into the block; a screen
720 pixels high is refused; a host without the pixel display and the channel
ports still runs the dialog.

usage: dialog_test.py HOST_EXE PLUGIN DRIVER_EXE NATIVE_CRISPCALM WINE_RUNNER WORK_DIR
"""
import os
import shutil
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_builds import pixels, write_pgm, write_ppm  # noqa: E402


def free_display():
    for n in range(170, 240):
        if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
            return n
    raise RuntimeError("no free X display")


class Screen:
    def __init__(self, width, height):
        self.n = free_display()
        self.proc = subprocess.Popen(["Xvfb", f":{self.n}", "-screen", "0", f"{width}x{height}x24", "-nolisten",
                                      "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(f"/tmp/.X11-unix/X{self.n}"):
                break
            time.sleep(0.1)

    def close(self):
        self.proc.terminate()
        self.proc.wait()


def z(path):
    return "Z:" + os.path.abspath(path)


def channels_of(block_path):
    with open(block_path, "rb") as f:
        block = f.read()
    return list(struct.unpack_from("<4i", block, 28))


class Runner:
    def __init__(self, host, plugin, driver, native, wine_runner, work):
        self.host, self.plugin, self.driver = host, plugin, driver
        self.native, self.wine_runner, self.work = native, wine_runner, work
        self.env = dict(os.environ, WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all", WINE_TIMEOUT="300")
        self.failures = []

    def check(self, case, condition, text):
        if not condition:
            self.failures.append(f"{case}: {text}")
            print(f"FAIL {case}: {text}")

    def run(self, case, size, host_args, steps):
        """Returns (host exit code, host stdout, driver exit code)."""
        screen = Screen(*size)
        env = dict(self.env, DISPLAY=f":{screen.n}")
        try:
            host = subprocess.Popen([self.wine_runner, self.host, z(self.plugin)] + host_args, env=env,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            driver = subprocess.run([self.wine_runner, self.driver] + steps, env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT, text=True, timeout=400)
            out, _ = host.communicate(timeout=400)
        finally:
            subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            screen.close()
        print(f"-- {case} on {size[0]}x{size[1]}: host exit {host.returncode}, driver exit {driver.returncode}")
        print(driver.stdout.strip())
        print(out.strip())
        return host.returncode, out, driver.returncode

    def native_output(self, image, block, selection, out):
        args = [self.native, image, "-o", out, "--params", block, "-q"]
        if selection:
            args += ["--selection", selection]
        subprocess.run(args, check=True)
        return pixels(out)


def main():
    host, plugin, driver, native, wine_runner, work = sys.argv[1:7]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    image = os.path.join(work, "in.ppm")
    selection = os.path.join(work, "mask.pgm")
    write_ppm(image, 173, 121, 8, 7)
    write_pgm(selection, 173, 121)
    r = Runner(host, plugin, driver, native, wine_runner, work)

    def confirmed(case, size, steps, extra=(), mask=None):
        out, block = os.path.join(work, f"{case}.ppm"), os.path.join(work, f"{case}.block")
        args = [z(image), "-o", z(out), "--save-params", z(block)] + list(extra)
        if mask:
            args += ["--selection", z(mask)]
        code, text, driven = r.run(case, size, args, steps)
        r.check(case, driven == 0, "the driver failed")
        r.check(case, code == 0 and "result: 0" in text and "image: changed" in text, "OK did not apply the filter")
        if code == 0:
            want = r.native_output(image, block, mask, os.path.join(work, f"{case}-native.ppm"))
            r.check(case, pixels(out) == want, "the output differs from the native command line's")

    def cancelled(case, size, steps, unchecked):
        out, block = os.path.join(work, f"{case}.ppm"), os.path.join(work, f"{case}.block")
        code, text, driven = r.run(case, size, [z(image), "-o", z(out), "--save-params", z(block)], steps)
        r.check(case, driven == 0, "the driver failed")
        r.check(case, code == 4 and "result: -128" in text, "not answered with userCanceledErr")
        r.check(case, "image: unchanged" in text and not os.path.exists(out), "the image was touched")
        want = [0 if i == unchecked else 1 for i in range(3)] + [0]
        r.check(case, os.path.exists(block) and channels_of(block)[:3] == want[:3],
                "the controls were not written back into the block")

    confirmed("ok", (1024, 768), ["geometry", "click:ok"])
    confirmed("enter", (1280, 1024), ["geometry", "key:13"], mask=selection)
    cancelled("cancel", (1920, 1080), ["geometry", "click:channel2", "click:cancel"], 1)
    cancelled("escape", (1024, 768), ["click:channel1", "key:27"], 0)
    cancelled("close", (1024, 768), ["click:channel3", "altf4"], 2)
    confirmed("bare-host", (1024, 768), ["click:ok"], ["--no-display", "--no-channel-ports"], selection)

    # A screen 720 pixels high is refused before any dialog.
    out = os.path.join(work, "small.ppm")
    code, text, driven = r.run("small-screen", (1280, 720), [z(image), "-o", z(out)], ["message"])
    r.check("small-screen", driven == 0 and code == 5 and "result: 1" in text and not os.path.exists(out),
            "a 720-pixel screen was not refused")

    if r.failures:
        print("\n".join(r.failures))
        return 1
    print("all dialog runs passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
