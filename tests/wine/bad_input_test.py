#!/usr/bin/env python3
"""Bad input through the dialog under Wine, by real input: settings files
that are cut short, empty, of another kind, of a newer version, or held open
by another process without sharing (a read failure the Windows code sees;
root reads any file whatever its permissions, and a folder cannot be chosen
in the open dialog, which goes into it); a save over that held file;
quick-curve folders with a broken and a wrong-sized file deep below the
host's folder, with 60 files, and with files at paths of 1,023 and 1,024
characters. (Typed into the system's file dialog, a path longer than 260
characters crashes Wine's own dialog, so long settings paths are not tried
there.) Each load
or save shows its message box (text and caption read back from the window),
the controls stay as they were, no file is written half, and the block
after OK is what the controls showed.

usage: bad_input_test.py HOST_EXE PLUGIN DRIVER_EXE NATIVE_CRISPCALM WINE_RUNNER WORK_DIR
"""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_builds import write_ppm  # noqa: E402
from commands_test import SETTINGS_SIZE, block_of, quick_curve_file, windows_path  # noqa: E402
from dialog_test import Runner, z  # noqa: E402
from session_test import block_with, read_state  # noqa: E402

SCREEN = (1280, 1024)
PARSE = "Error|There was a problem parsing the file|ok"


def settings_bytes(tag=b"QZR3", version=(2, 2), size=SETTINGS_SIZE, channels=(1, 1, 1, 1)):
    data = bytearray(size)
    data[0:4], data[5], data[6] = tag, version[0], version[1]
    if size >= SETTINGS_SIZE:
        data[7:3079] = b"\xff" * 3072
        data[7] = data[1030] = data[1031] = data[2055] = 127  # hue ends, saturation and intensity starts
        data[3079:3093] = bytes([50, 1, *channels, 204, 102, 0, 1, 0, 0, 1, 100])
    return bytes(data)


