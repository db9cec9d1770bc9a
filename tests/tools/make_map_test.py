#!/usr/bin/env python3
"""Checks tools/make_map.py --detail --region: the map it writes for a small
range holds only that range, is the same bytes from run to run, and has no
lines running along the cut edges. Skips (exit 77) when gmt, the GSHHG data
or the relief grid are missing."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
TOOL = os.path.join(REPO, "tools", "make_map.py")
RELIEF = "/usr/share/ferret-vis/data/etopo5.cdf"
GSHHG_FULL = "/usr/share/gmt-gshhg/binned_GSHHS_f.nc"

# The Miura peninsula and Lake Biwa.
MIURA = (139.55, 139.75, 35.1, 35.35)
BIWA = (135.85, 136.3, 34.95, 35.55)


def missing_tools():
    if shutil.which("gmt") is None:
        return "gmt is not installed"
    if not os.path.exists(GSHHG_FULL):
        return "gmt-gshhg-full is not installed"
    if not os.path.exists(RELIEF):
        return "ferret-datasets is not installed"
    try:
        import numpy  # noqa: F401
        import scipy  # noqa: F401
    except ImportError:
        return "python3-numpy or python3-scipy is not installed"
    return None


def run_tool(*args):
    return subprocess.run([sys.executable, TOOL] + list(args),
                          capture_output=True, text=True)


def region_text(region):
    return ",".join("%g" % v for v in region)


def read_sections(data):
    """Section name -> list of polylines, each a list of (x, y)."""
    sections = {}
    current = None
    line_pts = None
    for raw in data.decode("cp932").split("\r\n"):
        if raw.startswith("*"):
            current = sections.setdefault(raw, [])
            line_pts = None
        elif raw.startswith(";") or raw == "":
            line_pts = None
        elif current is not None:
            if line_pts is None:
                line_pts = []
                current.append(line_pts)
            x, y = raw.split(",")
            line_pts.append((float(x), float(y)))
    return sections


class RegionMapTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="kavum-make-map-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def make(self, region, name):
        out = os.path.join(self.tmp, name)
        run = run_tool("--detail", "full", "--region", region_text(region),
                       "--out", out)
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(out, "rb") as f:
            return f.read()

    def test_same_bytes_twice_and_only_the_range(self):
        first = self.make(MIURA, "miura-1.mdt")
        second = self.make(MIURA, "miura-2.mdt")
        self.assertEqual(first, second)
        self.assertIn(b"\r\n", first)
        self.assertNotIn(b"\n\n", first.replace(b"\r\n", b""))

        sections = read_sections(first)
        self.assertEqual(list(sections),
                         ["*H-MAP", "*G-MAP", "*WE-PROF", "*SN-PROF", "*END"])
        west, east, south, north = MIURA
        coast = sections["*H-MAP"]
        self.assertGreater(sum(len(p) for p in coast), 300)
        eps = 1e-9
        for name in ("*H-MAP", "*G-MAP"):
            for pts in sections[name]:
                self.assertGreaterEqual(len(pts), 2)
                for x, y in pts:
                    self.assertTrue(west - eps <= x <= east + eps
                                    and south - eps <= y <= north + eps,
                                    "%s point %r outside the range" % (name, (x, y)))
        # The profiles cover the range in whole 1/12 degree columns.
        col = 1.0 / 12
        for name, lo, hi in (("*WE-PROF", west, east), ("*SN-PROF", south, north)):
            steps = [p for pts in sections[name] for p in pts]
            self.assertTrue(steps, name)
            self.assertLessEqual(steps[0][0], lo)
            self.assertGreaterEqual(steps[-1][0], hi)
            for pos, height in steps:
                self.assertTrue(lo - col <= pos <= hi + col, (name, pos))
                self.assertGreaterEqual(height, 0)

        # No segment runs along an edge of the range: cut lines end there.
        for pts in coast:
            for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
                self.assertFalse(x0 == x1 and x0 in (west, east), (x0, y0, x1, y1))
                self.assertFalse(y0 == y1 and y0 in (south, north), (x0, y0, x1, y1))

    def test_lake_biwa_is_one_closed_line(self):
        sections = read_sections(self.make(BIWA, "biwa.mdt"))
        closed = [pts for pts in sections["*H-MAP"]
                  if len(pts) > 100 and pts[0] == pts[-1]]
        # The lake's shore runs around its centre (about 136.08 E, 35.25 N).
        around = [pts for pts in closed
                  if min(x for x, _ in pts) < 136.0 < 136.15 < max(x for x, _ in pts)
                  and min(y for _, y in pts) < 35.1 < 35.4 < max(y for _, y in pts)]
        self.assertEqual(len(around), 1, "Lake Biwa's shore")
        # Its title names the range and the credits are kept.
        text = open(os.path.join(self.tmp, "biwa.mdt"), "rb").read().decode("cp932")
        self.assertIn("--region %s" % region_text(BIWA), text)
        self.assertIn("GSHHG", text)
        self.assertIn("出典：地球地図日本（国土地理院）", text)

    def test_bad_regions_are_refused_with_a_message(self):
        out = os.path.join(self.tmp, "bad.mdt")
        cases = [
            ("139.7,139.5,35.1,35.3", "west must lie below east"),
            ("139.5,139.7,35.1", "four numbers"),
            ("abc,139.7,35.1,35.3", "four numbers"),
            ("100,110,35,36", "Japan's box"),
        ]
        for region, message in cases:
            run = run_tool("--detail", "full", "--region", region, "--out", out)
            self.assertNotEqual(run.returncode, 0, region)
            self.assertIn(message, run.stderr, region)
        self.assertFalse(os.path.exists(out))
        run = run_tool("--detail", "full", "--region", region_text(MIURA))
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("--out", run.stderr)


if __name__ == "__main__":
    reason = missing_tools()
    if reason:
        print("skipped: " + reason)
        sys.exit(77)
    unittest.main()
