#!/usr/bin/env python3
"""The main dialog's pointer through real input under Wine: the colour
readouts, the top swatch and the curve editors' markers over known preview
pixels, the cursors (sampling over the image, panning with Space held, cross
over a curve pane, arrow elsewhere), everything cleared when the mouse leaves
the image; and the overlay swatch, whose press opens the host's colour
dialog: a colour typed into it becomes the block's overlay colour and the
preview's tint, Cancel changes nothing, and the change is undone and redone
with Control+Z.

usage: pointer_test.py HOST_EXE PLUGIN DRIVER_EXE NATIVE_CRISPCALM WINE_RUNNER WORK_DIR
"""
import os
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_builds import pixels  # noqa: E402
from dialog_test import Runner, Screen, in_pane, z  # noqa: E402

WIDTH, HEIGHT = 160, 120
# Four flat quarters: their inner pixels come through the filter unchanged.
QUARTERS = {"red": (255, 0, 0), "green": (0, 255, 0), "grey": (128, 128, 128), "orange": (255, 128, 0)}
CENTRES = {"red": (40, 30), "green": (120, 30), "grey": (40, 90), "orange": (120, 90)}
# What the seven readouts show over each quarter.
READOUTS = {
    "red": ["R:100", "G:0", "B:0", "", "H:0\\xB0", "S:100", "I:33"],
    "green": ["R:0", "G:100", "B:0", "", "H:120\\xB0", "S:100", "I:33"],
    "grey": ["R:50", "G:50", "B:50", "", "H:0\\xB0", "S:0", "I:50"],
    "orange": ["R:100", "G:50", "B:0", "", "H:30\\xB0", "S:100", "I:50"],
}
OVERLAY_OFFSET, SHOW_RESULT_OFFSET = 6, 5


