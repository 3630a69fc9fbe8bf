#!/usr/bin/env python3
"""Two of the main dialog's commands through real input under Wine, checked
in detail: rubber bands over the preview that sample colours into the curves
(the plateaus where the sampled colours lie, the unticked curve left alone),
and a pan with Space (the shown part moves by exactly the drag). The block
the host keeps must say what was shown, and the output must equal the native
command line's with that block. The other commands run in session_test.py.

usage: commands_test.py HOST_EXE PLUGIN DRIVER_EXE NATIVE_CRISPCALM WINE_RUNNER WORK_DIR
"""
import os
import shutil
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_builds import pixels, write_ppm  # noqa: E402
from dialog_test import Runner, in_pane, z  # noqa: E402

CURVES_OFFSET = 60  # hue points: 1024 floats
SETTINGS_SIZE = 3093


def quick_curve_file(path, key, name, hue_slot, value):
    data = bytearray(6219)
    data[0:4] = b"QZMV"
    data[7] = key
    data[11:11 + len(name)] = name.encode()
    values = [-1] * 3072
    values[hue_slot] = value
    struct.pack_into("<3072h", data, 75, *values)
    with open(path, "wb") as f:
        f.write(data)


def windows_path(path):
    """The path as typed into a file dialog: drive Z: and backslashes."""
    return z(path).replace("/", "\\")


def patches_ppm(path, width, height):
    """Green on the left and blue on the right over the top 80 rows, the
    generated texture below them."""
    write_ppm(path, width, height, 8, 5)
    _, (w, h, _), data = pixels(path)
    data = bytearray(data)
    for y in range(80):
        for x in range(w):
            data[3 * (y * w + x):3 * (y * w + x) + 3] = bytes((30, 160, 30) if x < w // 2 else (40, 40, 170))
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h) + bytes(data))


def filled_points(block, curve):
    values = struct.unpack_from("<1024f", block, CURVES_OFFSET + (8192 + 8) * curve)
    return {i: v for i, v in enumerate(values) if v >= 0}


def block_of(path):
    with open(path, "rb") as f:
        return f.read()


def plateaus(points):
    """The (foot, inner, inner, foot) runs of a sampled curve, in index order:
    outer value 0 at the feet, 1 on the plateau, 71 slots of ramp each side."""
    keys = sorted(points)
    runs = [keys[i:i + 4] for i in range(0, len(keys) - len(keys) % 4, 4)]
    good = all([points[k] for k in run] == [0.0, 1.0, 1.0, 0.0] and run[1] - run[0] == 71 and run[3] - run[2] == 71
               for run in runs)
    return [(run[1], run[2]) for run in runs] if good and len(keys) % 4 == 0 else None


def sample_run(r, work):
    """Rubber bands over the green patch, then with Shift over the blue one,
    the saturation "Sample" box unticked: the hue curve gets both plateaus,
    saturation keeps its standard shape, and the preview shows the filter
    with the sampled curves."""
    image = os.path.join(work, "patches.ppm")
    patches_ppm(image, 173, 121)
    out, block, grab = (os.path.join(work, n) for n in ("sample.ppm", "sample.block", "sample-preview.ppm"))
    steps = ["click:sample2", "unchecked:sample2",
             "drag:173,121,20,20,60,60", "shift+drag:173,121,150,60,110,20",
             "grab:" + z(grab), "click:ok"]
    code, text, driven = r.run("sample", (1280, 1024), [z(image), "-o", z(out), "--save-params", z(block)], steps)
    r.check("sample", driven == 0 and code == 0, "the run did not complete")
    if code != 0 or not os.path.exists(block):
        r.check("sample", False, "no block was saved")
        return
    b = block_of(block)
    hue = filled_points(b, 0)
    hue_end = hue.pop(1023, None)  # the hue circle's end slot
    found = plateaus(hue)
    # 120 and 240 degrees, widened by 5 each way: index 341 and 682 +- 15.
    r.check("sample", found is not None and len(found) == 2 and abs(found[0][0] - 327) <= 3
            and abs(found[0][1] - 355) <= 3 and abs(found[1][0] - 668) <= 3 and abs(found[1][1] - 696) <= 3
            and hue_end is not None, f"hue points {sorted(hue.items())} are not the two sampled plateaus")
    saturation = sorted(filled_points(b, 1))
    r.check("sample", saturation == [0, 10, 31, 113, 215, 267, 307, 368, 450, 511, 1023],
            f"the unticked saturation curve changed: {saturation}")
    intensity = filled_points(b, 2)
    # Both patches' intensity (73.3 and 83.3 of 255) on the plateau.
    inner = [i for i, v in intensity.items() if v == 1.0]
    r.check("sample", any(abs(i - 294) <= 2 for i in inner) and any(abs(i - 334) <= 2 for i in inner),
            f"intensity points {sorted(intensity.items())} miss a sampled patch")
    want = r.native_output(image, block, None, os.path.join(work, "sample-native.ppm"))
    r.check("sample", pixels(out) == want, "the output differs from the native command line's")
    if os.path.exists(grab):
        # The image shown 1:1, centred in the pane: the preview is the native
        # result with the same block.
        _, (pw, ph, _), shown = pixels(grab)
        r.check("sample", shown == in_pane(want, pw, ph),
                "the preview differs from the filter's result with the sampled curves")
    else:
        r.check("sample", False, "the preview was not grabbed")


def origin_in(image, shown, grey=230):
    """Where the pane's top left pixel lies in the image: the one offset whose
    first rows agree with the pane's."""
    _, (w, h, _), data = image
    _, (pw, ph, _), pane = shown
    span = 3 * min(pw, w)
    found = [(x, y) for y in range(h - min(ph, h) + 1) for x in range(w - min(pw, w) + 1)
             if all(data[3 * ((y + r) * w + x):3 * ((y + r) * w + x) + span] == pane[3 * r * pw:3 * r * pw + span]
                    for r in (0, 7))]
    return found[0] if len(found) == 1 else None


def pan_run(r, work):
    """At 100 % on an image larger than the pane, Space held and a drag of
    (-40, -30) moves the shown part 40 pixels right and 30 down; "Preview" is
    checked again afterwards."""
    image = os.path.join(work, "big.ppm")
    write_ppm(image, 900, 1100, 8, 9)
    out, block = os.path.join(work, "pan.ppm"), os.path.join(work, "pan.block")
    grabs = [os.path.join(work, f"pan-{k}.ppm") for k in ("before", "after")]
    steps = ["click:zoom100", "click:preview", "grab:" + z(grabs[0]), "click:preview",
             "space+drag:0,0,40,30,0,0", "checked:preview",
             "click:preview", "grab:" + z(grabs[1]), "click:preview", "click:ok"]
    code, text, driven = r.run("pan", (1280, 1024), [z(image), "-o", z(out), "--save-params", z(block)], steps)
    r.check("pan", driven == 0 and code == 0, "the run did not complete")
    if not all(os.path.exists(g) for g in grabs):
        r.check("pan", False, "the preview was not grabbed")
        return
    picture = pixels(image)
    before, after = (origin_in(picture, pixels(g)) for g in grabs)
    r.check("pan", before is not None and after == (before[0] + 40, before[1] + 30),
            f"the part moved from {before} to {after}, not by (40, 30)")


def main():
    host, plugin, driver, native, wine_runner, work = sys.argv[1:7]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    r = Runner(host, plugin, driver, native, wine_runner, work)
    sample_run(r, work)
    pan_run(r, work)

    return r.finish("all command runs passed")


if __name__ == "__main__":
    sys.exit(main())
