#!/usr/bin/env python3
"""The figures of veltrass-cli --plot, read back with an XML parser.

Usage: plot_test.py VELTRASS_CLI EXAMPLES_DIR
"""
import json
import math
import os
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

CLI = None
EXAMPLES = None
SVG = "{http://www.w3.org/2000/svg}"
HELD_CLOCK = "1000000000"
COORDINATES = ("x", "y", "width", "height", "x1", "y1", "x2", "y2")


def run(*args):
    done = subprocess.run([CLI, "--time", HELD_CLOCK, *args], capture_output=True, check=True)
    return done.stdout.decode("utf-8", "replace")


def figure_of(station_path, folder):
    """Draws the figure of one station file and returns its parsed root and the figure's path."""
    run("--plot", folder, station_path)
    base = os.path.splitext(os.path.basename(station_path))[0]
    if isinstance(base, bytes):
        base = os.fsdecode(base)
    path = os.path.join(folder, base + ".svg")
    return ElementTree.parse(path).getroot(), path


def by_id(root, ident):
    found = root.find(".//*[@id='%s']" % ident)
    return found


def axis_of(panel, name, position):
    """The map from data value to coordinate that a panel's axis declares through its ticks, and
    the ticks' values and label texts."""
    ticks = [t for t in panel.find(SVG + "g[@class='%s']" % name).iter(SVG + "line")
             if t.get("data-value") is not None]
    labels = panel.find(SVG + "g[@class='%s']" % name.replace("axis", "labels"))
    texts = [t.text for t in labels.iter(SVG + "text")]
    first, last = ticks[0], ticks[-1]
    v0, v1 = float(first.get("data-value")), float(last.get("data-value"))
    p0, p1 = float(first.get(position)), float(last.get(position))
    values = [float(t.get("data-value")) for t in ticks]
    return (lambda value: p0 + (value - v0) / (v1 - v0) * (p1 - p0)), values, texts


def title_scale(title):
    """The power of ten that an axis title such as "Distance (×10³⁸)" names, or 1."""
    superscripts = "\u2070\u00b9\u00b2\u00b3\u2074\u2075\u2076\u2077\u2078\u2079"
    if "\u00d710" not in title:
        return 1
    digits = title.split("\u00d710")[1].rstrip(")")
    exponent = int("".join(str(superscripts.index(c)) if c in superscripts else "-"
                           for c in digits))
    return 10.0 ** exponent