def quarters_ppm(path):
    data = bytearray()
    for y in range(HEIGHT):
        for x in range(WIDTH):
            name = ("red", "green", "grey", "orange")[(x >= WIDTH // 2) + 2 * (y >= HEIGHT // 2)]
            data += bytes(QUARTERS[name])
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (WIDTH, HEIGHT) + bytes(data))


def marker_fractions(rgb):
    """Hue / 360, saturation and intensity of an 8-bit pixel along the three
    axes, for the colours above whose hue is 0 or 120 degrees exactly."""
    r, g, b = (c * 256 / 65535.0 for c in rgb)
    hue = 0 if rgb[1] <= rgb[0] else 21845  # 120 degrees in hue units
    grey = rgb[0] == rgb[1] == rgb[2]
    saturation = 0 if grey else 65535
    intensity = int((b + g + r) * (1.0 / 3.0) * 65535 + 0.5)
    return (hue * 0.005493247882810711 * 0.002777777777777778, saturation * 0.0015259021896696422 * 0.01,
            intensity * 0.0015259021896696422 * 0.01)


def marker_column(marked, clean):
    """The column of the one pixel that differs on the graph's bottom row:
    the tip of the marker's triangle."""
    _, (w, h, _), a = pixels(marked)
    _, _, b = pixels(clean)
    row = 3 * w * (h - 1)
    changed = [x for x in range(w) if a[row + 3 * x:row + 3 * x + 3] != b[row + 3 * x:row + 3 * x + 3]]
    return (changed[0] if len(changed) == 1 else changed), w


def parse(output, prefix):
    return [line[len(prefix):].strip() for line in output.splitlines() if line.startswith(prefix)]


def readouts_run(r, work, image):
    """Readouts, swatch, markers and cursors over the four quarters."""
    grab = {n: os.path.join(work, n + ".ppm") for n in
            ("clean1", "clean2", "clean3", "green1", "green2", "green3", "grey1", "grey2", "grey3", "shot")}
    steps = ["hover:topswatch", "cursor", "hover:ok", "cursor"]  # arrow on the dialog, and on a button
    steps += [f"grabctl:pane{i}:{z(grab['clean%d' % i])}" for i in (1, 2, 3)]
    for name in ("red", "green", "grey", "orange"):
        x, y = CENTRES[name]
        steps += [f"hover:{WIDTH},{HEIGHT},{x},{y}", "readouts", "colour:topswatch", "cursor"]
        if name in ("green", "grey"):
            steps += [f"grabctl:pane{i}:{z(grab[name + str(i)])}" for i in (1, 2, 3)]
        if name == "orange":
            steps += ["grabctl:window:" + z(grab["shot"])]
    steps += [
        "keydown:32", "cursor", f"hover:{WIDTH},{HEIGHT},41,31", "readouts", "cursor",  # panning: cleared
        "keyup:32", "cursor",  # sampling again
        "hover:pane1", "readouts", "cursor",  # a curve pane: its own readouts, the cross
        f"hover:{WIDTH},{HEIGHT},40,30", "readouts", "hover:ok", "readouts",  # leaving for a button clears
        "click:ok",
    ]
    out = os.path.join(work, "readouts-out.ppm")
    code, text, driven = r.run("readouts", (1280, 1024), [z(image), "-o", z(out)], steps)
    r.check("readouts", driven == 0 and code == 0, "the run did not complete")
    shown, colours, cursors = (parse(r.driver_output, p) for p in ("readouts:", "colour topswatch:", "cursor:"))
    if len(shown) != 8 or len(colours) != 4 or len(cursors) != 10:
        r.check("readouts", False, f"the driver printed {len(shown)} readouts, {len(cursors)} cursors")
        return
    for k, name in enumerate(("red", "green", "grey", "orange")):
        texts = shown[k].split("|")
        r.check("readouts", texts[:7] == READOUTS[name] and texts[7:] == [""] * 6,
                f"over {name}: {texts}, not {READOUTS[name]}")
        r.check("readouts", colours[k] == ",".join(map(str, QUARTERS[name])), f"top swatch {colours[k]} over {name}")
    empty = [""] * 13
    r.check("readouts", shown[4].split("|") == empty, f"with Space held the readouts show {shown[4]}")
    pane = shown[5].split("|")
    r.check("readouts", pane[7].startswith("X: ") and pane[7].endswith("\\xB0") and pane[8].startswith("Y: ")
            and pane[:7] + pane[9:] == [""] * 11, f"over the hue pane the readouts show {pane}")
    r.check("readouts", shown[6].split("|")[:7] == READOUTS["red"], "back over the image: no readouts")
    r.check("readouts", shown[7].split("|") == empty, f"after leaving for a button the readouts show {shown[7]}")
    arrow, arrow_on_button, red, green, grey, orange, panning, panning_moved, sampling, cross = cursors
    r.check("readouts", arrow == arrow_on_button, "the dialog's arrow is not the system arrow")
    r.check("readouts", red == green == grey == orange == sampling, "the sampling cursor changed over the image")
    r.check("readouts", panning == panning_moved, "the panning cursor did not stay while Space was held")
    r.check("readouts", len({arrow, sampling, panning, cross}) == 4,
            f"arrow, sampling, panning and cross cursors are not four: {arrow, sampling, panning, cross}")
    for name in ("green", "grey"):
        fractions = marker_fractions(QUARTERS[name])
        for i in (1, 2, 3):
            column, width = marker_column(grab[f"{name}{i}"], grab[f"clean{i}"])
            want = int(fractions[i - 1] * (width - 1) + 0.5)
            r.check("readouts", column == want, f"over {name} the marker of curve {i} is at {column}, not {want}")
    png = os.path.join(work, "pointer-dialog.png")
    if os.path.exists(grab["shot"]):
        subprocess.run(["vips", "copy", grab["shot"], png], check=True)
        print(f"screenshot: {png}")


def picker_run(r, work, image):
    """The overlay swatch through the host's colour dialog, with "Overlay
    Color" shown: the dialog opens at the swatch's colour in eight bits,
    rounded; the colour typed in becomes the block's overlay colour and the
    preview's tint; Cancel changes nothing; Control+Z undoes and redoes."""
    # A block whose overlay colour rounds: 0x1280 -> 19, 0xFFFF -> 255, 0x007F -> 0.
    first = os.path.join(work, "first.block")
    code, _, _ = r.run("defaults", (1280, 1024), [z(image), "-o", z(os.path.join(work, "unused.ppm")),
                                                  "--save-params", z(first)], ["click:cancel"])
    with open(first, "rb") as f:
        block = bytearray(f.read())
    block[SHOW_RESULT_OFFSET] = 0
    struct.pack_into("<3H", block, OVERLAY_OFFSET, 0x1280, 0xFFFF, 0x007F)
    start = os.path.join(work, "start.block")
    with open(start, "wb") as f:
        f.write(bytes(block))
    out, saved, grab = (os.path.join(work, n) for n in ("picked.ppm", "picked.block", "picked-preview.ppm"))
    steps = ["click:swatch", "pick:10,200,30", "colour:swatch",
             "click:swatch", "pickcancel", "colour:swatch",
             "ctrl+key:90", "colour:swatch", "ctrl+key:90", "colour:swatch",
             "hover:ok", "grab:" + z(grab), "click:ok"]
    code, text, driven = r.run("picker", (1280, 1024), [z(image), "-o", z(out), "--params", z(start),
                                                        "--save-params", z(saved)], steps)
    r.check("picker", driven == 0 and code == 0, "the run did not complete")
    opened, swatch = parse(r.driver_output, "picker opened at"), parse(r.driver_output, "colour swatch:")
    r.check("picker", opened == ["19,255,0", "10,200,30"], f"the colour dialog opened at {opened}")
    r.check("picker", swatch == ["10,200,30", "10,200,30", "18,255,0", "10,200,30"],
            f"the overlay swatch showed {swatch}: picked, kept on Cancel, undone, redone")
    if not os.path.exists(saved):
        r.check("picker", False, "no block was saved")
        return
    with open(saved, "rb") as f:
        kept = f.read()
    colour = struct.unpack_from("<3H", kept, OVERLAY_OFFSET)
    r.check("picker", colour == (10 << 8, 200 << 8, 30 << 8) and kept[SHOW_RESULT_OFFSET] == 0,
            f"the block's overlay colour is {colour}")
    # The preview shows the image 1:1 in the "Overlay Color" view.
    overlay = os.path.join(work, "overlay-native.ppm")
    subprocess.run([r.native, image, "-o", overlay, "--params", saved, "--overlay", "-q"], check=True)
    if os.path.exists(grab):
        _, (pw, ph, _), shown = pixels(grab)
        r.check("picker", shown == in_pane(pixels(overlay), pw, ph),
                "the preview differs from the overlay view in the picked colour")
    if code == 0:
        want = r.native_output(image, saved, None, os.path.join(work, "picked-native.ppm"))
        r.check("picker", pixels(out) == want, "the output differs from the native command line's")


def main():
    host, plugin, driver, native, wine_runner, work = sys.argv[1:7]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    image = os.path.join(work, "quarters.ppm")
    quarters_ppm(image)
    r = Runner(host, plugin, driver, native, wine_runner, work)
    # The prefix is made once, before two programs start in it together.
    screen = Screen(1024, 768)
    subprocess.run([wine_runner, host], env=dict(r.env, DISPLAY=f":{screen.n}"), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=600)
    screen.close()
    readouts_run(r, work, image)
    picker_run(r, work, image)
    return r.finish("all pointer runs passed")


if __name__ == "__main__":
    sys.exit(main())
