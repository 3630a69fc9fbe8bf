#!/usr/bin/env python3
"""One whole session in the dialog through real input under Wine, on the
sample photograph: a drag on the hue curve, the operation, colour space,
amount, opacity, contract/expand (its middle disables "Falloff:"), falloff,
a channel box, "Overlay Color" and back, a rubber band sampled with Shift,
the zoom arrows, a pan with Space, "100%", a scroll bar, "Fit", undo twice,
a snapshot stored, its overwrite question answered No, recalled with Control
and cleared with Shift, a quick curve found below Program Files, settings
saved and loaded back through the file dialogs, then OK.

After every step the pane read back from the window must equal the native
command line's result on the image scaled by the host's rule, with the block
of that moment: the controls read back from their windows plus the curves of
that moment (the defaults, the drawn ones and the sampled ones, each taken
from a run of the same input ended with Cancel, and the quick curve's). The
block the host keeps after OK must say what the controls showed, and the
output must equal the native command line's with that block. The runs ended
with Cancel also check that Cancel leaves the image alone and hands back the
controls' state.

usage: session_test.py HOST_EXE PLUGIN DRIVER_EXE NATIVE_CRISPCALM WINE_RUNNER WORK_DIR
"""
import os
import shutil
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_builds import pixels  # noqa: E402
from commands_test import block_of, quick_curve_file, windows_path  # noqa: E402
from dialog_test import Runner, in_pane, z  # noqa: E402

# A 1473 x 1024 screen gives a 540 x 604 pane: the 600 x 400 photograph fits
# at 0.9, exactly 540 x 360, so that the preview's scale is the command
# line's own at fit and at 100 %.
SCREEN = (1473, 1024)
PANE = (540, 604)
IMAGE = (600, 400)
CURVES = 60  # offset of the hue points; each curve is 8,200 bytes
CURVE_BYTES = 8200

# (what the step does, the driver's steps). Each is followed by a grab of the
# pane and the controls' state.
DRAW = ("hue curve drawn", ["curve:1,0.2,0.3,0.5,0.1"])
BEFORE_SAMPLE = [
    DRAW,
    ("Soften", ["click:operation", "key:40", "key:13"]),
    ("HSI", ["click:colorspace", "key:40", "key:13"]),
    ("amount 70", ["slide:amount,70"]),
    ("opacity 140", ["slide:opacity,14"]),
    ("expand", ["slide:contract,14"]),
    ("falloff 30", ["slide:falloff,30"]),
    ("contract/expand in the middle", ["slide:contract,10"]),
    ("contract", ["slide:contract,7"]),
    ("hue channel on", ["click:channel1"]),
    ("Overlay Color", ["click:overlay"]),
    ("Operation Result", ["click:result"]),
]
SAMPLE = ("sampled with Shift", ["shift+drag:540,360,100,100,160,140"])
VIEWS = [
    ("zoom arrow up", ["at:zoom,0.5,0.25"]),
    ("panned with Space", ["space+drag:0,0,20,0,0,0"]),
    ("zoom arrow down", ["at:zoom,0.5,0.75"]),
    ("100%", ["click:zoom100"]),
    ("scrolled", ["at:scrollh,0.985,0.5"]),
    ("Fit", ["click:fit"]),
]


def after_views(saved):
    return [
        ("undo", ["ctrl+key:90"]),
        ("undo again", ["ctrl+key:90"]),
        ("snapshot stored", ["click:snapshot1"]),
        ("saturation channel off", ["click:channel2"]),
        ("amount 40", ["slide:amount,40"]),
        ("overwrite refused", ["click:filled1", "answer:|Are you sure you want to overwrite this snapshot?|no"]),
        ("snapshot recalled", ["ctrl+click:filled1"]),
        ("snapshot cleared", ["shift+click:filled1"]),
        ("quick curve", ["click:quick", "key:40", "key:13"]),
        ("saved", ["click:save", "file:" + windows_path(saved)]),
        ("intensity channel off", ["click:channel3"]),
        ("loaded", ["click:load", "file:" + windows_path(saved)]),
    ]


