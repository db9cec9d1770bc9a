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
        from osgeo import gdal  # noqa: F401
    except ImportError:
        return "python3-numpy, python3-scipy or python3-gdal is not installed"
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


def write_geotiff(path, west, north, dx, z, nodata=-9999.0):
    """A latitude/longitude GeoTIFF (JGD2011) of z, row 0 the northernmost,
    cells dx degrees square."""
    from osgeo import gdal, osr
    gdal.UseExceptions()
    rows, cols = z.shape
    ds = gdal.GetDriverByName("GTiff").Create(path, cols, rows, 1, gdal.GDT_Float32)
    ds.SetGeoTransform((west, dx, 0, north, 0, -dx))
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(6668)
    ds.SetProjection(srs.ExportToWkt())
    band = ds.GetRasterBand(1)
    band.SetNoDataValue(nodata)
    band.WriteArray(z.astype("float32"))
    ds = None


def profile_heights(steps):
    """(position, elevation) steps of a staircase outline to a dict of the
    height from each listed position on."""
    return {round(pos, 6): h for pos, h in steps}


class DemProfileTest(unittest.TestCase):
    """Profiles from an elevation model the test writes itself."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="kavum-make-map-dem-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def make(self, region, *extra):
        out = os.path.join(self.tmp, "dem.mdt")
        run = run_tool("--detail", "full", "--region", region_text(region),
                       "--out", out, *extra)
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(out, "rb") as f:
            return read_sections(f.read()), run.stderr

    def test_highest_cell_of_each_column_inland(self):
        import numpy as np
        # 10 x 8 cells of 0.01 degree in the Matsumoto basin, all land: cell
        # (row, col) is 100 * col + 10 * row + 5 metres high, so the highest
        # cell of column c is its southernmost, 100 c + 75, and of row r the
        # easternmost, 905 + 10 r. One cell has no data.
        west, north, dx = 137.90, 36.30, 0.01
        rows, cols = 8, 10
        z = np.fromfunction(lambda r, c: 100 * c + 10 * r + 5, (rows, cols))
        z[7, 9] = -9999
        dem = os.path.join(self.tmp, "inland.tif")
        write_geotiff(dem, west, north, dx, z)
        region = (west, west + cols * dx, north - rows * dx, north)
        sections, stderr = self.make(region, "--dem", dem)
        self.assertIn("no data", stderr)
        we = profile_heights(p for pts in sections["*WE-PROF"] for p in pts)
        for c in range(cols):
            expected = 100 * c + 75 if c < 9 else 100 * c + 65
            self.assertEqual(we.get(round(west + c * dx, 6)), expected, c)
        self.assertEqual(we[round(west + cols * dx, 6)], 0)
        sn = profile_heights(p for pts in sections["*SN-PROF"] for p in pts)
        for r in range(rows):
            lat = round(north - (r + 1) * dx, 6)
            expected = 905 + 10 * r if r < 7 else 805 + 10 * r
            self.assertEqual(sn.get(lat), expected, r)
        # Columns two cells wide hold the higher of the two.
        sections, _ = self.make(region, "--dem", dem, "--profile-step", "0.02")
        we = profile_heights(p for pts in sections["*WE-PROF"] for p in pts)
        for c in range(0, cols, 2):
            self.assertEqual(we.get(round(west + c * dx, 6)),
                             100 * (c + 1) + 75 if c + 1 < 9 else 100 * (c + 1) + 65, c)

    def test_sea_cells_do_not_count(self):
        import numpy as np
        # 1000 m everywhere over the south of Miura (35.10-35.25 N): only the
        # land keeps it; the columns of Sagami Bay west of 139.565 E stay 0.
        west, north, dx = 139.55, 35.25, 0.005
        z = np.full((30, 40), 1000.0)
        dem = os.path.join(self.tmp, "miura.tif")
        write_geotiff(dem, west, north, dx, z)
        sections, _ = self.make(MIURA, "--dem", dem)
        steps = [p for pts in sections["*WE-PROF"] for p in pts]
        heights = profile_heights(steps)
        self.assertEqual(max(h for _, h in steps), 1000)
        self.assertNotIn(1000, [h for pos, h in steps if pos < 139.565])
        self.assertEqual(heights.get(round(139.65, 6), 1000), 1000)
        self.assertIn(0, [h for pos, h in steps if pos > 139.6])

    def test_bad_dem_and_step_are_refused(self):
        out = os.path.join(self.tmp, "bad.mdt")
        junk = os.path.join(self.tmp, "junk.tif")
        with open(junk, "wb") as f:
            f.write(b"not a raster")
        for extra, message in ((["--dem", junk], "--dem"),
                               (["--profile-step", "-1"], "--profile-step")):
            run = run_tool("--detail", "full", "--region", region_text(MIURA),
                           "--out", out, *extra)
            self.assertNotEqual(run.returncode, 0, extra)
            self.assertIn(message, run.stderr, extra)
        self.assertFalse(os.path.exists(out))


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