def long_path(base, length, name="x.qzr3"):
    """A file below base whose Windows path (Z: and backslashes) has exactly
    length characters, through folders of at most 200 characters."""
    remaining = length - len(windows_path(base)) - 1 - len(name)  # each folder adds itself and a separator
    if remaining == 1:
        name, remaining = "y" + name, 0
    path = base
    while remaining > 0:
        n = min(200, remaining - 1)
        if remaining - n - 1 == 1:
            n -= 1
        path = os.path.join(path, "d" * n)
        remaining -= n + 1
    path = os.path.join(path, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    assert len(windows_path(path)) == length
    return path


def settings_run(r, work, image):
    files = {
        "truncated": (settings_bytes(size=SETTINGS_SIZE - 1), PARSE),
        "empty": (b"", PARSE),
        "wrong-tag": (settings_bytes(tag=b"QZR5"), "Error|Incorrect file type|ok"),
        "future": (settings_bytes(version=(2, 3)),
                   "Error|This file was created with a newer version of the plug-in than the one you have|ok"),
        "held": (settings_bytes(channels=(0, 0, 1, 1)), "Error|There was a problem opening the file|ok"),
    }
    paths = {name: os.path.join(work, name + ".qzr3") for name in files}
    for name, (data, _) in files.items():
        with open(paths[name], "wb") as f:
            f.write(data)
    state = lambda name: os.path.join(work, f"settings-{name}.state")  # noqa: E731
    steps = ["click:channel3", "state:" + z(state("before")), "lock:" + windows_path(paths["held"])]
    for name, (_, answer) in files.items():
        steps += ["click:load", "file:" + windows_path(paths[name]), "answer:" + answer, "state:" + z(state(name))]
    # Saving over the held file fails as a whole: the file keeps its bytes.
    steps += ["click:save", "replace:" + windows_path(paths["held"]),
              "answer:File Save Error|There was an error saving the file|ok", "state:" + z(state("save"))]
    steps += ["click:ok"]
    out, block = os.path.join(work, "settings.ppm"), os.path.join(work, "settings.block")
    code, text, driven = r.run("settings", SCREEN, [z(image), "-o", z(out), "--save-params", z(block)], steps)
    r.check("settings", driven == 0, "the driver failed")
    r.check("settings", code == 0, "OK did not end the run")
    states = {n: read_state(state(n)) for n in list(files) + ["before", "save"]
              if os.path.exists(state(n))}
    before = states.get("before")
    r.check("settings", before is not None and before["channel3"] == "0", "the channel box was not unticked")
    for name in list(files) + ["save"]:
        r.check(name, states.get(name) == before, "the controls changed after a failed load or save")
    for name, (data, _) in files.items():
        r.check(name, block_of(paths[name]) == data, "the file was changed")
    r.check("save", not any(n.endswith(".tmp") for n in os.listdir(work)),
            "a temporary file was left behind")
    if os.path.exists(block) and "save" in states:
        b = block_of(block)
        r.check("settings", block_with(b, states["save"], b) == b, "the block is not what the controls showed")


def quick_curve_run(r, work, image, case, folder_of, files, want_items):
    """A host whose quick-curve folder, folder_of(the host's folder), holds
    files (name: (key, curve name) or raw bytes)."""
    host_dir = os.path.join(work, case)
    os.makedirs(host_dir)
    host = shutil.copy(r.host, host_dir)
    folder = folder_of(host_dir)
    os.makedirs(folder, exist_ok=True)
    for name, content in files.items():
        if isinstance(content, bytes):
            with open(os.path.join(folder, name), "wb") as f:
                f.write(content)
        else:
            quick_curve_file(os.path.join(folder, name), content[0], content[1], 100 + content[0], 32767)
    state = os.path.join(work, case + ".state")
    runner = Runner(host, r.plugin, r.driver, r.native, r.wine_runner, work)
    code, _, driven = runner.run(case, SCREEN, [z(image), "-o", z(os.path.join(work, case + ".ppm"))],
                                 ["state:" + z(state), "click:cancel"])
    r.failures += runner.failures
    r.check(case, driven == 0 and code == 4, "the run did not end with Cancel")
    if not os.path.exists(state):
        r.check(case, False, "no state")
        return None
    s = read_state(state)
    items = [s[f"quick-item{i}"] for i in range(1, int(s["quick-items"]) + 1)]
    r.check(case, want_items(items), f"the list holds {items}")
    return items


def main():
    host, plugin, driver, native, wine_runner, work = sys.argv[1:7]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    image = os.path.join(work, "in.ppm")
    write_ppm(image, 173, 121, 8, 7)
    r = Runner(host, plugin, driver, native, wine_runner, work)
    settings_run(r, work, image)

    # Twelve folders deep: found; the broken and the wrong-sized file are left out.
    good = {"b.qzm": (2, "Second"), "a.qzm": (1, "First")}
    bad = {"broken.qzm": b"XXXX" + bytes(6215), "long.qzm": b"QZMV" + bytes(6216)}
    deep = lambda host: os.path.join(host, *[f"level{i}" for i in range(12)], "Tarvo Standard Curves")  # noqa: E731
    quick_curve_run(r, work, image, "deep", deep, {**good, **bad},
                    lambda items: items == ["Select...", "First", "Second"])
    # Sixty files: the first fifty listed are read, each once.
    many = {f"c{i:02d}.qzm": (i, f"Curve {i:02d}") for i in range(60)}
    beside = lambda host: os.path.join(host, "Tarvo Standard Curves")  # noqa: E731
    quick_curve_run(r, work, image, "sixty", beside, many,
                    lambda items: len(items) == 51 and items[0] == "Select..." and len(set(items)) == 51 and
                    set(items[1:]) <= {f"Curve {i:02d}" for i in range(60)} and items[1:] == sorted(items[1:]))

    # Files whose paths have 1,023 and 1,024 characters: the system's narrow
    # file functions end at 260 characters, so the folder is not found and
    # the list stays empty; the dialog works on without a message.
    longest = lambda host: os.path.dirname(long_path(host, 1023, "Tarvo Standard Curves/a.qzm"))  # noqa: E731
    quick_curve_run(r, work, image, "long-paths", longest, {"a.qzm": (1, "Fits"), "ab.qzm": (2, "Too long")},
                    lambda items: items == [])

    return r.finish("all bad input runs passed")


if __name__ == "__main__":
    sys.exit(main())