def read_state(path):
    state = {}
    with open(path, encoding="latin-1") as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition(" ")
            state[key] = value
    return state


def round_half_away(v):
    return int(v + 0.5) if v >= 0 else -int(-v + 0.5)


def block_with(template, state, curves):
    """The template block with the controls' values of state and the curve
    points of curves (a block whose curves are taken)."""
    b = bytearray(template)
    n = lambda key: int(state[key])  # noqa: E731
    b[5] = 1 if n("result") == 1 else 0
    struct.pack_into("<3i", b, 12, n("operation"), n("amount"), n("colorspace"))
    struct.pack_into("<4i", b, 28, *[n(f"channel{i}") for i in range(1, 5)])
    struct.pack_into("<4i", b, 44, 1 if n("fromcurves") == 1 else 0, round_half_away(n("opacity") / 20 * 200),
                     round_half_away((2.0 * n("contract") / 20 - 1) * 100), n("falloff"))
    for c in range(3):
        at = CURVES + c * CURVE_BYTES
        b[at:at + 4096] = curves[at:at + 4096]
    return bytes(b)


def scaled(image, part, width, height):
    """The host's scaling: destination i of n covers source positions
    [i m / n, (i + 1) m / n) of m, at least one; means rounded half up."""
    _, (w, _, _), data = image
    left, top, right, bottom = part

    def spans(n, m, start):
        out = []
        for i in range(n):
            a, e = i * m // n, (i + 1) * m // n
            out.append((start + a, max(e - a, 1)))
        return out

    columns, rows = spans(width, right - left, left), spans(height, bottom - top, top)
    out = bytearray()
    for y0, ny in rows:
        sums = [0] * (3 * w)
        for y in range(y0, y0 + ny):
            row = data[3 * w * y:3 * w * (y + 1)]
            sums = [s + v for s, v in zip(sums, row)]
        for x0, nx in columns:
            count = nx * ny
            for c in range(3):
                s = sum(sums[3 * x + c] for x in range(x0, x0 + nx))
                out.append((2 * s + count) // (2 * count))
    return bytes(out)


def view_of(state):
    """(zoom, image part, scaled size) of the pane from the zoom text and the
    scroll bars' positions."""
    zoom = 0.9 if state["zoom"] == "90%" else float(state["zoom"].rstrip("%")) / 100
    vw, vh = min(PANE[0] / zoom, IMAGE[0]), min(PANE[1] / zoom, IMAGE[1])
    left, top = int(state["scrollh"]), int(state["scrollv"])
    part = (left, top, left + round_half_away(vw), top + round_half_away(vh))
    size = (min(PANE[0], round_half_away(zoom * (part[2] - part[0]))),
            min(PANE[1], round_half_away(zoom * (part[3] - part[1]))))
    return zoom, part, size


class Reference:
    """The native command line's preview of the scaled image for a block."""

    def __init__(self, native, photo, work):
        self.native, self.photo, self.work = native, pixels(photo), work
        self.cache = {}

    def pane(self, block, state):
        _, part, size = view_of(state)
        if (part, size) not in self.cache:
            self.cache[(part, size)] = scaled(self.photo, part, *size)
        source, out, params = (os.path.join(self.work, n) for n in ("ref-in.ppm", "ref-out.ppm", "ref.block"))
        with open(source, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % size + self.cache[(part, size)])
        with open(params, "wb") as f:
            f.write(block)
        args = [self.native, source, "-o", out, "--params", params, "--tile", "%dx%d" % size, "-q"]
        if state["result"] != "1":
            args.append("--overlay")
        subprocess.run(args, check=True)
        return in_pane(pixels(out), *PANE)


def flatten(steps, work, name):
    """The driver's steps with a grab and a state read-back after each."""
    out, files = [], []
    for i, (_, driven) in enumerate(steps):
        grab, state = (os.path.join(work, f"{name}-{i:02d}.{k}") for k in ("ppm", "state"))
        out += driven + ["grab:" + z(grab), "state:" + z(state)]
        files.append((grab, state))
    return out, files


def cancelled_run(r, work, photo, name, steps):
    """A run ended with Cancel: the host answers userCanceledErr, writes no
    image, and the block it keeps holds what the controls showed last.
    Returns the block."""
    out, block, last = (os.path.join(work, f"{name}.{k}") for k in ("ppm", "block", "state"))
    code, text, driven = r.run(name, SCREEN, [z(photo), "-o", z(out), "--save-params", z(block)],
                               [s for _, d in steps for s in d] + ["state:" + z(last), "click:cancel"])
    r.check(name, driven == 0, "the driver failed")
    r.check(name, code == 4 and "result: -128" in text, "Cancel was not answered with userCanceledErr")
    r.check(name, "image: unchanged" in text and not os.path.exists(out), "Cancel touched the image")
    if not (os.path.exists(block) and os.path.exists(last)):
        r.check(name, False, "no block or state after Cancel")
        return None
    b = block_of(block)
    r.check(name, block_with(b, read_state(last), b) == b, "the block after Cancel is not what the controls showed")
    # The next start opens the dialog again, on these settings.
    r.check(name, b[4] == 1, "showDialog was cleared by Cancel")
    return b


def main():
    host, plugin, driver, native, wine_runner, work = sys.argv[1:7]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    started = time.time()
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    # Fetched once beside the build trees, where scripts/dialog.sh keeps it.
    photo = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(work))), "sample", "coffee.png")
    subprocess.run([os.path.join(root, "scripts", "fetch-sample.sh"), photo], check=True)
    photo_ppm = os.path.join(work, "coffee.ppm")
    subprocess.run(["vips", "copy", photo, photo_ppm], check=True)

    # The quick curve two folders below Program Files (the host's own folder
    # has none).
    os.makedirs(os.path.join(work, "host"))
    host = shutil.copy(host, os.path.join(work, "host"))
    folder = os.path.join(work, "prefix", "drive_c", "Program Files", "Vendor", "Tarvo Standard Curves")
    os.makedirs(folder)
    quick_curve_file(os.path.join(folder, "a.qzm"), 1, "First", 200, 32767)
    r = Runner(host, plugin, driver, native, wine_runner, work)

    # The curves of each moment: the defaults (the command line's block), the
    # drawn hue curve and the sampled curves (the same input ended with
    # Cancel, which also hands the block back).
    defaults = os.path.join(work, "defaults.block")
    subprocess.run([native, photo_ppm, "-o", os.path.join(work, "defaults.ppm"), "--save-params", defaults, "-q"],
                   check=True)
    drawn = cancelled_run(r, work, photo, "drawn", [DRAW])
    sampled = cancelled_run(r, work, photo, "cancelled", BEFORE_SAMPLE + [SAMPLE] + VIEWS)

    saved = os.path.join(work, "kept.qzr4")
    steps = [("opened", [])] + BEFORE_SAMPLE + [SAMPLE] + VIEWS + after_views(saved)
    driven, files = flatten(steps, work, "step")
    out, block = os.path.join(work, "session.ppm"), os.path.join(work, "session.block")
    code, text, result = r.run("session", SCREEN, [z(photo), "-o", z(out), "--save-params", z(block)],
                               driven + ["click:ok"])
    r.check("session", result == 0, "the driver failed")
    r.check("session", code == 0 and "image: changed" in text, "OK did not apply the filter")
    if not (os.path.exists(block) and drawn and sampled):
        r.check("session", False, "a block is missing")
        return report(r, started)
    final = block_of(block)
    r.check("session", final[4] == 0, "showDialog stayed set after OK")
    hue_of = lambda b: b[CURVES:CURVES + 4096]  # noqa: E731
    r.check("cancelled", hue_of(drawn) != hue_of(block_of(defaults)) and hue_of(sampled) != hue_of(drawn),
            "Cancel did not hand back the drawn and sampled curves")
    states = [read_state(s) if os.path.exists(s) else None for _, s in files]
    names = [name for name, _ in steps]
    at = {name: i for i, name in enumerate(names)}

    # The curves of each step, in the order they came.
    curves = []
    for name in names:
        if name == "opened":
            curves.append(block_of(defaults))
        elif name == "hue curve drawn":
            curves.append(drawn)
        elif name in ("sampled with Shift", "undo again"):
            curves.append(sampled)
        elif name == "undo":
            curves.append(drawn)
        elif name == "quick curve":
            curves.append(final)
        else:
            curves.append(curves[-1])

    reference = Reference(native, photo_ppm, work)
    for i, name in enumerate(names):
        grab = files[i][0]
        if states[i] is None or not os.path.exists(grab):
            r.check(name, False, "no grab or state")
            continue
        want = reference.pane(block_with(final, states[i], curves[i]), states[i])
        r.check(name, pixels(grab)[2] == want, "the pane differs from the native preview of that moment")

    def same(a, b, case, text):
        # The slots and the quick-curve list are not part of the settings.
        keep = lambda s: {k: v for k, v in s.items() if not k.startswith(("snapshot", "quick"))}  # noqa: E731
        r.check(case, states[a] and states[b] and keep(states[a]) == keep(states[b]), text)

    s = states
    r.check("falloff", s[at["expand"]]["falloff-enabled"] == "1" and
            s[at["contract/expand in the middle"]]["falloff-enabled"] == "0" and
            s[at["contract"]]["falloff-enabled"] == "1", "the middle of contract/expand does not disable falloff")
    r.check("radio groups", s[at["Overlay Color"]]["fromcurves"] == "1" and s[at["Overlay Color"]]["result"] == "0",
            "choosing \"Overlay Color\" changed the other group of radio buttons")
    r.check("quick curves", s[0]["quick-items"] == "2" and s[0]["quick-item2"] == "First",
            "the quick-curve list is not \"Select...\" and the one file")
    r.check("zoom", [s[at[n]]["zoom"] for n in ("zoom arrow up", "zoom arrow down", "100%", "Fit")] ==
            ["100%", "90%", "100%", "90%"], "the zoom did not follow the arrows and buttons")
    r.check("pan", int(s[at["panned with Space"]]["scrollh"]) == int(s[at["zoom arrow up"]]["scrollh"]) + 20,
            "Space and a drag did not move the view by 20 pixels")
    r.check("scroll", int(s[at["scrolled"]]["scrollh"]) == int(s[at["100%"]]["scrollh"]) + 1,
            "the scroll bar's arrow did not move the view")
    same(at["undo"], at["Operation Result"], "undo", "one undo does not show the state before the sample")
    same(at["undo again"], at["Fit"], "undo", "two undos are not back where they started")
    # No to the overwrite question kept the stored state.
    same(at["snapshot recalled"], at["snapshot stored"], "snapshot", "the recall does not show the stored state")
    r.check("snapshot", s[at["snapshot stored"]]["snapshot1"] == "1" and
            s[at["snapshot cleared"]]["snapshot1"] == "0", "the slot did not fill and clear")
    same(at["loaded"], at["saved"], "settings", "loading the saved file does not bring its state back")
    r.check("settings", os.path.exists(saved) and block_of(saved)[:7] == b"QZR4\0\2\2",
            "the settings file was not written")

    # The block after OK is what the controls showed, with the quick curve.
    r.check("session", block_with(final, s[-1], final) == final, "the block is not what the controls showed")
    hue = struct.unpack_from("<1024f", final, CURVES)
    r.check("session", hue[200] == 1.0 and {i for i, v in enumerate(hue) if v >= 0} <= {200, 1023},
            "the hue curve is not the quick curve's")
    if code == 0:
        want = r.native_output(photo_ppm, block, None, os.path.join(work, "session-native.ppm"))
        r.check("session", pixels(out) == want, "the output differs from the native command line's")
    return report(r, started)


def report(r, started):
    print(f"session test took {time.time() - started:.0f} s")
    return r.finish("the whole session passed")


if __name__ == "__main__":
    sys.exit(main())
