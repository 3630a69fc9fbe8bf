#!/usr/bin/env python3
"""Tags of real camera photographs through the built crispcalm.

The photographs come out of a Debian package (fetched and cached by
scripts/fetch-sample.sh). Each is filtered to JPEG, TIFF, PNG and WebP, and
every tag exiftool reads (-j -G1 -a -n -b: all groups, duplicates, numbers
and binary values exactly) is compared with the input's. Tags that describe
how the written file stores its pixels must change and are left out; what a
format does not keep is listed per format, as the README's table says, and
must really be gone.

Arguments: the crispcalm program, the source folder, the sample cache folder.
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

CRISPCALM, SOURCE, CACHE = sys.argv[1:4]
GOEXIF = ("golang-github-rwcarlsen-goexif-dev:"
          "usr/share/gocode/src/github.com/rwcarlsen/goexif/exif/")

# name in the cache, package file, Make, Model, maker-note group ("" = none)
CAMERAS = [
    ("nikon-d2h.jpg", GOEXIF + "sample1.jpg", "NIKON CORPORATION", "NIKON D2H", ""),
    ("iphone-4s.jpg", GOEXIF + "samples/has-lens-info.jpg", "Apple", "iPhone 4S", "Apple"),
]

# Groups that describe the file, the tool or the encoder, not the picture.
FILE_GROUPS = {"SourceFile", "System", "File", "ExifTool", "Composite", "JFIF", "Adobe",
               "PNG", "PNG-pHYs", "RIFF"}
# The first directory's storage tags: the written file's own.
STORAGE = {"ImageWidth", "ImageHeight", "BitsPerSample", "Compression",
           "PhotometricInterpretation", "StripOffsets", "SamplesPerPixel", "RowsPerStrip",
           "StripByteCounts", "PlanarConfiguration", "Predictor", "SampleFormat",
           "YCbCrPositioning", "YCbCrSubSampling", "ExtraSamples", "TileWidth", "TileLength",
           "TileOffsets", "TileByteCounts", "SubfileType"}
# Where the thumbnail sits in the Exif block, and the Exif pixel size, which
# follows the written image.
MOVED = {"IFD1:ThumbnailOffset", "ExifIFD:ExifImageWidth", "ExifIFD:ExifImageHeight"}

# What each output format does not keep ("MAKERNOTES": the maker-note group).
DROPPED = {
    ".jpg": set(),
    ".tif": {"IFD1"},                      # the Exif thumbnail
    ".png": {"Photoshop", "IPTC", "MAKERNOTES"},
    ".webp": {"Photoshop", "IPTC", "MAKERNOTES"},
}
# Empty tags libvips's Exif library adds in the formats left to it.
ADDED = {".png": {"ExifIFD:CFAPattern2": ""}, ".webp": {"ExifIFD:CFAPattern2": ""}}


def tags(path):
    out = subprocess.run(["exiftool", "-j", "-G1", "-a", "-n", "-b", path],
                         check=True, capture_output=True, text=True).stdout
    found = {}
    for key, value in json.loads(out)[0].items():
        group, _, name = key.partition(":")
        if group in FILE_GROUPS or key in MOVED:
            continue
        if group == "IFD0" and name in STORAGE:
            continue
        found[key] = value
    return found


def groups(found):
    return {key.partition(":")[0] for key in found}


class CameraTags(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        args = [os.path.join(SOURCE, "scripts", "fetch-sample.sh"), "-"]
        for name, origin, *_ in CAMERAS:
            args += [origin, os.path.join(CACHE, "camera", name)]
        subprocess.run(args, check=True)
        cls.work = tempfile.TemporaryDirectory()
        # The cameras wrote no IPTC record: one photograph gets one, as a
        # picture agency's tool would add it.
        cls.sources = [os.path.join(CACHE, "camera", c[0]) for c in CAMERAS]
        captioned = os.path.join(cls.work.name, "captioned.jpg")
        subprocess.run(["exiftool", "-q", "-o", captioned, "-IPTC:Keywords=harbour", "-IPTC:Keywords=boats",
                        "-IPTC:City=Bergen", "-IPTC:Caption-Abstract=Boats in the harbour", cls.sources[1]],
                       check=True)
        cls.sources.append(captioned)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def test_camera_files_hold_what_the_comparison_needs(self):
        for name, _, make, model, notes in CAMERAS:
            path = os.path.join(CACHE, "camera", name)
            subprocess.run(["vipsheader", path], check=True, capture_output=True)
            found = tags(path)
            self.assertEqual(found.get("IFD0:Make"), make, name)
            self.assertEqual(found.get("IFD0:Model"), model, name)
            self.assertIn("GPS", groups(found), name)
            self.assertGreater(len([k for k in found if k.startswith("ExifIFD:")]), 20, name)
            if notes:
                self.assertIn(notes, groups(found), name)

    def test_each_format_keeps_the_tags_the_readme_says(self):
        for source, notes in zip(self.sources, [c[4] for c in CAMERAS] + [CAMERAS[1][4]]):
            name = os.path.basename(source)
            before = tags(source)
            for extension, dropped in DROPPED.items():
                with self.subTest(camera=name, output=extension):
                    out = os.path.join(self.work.name, name + extension)
                    run = subprocess.run([CRISPCALM, "--quiet", "--amount", "80", source, "-o", out],
                                         capture_output=True, text=True)
                    self.assertEqual(run.returncode, 0, run.stderr)
                    gone = {notes if g == "MAKERNOTES" else g for g in dropped} - {""}
                    expected = {k: v for k, v in before.items() if k.partition(":")[0] not in gone}
                    after = tags(out)
                    for key, value in ADDED.get(extension, {}).items():
                        if key not in before and after.get(key) == value:
                            del after[key]
                    changed = sorted(k for k in set(after) | set(expected) if after.get(k) != expected.get(k))
                    self.assertEqual(changed, [], "tags that differ")
                    self.assertFalse(gone & groups(after))
                    if name == "captioned.jpg" and "IPTC" not in gone:
                        self.assertEqual(after.get("IPTC:City"), "Bergen")
                    # The Exif pixel size, where the camera gave one, is the
                    # written image's.
                    size = subprocess.run(["vipsheader", "-f", "width", out], check=True,
                                          capture_output=True, text=True).stdout.strip()
                    every = json.loads(subprocess.run(["exiftool", "-j", "-G1", "-n", out], check=True,
                                                      capture_output=True, text=True).stdout)[0]
                    if "ExifIFD:ExifImageWidth" in every:
                        self.assertEqual(str(every["ExifIFD:ExifImageWidth"]), size)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
