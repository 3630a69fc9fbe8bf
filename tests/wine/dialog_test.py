#!/usr/bin/env python3
"""Runs the Win32 host with the real .8bf and its dialog on private Xvfb
screens of several sizes, drives the dialog through real input
(cc_dialog_driver), and checks what the host reports and writes: OK applies
the filter exactly as the native command line does with the block the host
saved; Cancel, Escape and closing the window leave the image alone, answer
userCanceledErr and still write the controls back into the block; a screen
720 pixels high is refused; a host without the pixel display and the channel
ports still runs the dialog, and so does one without each other service it
may leave out or bend; the preview pane, read back from the window,
holds what the native command line makes of the image scaled by the host's
rule, with "Preview" checked, and the scaled image itself without; PNG files
go in and out through the Windows Imaging Component.

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
        self.driver_output = ""  # what the driver printed in the last run

    def check(self, case, condition, text):
        if not condition:
            self.failures.append(f"{case}: {text}")
            print(f"FAIL {case}: {text}")

    def finish(self, passed):
        """The exit status: 1 with every failure listed, else 0 with passed."""
        if self.failures:
            print("\n".join(self.failures))
            return 1
        print(passed)
        return 0

    def run(self, case, size, host_args, steps, env=None):
        """Returns (host exit code, host stdout, driver exit code)."""
        screen = Screen(*size)
        env = dict(self.env, DISPLAY=f":{screen.n}", **(env or {}))
        try:
            host = subprocess.Popen([self.wine_runner, self.host, z(self.plugin)] + host_args, env=env,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            driver = subprocess.run([self.wine_runner, self.driver] + steps, env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT, text=True, timeout=400)
            out, _ = host.communicate(timeout=400)
        finally:
            subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            screen.close()
        self.driver_output = driver.stdout
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


def raw_pixels(path, work):
    raw = os.path.join(work, "pixels.raw")
    subprocess.run(["vips", "rawsave", path, raw], check=True)
    with open(raw, "rb") as f:
        return f.read()


def halved(header, fields, data, channels):
    """The host's scaling to half size: each 2 x 2 block's mean, rounded half up."""
    w, h = fields[0], fields[1]
    out = bytearray()
    for y in range(0, h - 1, 2):
        for x in range(0, w - 1, 2):
            for c in range(channels):
                s = sum(data[((y + dy) * w + x + dx) * channels + c] for dy in (0, 1) for dx in (0, 1))
                out.append((s + 2) // 4)
    return header + b"\n%d %d\n255\n" % (w // 2, h // 2) + bytes(out)


def in_pane(image, pane_w, pane_h, grey=230):
    """Pane pixels: light grey with the image centred, halves rounded down."""
    _, (w, h, _), data = image
    left, top = (pane_w - w) // 2, (pane_h - h) // 2
    out = bytearray([grey]) * (3 * pane_w * pane_h)
    for y in range(h):
        o = 3 * ((top + y) * pane_w + left)
        out[o:o + 3 * w] = data[3 * y * w:3 * (y + 1) * w]
    return bytes(out)


def preview_case(r, work, native, case, big, big_mask, extra):
    grabs = {k: os.path.join(work, f"{case}-{k}.ppm") for k in ("on", "off")}
    out, block = os.path.join(work, f"{case}.ppm"), os.path.join(work, f"{case}.block")
    code, text, driven = r.run(case, (1024, 768), [z(big), "-o", z(out), "--save-params", z(block),
                                                   "--selection", z(big_mask)] + extra,
                               [f"grab:{z(grabs['on'])}", "click:preview", f"grab:{z(grabs['off'])}", "click:ok"])
    r.check(case, driven == 0 and code == 0, "the run did not complete")
    if code == 0 and all(os.path.exists(g) for g in grabs.values()):
        scaled, scaled_mask = os.path.join(work, f"{case}-scaled.ppm"), os.path.join(work, f"{case}-scaled-mask.pgm")
        with open(scaled, "wb") as f:
            f.write(halved(b"P6", *pixels(big)[1:], 3))
        with open(scaled_mask, "wb") as f:
            f.write(halved(b"P5", *pixels(big_mask)[1:], 1))
        reference = os.path.join(work, f"{case}-reference.ppm")
        subprocess.run([native, scaled, "-o", reference, "--params", block, "--selection", scaled_mask,
                        "--tile", "338x225", "-q"], check=True)
        processed, unprocessed = in_pane(pixels(reference), 338, 445), in_pane(pixels(scaled), 338, 445)
        r.check(case, processed != unprocessed, "the filter left the scaled image as it was")
        r.check(case, pixels(grabs["on"])[2] == processed, "the pane differs from the processed reference")
        r.check(case, pixels(grabs["off"])[2] == unprocessed, "unchecked, the pane is not the scaled image")
        want = r.native_output(big, block, big_mask, os.path.join(work, f"{case}-native.ppm"))
        r.check(case, pixels(out) == want, "the output differs from the native command line's")
    else:
        r.check(case, False, "the preview was not grabbed")


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
    # Each service a host may leave out or bend, and plain memory (no buffers
    # from the host at all): OK still gives the native command line's bytes.
    for quirks in (["no-basic-suite"], ["no-buffer-suite"], ["no-buffer-suite", "no-buffer-procs"],
                   ["no-basic-suite", "zero-versions"], ["zero-tile-size"], ["moving-data"]):
        extra = [arg for q in quirks for arg in ("--quirk", q)]
        confirmed("quirk-" + "+".join(quirks), (1024, 768), ["click:ok"], extra, selection)

    # PNG in and out through the Windows Imaging Component.
    png, png_out, png_block = (os.path.join(work, n) for n in ("in.png", "png-out.png", "png.block"))
    subprocess.run(["vips", "copy", image, png], check=True)
    code, text, driven = r.run("png", (1024, 768), [z(png), "-o", z(png_out), "--save-params", z(png_block)],
                               ["click:ok"])
    r.check("png", driven == 0 and code == 0, "OK did not apply the filter to a PNG")
    if code == 0:
        native_png = os.path.join(work, "png-native.png")
        subprocess.run([native, png, "-o", native_png, "--params", png_block, "-q"], check=True)
        r.check("png", raw_pixels(png_out, work) == raw_pixels(native_png, work),
                "the PNG output differs from the native command line's")

    # The preview on a 1024 x 768 screen (pane 338 x 445) of a 676 x 450 image:
    # the fit factor is 1/2 and the preview runs at the scaled image's own
    # size, so the native command line on the host's scaled image and mask,
    # in one tile, is the reference.
    # A host without displayPixels gets the same pane drawn by the dialog
    # itself; one without channel ports too, read through advanceState.
    big, big_mask = os.path.join(work, "big.ppm"), os.path.join(work, "big-mask.pgm")
    write_ppm(big, 676, 450, 8, 3)
    write_pgm(big_mask, 676, 450)
    for case, extra in (("preview", []), ("preview-no-display", ["--no-display"]),
                        ("preview-bare-host", ["--no-display", "--no-channel-ports"])):
        preview_case(r, work, native, case, big, big_mask, extra)

    # A screen 720 pixels high is refused before any dialog.
    out = os.path.join(work, "small.ppm")
    code, text, driven = r.run("small-screen", (1280, 720), [z(image), "-o", z(out)], ["message"])
    r.check("small-screen", driven == 0 and code == 5 and "result: 1" in text and not os.path.exists(out),
            "a 720-pixel screen was not refused")

    return r.finish("all dialog runs passed")


if __name__ == "__main__":
    sys.exit(main())
