#!/usr/bin/env python3
"""The main dialog's commands through real input under Wine: channel boxes,
snapshots (store, the overwrite question answered No, recall with Control,
clear with Shift), undo with Control+Z, a quick curve from the folder found
below Program Files, settings saved and loaded back through the system's file
dialogs, bad settings files with their messages, zoom buttons, then OK. The
block the host keeps must say what was shown, and the output must equal the
native command line's with that block.

usage: commands_test.py HOST_EXE PLUGIN DRIVER_EXE NATIVE_CRISPCALM WINE_RUNNER WORK_DIR
"""
import os
import shutil
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_builds import pixels, write_ppm  # noqa: E402
from dialog_test import Runner, z  # noqa: E402

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


def block_of(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    host, plugin, driver, native, wine_runner, work = sys.argv[1:7]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    image = os.path.join(work, "in.ppm")
    write_ppm(image, 173, 121, 8, 7)
    # The host runs from a folder of its own: the quick-curve folder is looked
    # for below the host's folder first.
    os.makedirs(os.path.join(work, "host"))
    host = shutil.copy(host, os.path.join(work, "host"))
    r = Runner(host, plugin, driver, native, wine_runner, work)

    # Quick curves two folders below Program Files, with a broken and a
    # wrong-sized file that are skipped.
    curves = os.path.join(work, "prefix", "drive_c", "Program Files", "Vendor", "Tarvo Standard Curves")
    os.makedirs(curves)
    quick_curve_file(os.path.join(curves, "b.qzm"), 2, "Second", 700, 32767)
    quick_curve_file(os.path.join(curves, "a.qzm"), 1, "First", 300, 32767)
    with open(os.path.join(curves, "broken.qzm"), "wb") as f:
        f.write(b"XXXX" + bytes(6215))
    with open(os.path.join(curves, "long.qzm"), "wb") as f:
        f.write(b"QZMV" + bytes(6216))

    saved = os.path.join(work, "kept.qzr3")
    short = os.path.join(work, "short.qzr3")
    future = os.path.join(work, "future.qzr3")
    out, block = os.path.join(work, "commands.ppm"), os.path.join(work, "commands.block")
    steps = [
        "click:channel1",                 # Red off
        "click:snapshot1",                # stored without a question
        "hidden:snapshot1", "shown:filled1",
        "click:channel2",                 # Green off
        "click:filled1",                  # overwrite? No keeps Red off, Green on
        "answer:|Are you sure you want to overwrite this snapshot?|no",
        "click:channel3",                 # Blue off
        "ctrl+click:filled1",             # recall
        "unchecked:channel1", "checked:channel2", "checked:channel3",
        "click:channel3", "unchecked:channel3",
        "ctrl+key:90", "checked:channel3",  # undo
        "ctrl+key:90", "unchecked:channel3",  # and redo
        "ctrl+key:90", "checked:channel3",
        "shift+click:filled1",            # cleared
        "shown:snapshot1", "hidden:filled1",
        "click:zoom100", "click:fit",
        "click:quick", "key:40", "key:13",  # the first quick curve
        "click:save", "file:" + windows_path(saved),
        "click:channel2", "unchecked:channel2",
        "click:load", "file:" + windows_path(saved), "checked:channel2",
        "click:load", "file:" + windows_path(short), "answer:Error|There was a problem parsing the file|ok",
        "click:load", "file:" + windows_path(future),
        "answer:Error|This file was created with a newer version of the plug-in than the one you have|ok",
        "unchecked:channel1", "checked:channel2", "checked:channel3",
        "click:ok",
    ]

    # The bad files exist before the run; the good one is written by it.
    with open(short, "wb") as f:
        f.write(b"QZR3\0\2\2" + bytes(100))
    with open(future, "wb") as f:
        f.write(b"QZR3\0\2\3" + bytes(SETTINGS_SIZE - 7))

    code, text, driven = r.run("commands", (1280, 1024), [z(image), "-o", z(out), "--save-params", z(block)], steps)
    r.check("commands", driven == 0, "the driver failed")
    r.check("commands", code == 0 and "image: changed" in text, "OK did not apply the filter")
    r.check("commands", os.path.exists(saved) and os.path.getsize(saved) == SETTINGS_SIZE
            and block_of(saved)[:7] == b"QZR3\0\2\2", "the settings file was not saved")
    if os.path.exists(block):
        b = block_of(block)
        channels = list(struct.unpack_from("<4i", b, 28))
        r.check("commands", channels[:3] == [0, 1, 1], f"channels {channels[:3]} instead of [0, 1, 1]")
        hue = struct.unpack_from("<1024f", b, CURVES_OFFSET)
        filled = [i for i, v in enumerate(hue) if v >= 0]
        # The quick curve's one point, and the end slot the hue circle keeps.
        r.check("commands", hue[300] == 1.0 and set(filled) <= {300, 1023},
                f"hue points {filled[:5]} are not the quick curve's")
        if code == 0:
            want = r.native_output(image, block, None, os.path.join(work, "commands-native.ppm"))
            r.check("commands", pixels(out) == want, "the output differs from the native command line's")
    else:
        r.check("commands", False, "no block was saved")

    if r.failures:
        print("\n".join(r.failures))
        return 1
    print("all command runs passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