class Figure(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="veltrass_plot_")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.folder])

    def station_file(self, name, text):
        path = os.path.join(os.fsencode(self.folder), b"in_" + name)
        with open(path, "wb") as f:
            f.write(text.encode())
        return path

    def assert_valid_drawing(self, root):
        """Self-contained, sized for a journal column, every coordinate a finite number inside."""
        self.assertEqual(SVG + "svg", root.tag)
        self.assertEqual("85mm", root.get("width"))
        self.assertEqual("sans-serif", root.get("font-family"))
        _, _, width, height = (float(v) for v in root.get("viewBox").split())
        for element in root.iter():
            if element is root:
                continue
            tag = element.tag.replace(SVG, "")
            self.assertNotIn(tag, ("script", "image", "foreignObject", "style", "use", "a"))
            for name, value in element.attrib.items():
                self.assertNotIn("href", name)
                self.assertNotIn("url(", value)
                if name == "transform":
                    numbers = value.replace("rotate(", "").rstrip(")").split()
                    self.assertTrue(all(math.isfinite(float(n)) for n in numbers), value)
                if name in COORDINATES:
                    number = float(value)
                    self.assertTrue(math.isfinite(number), "%s %s=%s" % (tag, name, value))
                    limit = width if name.startswith("x") or name == "width" else height
                    self.assertTrue(-0.01 <= number <= limit + 0.01,
                                    "%s %s=%s" % (tag, name, value))

    def assert_results_as_text_output(self, root, station_path):
        text = run(station_path).splitlines()
        self.assertIn(by_id(root, "index").text, text)
        self.assertIn(by_id(root, "probability").text, text)
        self.assertTrue(by_id(root, "index").text.startswith("Index of patchiness: "))
        self.assertTrue(by_id(root, "probability").text.startswith("Probability: "))

    def test_drawable_analyses(self):
        rows = [
            ("the bundled example", os.path.join(EXAMPLES, "transect.txt"), 120),
            ("clumped", self.station_file(b"clumped.txt", "3 3 0 0"), 3),
            ("negative values", self.station_file(b"signed.txt", "8 -2.5 1 4 -3 0 0.5 2 -1"), 8),
            ("every shuffle ties", self.station_file(b"tied.txt", "2 3 1"), 2),
            ("tenths that tie", self.station_file(b"tenths.txt", "2 0.3 0.1"), 2),
            ("values near the top of single precision",
             self.station_file(b"huge.txt", "2 3e38 0"), 2),
            ("a long transect", self.station_file(
                b"long.txt", "1000 " + " ".join(str((i * 7919) % 13 + (9 if 300 < i < 340 else 0))
                                               for i in range(1000))), 1000),
        ]
        for name, path, stations in rows:
            with self.subTest(name):
                record = json.loads(run("--json", path))
                root, _ = figure_of(path, self.folder)
                self.assert_valid_drawing(root)
                self.assert_results_as_text_output(root, path)
                title = by_id(root, "figure-title").text
                base = os.fsdecode(os.path.basename(path))
                self.assertEqual("%s: %d stations" % (base, stations), title)

                transect, shuffles = by_id(root, "transect"), by_id(root, "shuffles")
                self.assertIsNotNone(transect)
                self.assertIsNotNone(shuffles)
                self.assertEqual(stations, len(by_id(transect, "bars").findall(SVG + "rect")))
                histogram = by_id(shuffles, "histogram").findall(SVG + "rect")
                self.assertEqual(999, sum(int(bar.get("data-count")) for bar in histogram))

                # The observed distance sits where its value lies on the axis the ticks declare,
                # and the tick labels show those values (in units of the power of ten that the
                # axis title names, if any).
                x_of, values, texts = axis_of(shuffles, "x-axis", "x1")
                observed = by_id(shuffles, "observed")
                for end in ("x1", "x2"):
                    self.assertAlmostEqual(x_of(record["observed_distance"]),
                                           float(observed.get(end)), delta=0.01)
                scale = title_scale(shuffles.find(SVG + "text[@class='x-title']").text)
                self.assertEqual(len(values), len(texts))
                for value, text in zip(values, texts):
                    self.assertTrue(math.isclose(value / scale, float(text), rel_tol=1e-9,
                                                 abs_tol=1e-12), "%r vs %s" % (value, text))
                # So does the mean on the value axis of the transect.
                y_of, _, _ = axis_of(transect, "y-axis", "y1")
                mean = by_id(transect, "mean")
                self.assertAlmostEqual(y_of(record["observed_mean"]), float(mean.get("y1")),
                                       delta=0.01)

    def test_degenerate_analyses_say_what_happened(self):
        rows = [
            # name, file, panel that explains, words it uses
            ("count 0", b"empty.txt", "0", "transect", "No stations"),
            ("negative count", b"negative.txt", "-3 1 2", "transect", "No stations"),
            ("all values equal", b"level.txt", "4 2 2 2 2", "shuffles",
             "Every arrangement measures 0"),
            ("one station", b"single.txt", "1 6", "shuffles", "Every arrangement measures 0"),
            ("an infinite value", b"infinite.txt", "3 1e39 0 0", "transect", "not a finite number"),
            ("an infinite mean", b"infinite.txt", "3 1e39 0 0", "shuffles",
             "the mean is not a finite number"),
            ("infinite observed distance", b"overflow.txt", "4 3e38 0 0 0", "shuffles",
             "off the axis"),
        ]
        for name, file_name, text, panel, words in rows:
            with self.subTest(name):
                path = self.station_file(file_name, text)
                root, _ = figure_of(path, self.folder)
                self.assert_valid_drawing(root)
                self.assert_results_as_text_output(root, path)
                texts = by_id(root, panel).iter(SVG + "text")
                said = " ".join("".join(t.itertext()) for t in texts)
                self.assertIn(words, said)

    def test_file_names_of_any_bytes_give_valid_documents(self):
        rows = [
            ("markup characters", b"a&b<c>'\".txt", "a&b<c>'\".txt"),
            ("not UTF-8", b"caf\xe9.txt", "caf\ufffd.txt"),
            ("UTF-8", "caf\u00e9.txt".encode(), "caf\u00e9.txt"),
        ]
        for name, file_name, shown in rows:
            with self.subTest(name):
                path = self.station_file(file_name, "3 3 0 0")
                run("--plot", self.folder, path)
                figure = os.path.join(os.fsencode(self.folder),
                                      os.path.splitext(os.path.basename(path))[0] + b".svg")
                root = ElementTree.parse(figure).getroot()
                self.assertEqual("in_" + shown + ": 3 stations", by_id(root, "figure-title").text)


if __name__ == "__main__":
    CLI, EXAMPLES = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0], "-v"])
