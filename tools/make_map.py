#!/usr/bin/python3
"""Builds the bundled Japan map, the sample distribution data and the default
settings file of Kavum from public sources.

Install what it needs (Debian 12), then run it from anywhere:

    apt-get install -y python3-numpy python3-scipy ferret-datasets
    /usr/bin/python3 tools/make_map.py            # writes assets/...
    /usr/bin/python3 tools/make_map.py --plot /tmp/japan.png   # + a quick look
                                                  # (--plot needs python3-matplotlib)

Sources (see ../shared/data/README.md next to the repository):
  japan-prefectures.topojson  the 47 prefectures (Global Map Japan, GSI)
  japan-mountains.csv         named summits (GSI list of major mountains)
  etopo5.cdf                  5-minute relief grid (ETOPO5, NOAA), from the
                              Debian package ferret-datasets

Outputs (Shift-JIS, CR LF, byte-identical on every run):
  assets/Kavum_Nippon.mdt           coastlines, prefecture boundaries and the
                                    west-east / south-north land profiles
  assets/samples/mountains.grd      the summits as latitude/longitude lines
  assets/samples/mountains-mesh.grd the summits as standard mesh codes
  assets/kavum.ini                  default settings naming the two above
"""

import argparse
import csv
import json
import math
import os
import re
import subprocess
import sys
import tempfile

import numpy as np
from scipy.io import netcdf_file

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
DEFAULT_DATA = os.path.normpath(os.path.join(REPO, "..", "shared", "data"))
DEFAULT_RELIEF = "/usr/share/ferret-vis/data/etopo5.cdf"

ENCODING = "cp932"
EOL = "\r\n"

# Profile columns are 1/12 degree wide, the spacing of the relief grid.
CELLS_PER_DEGREE = 12

ATTRIBUTION = [
    "出典：地球地図日本（国土地理院）",
    "出典：日本の主な山岳一覧（国土地理院）",
    "Relief: ETOPO5 5-minute gridded elevations, NOAA (public domain)",
]

# Elevation bands of the mountain samples, highest first: (lower bound in m,
# upper bound in m or None, heading line).
BANDS = [
    (2500, None, "標高2500m以上"),
    (1500, 2500, "標高1500～2500m"),
    (1000, 1500, "標高1000～1500m"),
    (None, 1000, "標高1000m未満"),
]

# Characters of summit names that code page 932 lacks, and the usual
# substitutes that it has.
NAME_SUBSTITUTES = {"屛": "屏", "萊": "莱"}

# Default mark brush colours of categories 1..9 (0x00BBGGRR).
DEFAULT_BRUSH_COLORS = [0xFF0000, 0xFFFF00, 0x008000, 0x00FF00, 0x00FFFF,
                        0xFF00FF, 0x0000FF, 0xF0CAA6, 0x808080]


# --------------------------------------------------------------------------
# Output helpers

def encode_lines(lines):
    """Joins lines with CR LF (also after the last) and encodes them in CP932.
    Fails loudly on any character the code page lacks."""
    text = EOL.join(lines) + EOL
    return text.encode(ENCODING)


def write_if_changed(path, data):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return False
    except FileNotFoundError:
        pass
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)
    return True


# --------------------------------------------------------------------------
# Topology

def load_topology(path):
    """Returns (arcs, prefectures): arcs as float arrays of (lon, lat), and per
    prefecture (name, list of polygons, each a list of rings of arc refs)."""
    with open(path, encoding="utf-8") as f:
        topo = json.load(f)
    sx, sy = topo["transform"]["scale"]
    tx, ty = topo["transform"]["translate"]
    arcs = []
    for arc in topo["arcs"]:
        q = np.cumsum(np.asarray(arc, dtype=np.int64), axis=0)
        pts = np.empty(q.shape, dtype=np.float64)
        pts[:, 0] = q[:, 0] * sx + tx
        pts[:, 1] = q[:, 1] * sy + ty
        arcs.append(pts)
    prefectures = []
    for geom in topo["objects"]["japan"]["geometries"]:
        if geom["type"] == "Polygon":
            polygons = [geom["arcs"]]
        elif geom["type"] == "MultiPolygon":
            polygons = geom["arcs"]
        else:
            raise SystemExit("unexpected geometry type %s" % geom["type"])
        prefectures.append((geom["properties"]["nam_ja"], polygons))
    prefectures.sort(key=lambda p: p[0])
    return arcs, prefectures


def arc_users(arcs, prefectures):
    """Number of distinct prefectures that use each arc."""
    users = [set() for _ in arcs]
    for index, (_, polygons) in enumerate(prefectures):
        for polygon in polygons:
            for ring in polygon:
                for ref in ring:
                    users[ref if ref >= 0 else ~ref].add(index)
    return [len(u) for u in users]


def ring_points(arcs, ring):
    """Closed ring of points from arc references (~i is arc i reversed)."""
    parts = []
    for n, ref in enumerate(ring):
        pts = arcs[ref] if ref >= 0 else arcs[~ref][::-1]
        parts.append(pts if n == 0 else pts[1:])
    return np.concatenate(parts)


def points_in_ring(px, py, ring):
    """Even-odd crossing test of many points against one ring."""
    inside = np.zeros(px.shape, dtype=bool)
    x0, y0 = ring[:-1, 0], ring[:-1, 1]
    x1, y1 = ring[1:, 0], ring[1:, 1]
    # Edges in chunks keep the temporary arrays small.
    for s in range(0, len(x0), 2048):
        ax, ay = x0[s:s + 2048, None], y0[s:s + 2048, None]
        bx, by = x1[s:s + 2048, None], y1[s:s + 2048, None]
        crosses = (ay > py) != (by > py)
        with np.errstate(divide="ignore", invalid="ignore"):
            xc = ax + (py - ay) * (bx - ax) / (by - ay)
        hit = crosses & (px < xc)
        inside ^= (np.count_nonzero(hit, axis=0) % 2).astype(bool)
    return inside


# --------------------------------------------------------------------------
# Relief grid and land mask

def load_relief(path, lon_range, lat_range):
    """Grid nodes of the relief in the box: (lon, lat, elevation) arrays.
    The grid has 12 nodes per degree; node i of the file lies at i/12 degrees
    east, node j at -90 + j/12 degrees north."""
    f = netcdf_file(path, "r", mmap=False)
    try:
        rose = f.variables["ROSE"]
        nx = f.variables["ETOPO05_X"].shape[0]
        ny = f.variables["ETOPO05_Y"].shape[0]
        if nx != 360 * CELLS_PER_DEGREE or ny != 180 * CELLS_PER_DEGREE + 1:
            raise SystemExit("unexpected relief grid %dx%d" % (nx, ny))
        i0 = int(math.floor(lon_range[0] * CELLS_PER_DEGREE))
        i1 = int(math.ceil(lon_range[1] * CELLS_PER_DEGREE))
        j0 = int(math.floor((lat_range[0] + 90) * CELLS_PER_DEGREE))
        j1 = int(math.ceil((lat_range[1] + 90) * CELLS_PER_DEGREE))
        z = np.array(rose[j0:j1 + 1, i0:i1 + 1], dtype=np.float64)
    finally:
        f.close()
    ii, jj = np.meshgrid(np.arange(i0, i1 + 1), np.arange(j0, j1 + 1))
    return ii, jj - 90 * CELLS_PER_DEGREE, z


def land_mask(arcs, prefectures, ii, jj):
    """True for grid nodes inside any prefecture polygon."""
    return inside_prefectures(arcs, prefectures,
                              ii / CELLS_PER_DEGREE, jj / CELLS_PER_DEGREE)


def inside_prefectures(arcs, prefectures, px, py):
    """True for the points (arrays of lon, lat) inside any prefecture."""
    land = np.zeros(px.shape, dtype=bool)
    for _, polygons in prefectures:
        inside = np.zeros(px.shape, dtype=bool)
        for polygon in polygons:
            for ring in polygon:
                pts = ring_points(arcs, ring)
                sel = ((px >= pts[:, 0].min()) & (px <= pts[:, 0].max()) &
                       (py >= pts[:, 1].min()) & (py <= pts[:, 1].max()))
                if not sel.any():
                    continue
                inside[sel] ^= points_in_ring(px[sel], py[sel], pts)
        land |= inside
    return land


# --------------------------------------------------------------------------
# Summits

def load_summits(path):
    """Summits as dicts with name, reading, lat/lon in whole seconds and the
    elevation in metres (int), sorted by elevation (highest first)."""
    summits = []
    with open(path, encoding="utf-8", newline="") as f:
        for row in csv.DictReader(f):
            elev = float(row["標高"])
            summits.append({
                "name": row["名前"],
                "reading": row["かな"],
                "lat_s": int(round(float(row["緯度"]) * 3600)),
                "lon_s": int(round(float(row["経度"]) * 3600)),
                "lat": float(row["緯度"]),
                "lon": float(row["経度"]),
                "elev": int(round(elev)),
            })
    summits.sort(key=lambda s: (-s["elev"], -s["lat_s"], s["lon_s"], s["name"]))
    return summits


def seconds_to_angle_text(total):
    """Whole seconds of arc to the D.MMSS angle text."""
    d, rest = divmod(total, 3600)
    m, s = divmod(rest, 60)
    return "%d.%02d%02d" % (d, m, s)


def seconds_to_mesh_code(lat_s, lon_s):
    """8-digit standard mesh code of the cell holding the point, computed in
    whole seconds so that no rounding can move a point to a neighbour cell.
    First order: 40' of latitude (2400"), 1 degree of longitude; second order:
    1/8 of those (300", 450"); standard: 1/10 of those (30", 45")."""
    y1, ry = divmod(lat_s, 2400)
    x1, rx = divmod(lon_s - 100 * 3600, 3600)
    y2, ry = divmod(ry, 300)
    x2, rx = divmod(rx, 450)
    return "%02d%02d%d%d%d%d" % (y1, x1, y2, x2, ry // 30, rx // 45)


def printable_name(summit):
    name = "".join(NAME_SUBSTITUTES.get(c, c) for c in summit["name"])
    try:
        name.encode(ENCODING)
        return name
    except UnicodeEncodeError:
        return summit["reading"]


def band_of(elev):
    for n, (lo, hi, _) in enumerate(BANDS):
        if (lo is None or elev >= lo) and (hi is None or elev < hi):
            return n
    raise AssertionError(elev)


# --------------------------------------------------------------------------
# Profiles

def profile_lines(first_col, last_col, heights):
    """Staircase outline lines 'position,elevation' from column heights.
    Each line sits at its column's west edge; a run of equal heights needs
    only its first line. The outline rises from 0 m at the west edge of the
    first column and falls back to 0 m at the east edge of the last."""
    lines = []

    def add(col, h):
        lines.append("%.6f,%d" % (col / CELLS_PER_DEGREE, h))

    add(first_col, 0)
    level = 0
    for col in range(first_col, last_col + 1):
        h = int(heights.get(col, 0))
        if h != level:
            add(col, h)
            level = h
    add(last_col + 1, 0)
    return lines


def column_heights(node_cols, node_heights, summit_cols, summit_heights):
    """Highest ground per column: the highest land node on either edge of the
    column (a node lies on the line between two columns), raised to the
    highest summit inside it; never below 0 m."""
    heights = {}
    for c, h in zip(node_cols.tolist(), node_heights.tolist()):
        for col in (c - 1, c):
            if h > heights.get(col, 0):
                heights[col] = h
    for col, h in zip(summit_cols, summit_heights):
        if h > heights.get(col, 0):
            heights[col] = h
    return {c: int(round(h)) for c, h in heights.items()}


# --------------------------------------------------------------------------
# Writers

def fmt_point(lon, lat, decimals=4):
    return "%.*f,%.*f" % (decimals, lon, decimals, lat)


def polyline_lines(polylines, decimals=4):
    """Data lines of polylines, each followed by a ';' break. Points that
    repeat the one before them once written are dropped."""
    lines = []
    for pts in polylines:
        prev = None
        body = []
        for lon, lat in pts:
            s = fmt_point(lon, lat, decimals)
            if s != prev:
                body.append(s)
                prev = s
        if len(body) < 2:
            continue
        lines.extend(body)
        lines.append(";")
    return lines


def split_arcs(arcs, prefectures):
    """Coastline arcs (one prefecture) and boundary arcs (two prefectures)."""
    users = arc_users(arcs, prefectures)
    if any(u not in (1, 2) for u in users):
        raise SystemExit("arc used by %s prefectures" %
                         sorted(set(u for u in users if u not in (1, 2))))
    coast = [arcs[i] for i, u in enumerate(users) if u == 1]
    bounds = [arcs[i] for i, u in enumerate(users) if u == 2]
    return coast, bounds


def build_profiles(arcs, prefectures, relief, summits, stats, region=None):
    """Staircase lines of the west-east and south-north profiles: the highest
    land of each 1/12 degree column. Without a region the columns span all
    prefectures; with one (W, E, S, N) they span the region, and only land
    and summits inside it count."""
    ii, jj, z = relief
    land = land_mask(arcs, prefectures, ii, jj)
    if region is None:
        allpts = np.concatenate(arcs)
        lon_min, lat_min = allpts.min(axis=0)
        lon_max, lat_max = allpts.max(axis=0)
        we_first = int(math.floor(lon_min * CELLS_PER_DEGREE))
        we_last = int(math.floor(lon_max * CELLS_PER_DEGREE))
        sn_first = int(math.floor(lat_min * CELLS_PER_DEGREE))
        sn_last = int(math.floor(lat_max * CELLS_PER_DEGREE))
    else:
        west, east, south, north = region
        # A node stands for the cell of 1/12 degree around it.
        half = 0.5 / CELLS_PER_DEGREE
        land &= ((ii / CELLS_PER_DEGREE >= west - half) &
                 (ii / CELLS_PER_DEGREE <= east + half) &
                 (jj / CELLS_PER_DEGREE >= south - half) &
                 (jj / CELLS_PER_DEGREE <= north + half))
        summits = [s for s in summits
                   if west <= s["lon"] <= east and south <= s["lat"] <= north]
        we_first = int(math.floor(west * CELLS_PER_DEGREE))
        we_last = max(we_first, int(math.ceil(east * CELLS_PER_DEGREE)) - 1)
        sn_first = int(math.floor(south * CELLS_PER_DEGREE))
        sn_last = max(sn_first, int(math.ceil(north * CELLS_PER_DEGREE)) - 1)
    stats["land_nodes"] = int(land.sum())
    node_h = np.maximum(z[land], 0.0)
    s_lon_cols = [int(math.floor(s["lon"] * CELLS_PER_DEGREE)) for s in summits]
    s_lat_cols = [int(math.floor(s["lat"] * CELLS_PER_DEGREE)) for s in summits]
    s_h = [s["elev"] for s in summits]

    we = column_heights(ii[land], node_h, s_lon_cols, s_h)
    sn = column_heights(jj[land], node_h, s_lat_cols, s_h)
    we_lines = profile_lines(we_first, we_last, we)
    sn_lines = profile_lines(sn_first, sn_last, sn)
    stats["we_max"] = max(int(l.split(",")[1]) for l in we_lines)
    stats["sn_max"] = max(int(l.split(",")[1]) for l in sn_lines)
    stats["we_lines"] = len(we_lines)
    stats["sn_lines"] = len(sn_lines)
    stats["relief_max_on_land"] = int(node_h.max()) if node_h.size else 0
    return we_lines, sn_lines


def map_file_lines(header, h_lines, g_lines, we_lines, sn_lines):
    lines = list(header)
    lines += ["*H-MAP"] + h_lines
    lines += ["*G-MAP"] + g_lines
    lines += ["*WE-PROF"] + we_lines + [";"]
    lines += ["*SN-PROF"] + sn_lines + [";"]
    lines += ["*END"]
    check_map_lines(lines)
    return lines


def count_stats(stats, h_lines, g_lines):
    stats["coast_points"] = sum(1 for l in h_lines if l != ";")
    stats["coast_lines"] = h_lines.count(";")
    stats["boundary_points"] = sum(1 for l in g_lines if l != ";")
    stats["boundary_lines"] = g_lines.count(";")


def build_map(arcs, prefectures, relief, summits, stats):
    coast, bounds = split_arcs(arcs, prefectures)
    h_lines = polyline_lines(coast)
    g_lines = polyline_lines(bounds)
    count_stats(stats, h_lines, g_lines)
    we_lines, sn_lines = build_profiles(arcs, prefectures, relief, summits, stats)

    header = [
        "; Kavum map data: Japan",
        "; *H-MAP coastlines and *G-MAP prefecture boundaries (longitude, latitude",
        ";   in decimal degrees), *WE-PROF and *SN-PROF the highest land per 1/12",
        ";   degree of longitude and of latitude (position, elevation in m).",
        "; Made by tools/make_map.py from the 47 prefectures of Global Map Japan,",
        ";   the ETOPO5 relief grid and the GSI list of major mountains.",
    ] + ["; " + a for a in ATTRIBUTION]
    lines = map_file_lines(header, h_lines, g_lines, we_lines, sn_lines)
    return encode_lines(lines), (coast, bounds, we_lines, sn_lines)


def check_map_lines(lines):
    """The traps of the map format: the second number is read from at most 8
    characters, a first number of exactly 0 is a break, and two ';' lines in
    a row inside a section would turn the second into a data line."""
    in_section = False
    prev = None
    for line in lines:
        if line.startswith("*"):
            in_section = line != "*END"
        elif line.startswith(";"):
            if in_section and prev is not None and prev.startswith(";"):
                raise AssertionError("two breaks in a row")
        else:
            a, b = line.split(",")
            assert len(b) <= 8, line
            assert float(a) != 0, line
            float(b)
        prev = line


def build_samples(summits):
    header = [
        "; Kavum sample data: %d major summits of Japan in four elevation bands"
        % len(summits),
    ]
    ll = header + [
        ";   latitude,longitude (D.MMSS),elevation in m ; name",
        "; " + ATTRIBUTION[1],
    ]
    mesh = header + [
        ";   standard mesh code.elevation code (hundreds of metres) ; name",
        "; " + ATTRIBUTION[1],
    ]
    for n, (_, _, heading) in enumerate(BANDS):
        heading.encode(ENCODING)
        ll.append(heading)
        mesh.append(heading)
        for s in summits:
            if band_of(s["elev"]) != n:
                continue
            name = printable_name(s)
            ll.append("%s,%s,%d;%s" % (seconds_to_angle_text(s["lat_s"]),
                                       seconds_to_angle_text(s["lon_s"]),
                                       s["elev"], name))
            mesh.append("%s.%d;%s" % (seconds_to_mesh_code(s["lat_s"], s["lon_s"]),
                                      s["elev"] // 100, name))
    return encode_lines(ll), encode_lines(mesh)


def build_ini(map_file, grd_file):
    lines = [
        "[DataFile]",
        "Title=日本植物三面分布図",
        "MapFile=" + map_file,
        "GrdFile=" + grd_file,
        "[Draw]",
        "HorizonMap=1",
        "ProfileMap=1",
        "[Map]",
        "GY1=30.00",
        "GY2=46.00",
        "GX1=128.00",
        "GX2=146.00",
        "GH2=3800",
        "I2K=1.2208",
        "GridSize=1",
        "MeshSize=0",
        "MapColor=0",
        "SubColor=10789024",
        "MshColor=16776960",
        "Prefecture=0",
        "MLW=1",
    ]
    for i, brush in enumerate(DEFAULT_BRUSH_COLORS, start=1):
        lines += ["[Mark%d]" % i, "Styl=%d" % i, "Size=3",
                  "brush=%d" % brush, "pen=0"]
    return encode_lines(lines)


# --------------------------------------------------------------------------
# Detailed coastlines and lakes from GSHHG

# --detail name: GMT's resolution letter and the Debian package that holds it.
GSHHG_RESOLUTIONS = {
    "full": ("f", "gmt-gshhg-full"),
    "high": ("h", "gmt-gshhg-high"),
    "intermediate": ("i", "gmt-gshhg-low"),
    "low": ("l", "gmt-gshhg-low"),
}

# Japan's box (W, E, S, N): every line of a detailed map lies inside it.
JAPAN_BOX = (122.0, 154.0, 20.0, 46.0)

# A GSHHG line belongs to Japan when one of its points lies this close (in
# degrees of latitude) to a line of Global Map Japan, or inside a prefecture.
# The farthest islets of Japan that Global Map lacks (in the Izu and Tokara
# islands) lie about 0.32 away, the nearest foreign shores (Korea's islands
# off Tsushima, Sakhalin off Cape Soya) 0.38 or more.
JAPAN_DISTANCE = 0.33

# Islets of Japan that GSHHG holds and that lie farther than JAPAN_DISTANCE
# from Global Map Japan: (name, longitude, latitude). A GSHHG line with a
# point within OUTLYING_DISTANCE of one of them is Japan's.
JAPAN_OUTLYING = [
    ("沖ノ鳥島", 136.0833, 20.4250),
    ("ベヨネース列岩", 139.8745, 31.9133),
    ("須美寿島", 140.0500, 31.4400),
    ("孀婦岩", 140.3420, 29.7940),
    ("大正島", 124.5580, 25.9230),
    ("南鳥島", 153.9810, 24.2870),
    ("西之島", 140.8740, 27.2470),
]
OUTLYING_DISTANCE = 0.05

# Detailed maps keep 5 decimals (about 1 m); GSHHG is stored to about 2 m.
DETAIL_DECIMALS = 5

GSHHG_ATTRIBUTION = [
    "Coastlines and lakes: GSHHG %s, Global Self-consistent Hierarchical",
    "  High-resolution Geography, by P. Wessel and W. H. F. Smith, distributed",
    "  under the GNU Lesser General Public License (version 3 or later):",
    "  Wessel, P., and W. H. F. Smith (1996), A global, self-consistent,",
    "  hierarchical, high-resolution shoreline database, J. Geophys. Res.,",
    "  101(B4), 8741-8743.",
]


def parse_region(text):
    """'W,E,S,N' in decimal degrees, inside Japan's box."""
    try:
        values = [float(v) for v in text.split(",")]
    except ValueError:
        values = []
    if len(values) != 4 or not all(math.isfinite(v) for v in values):
        raise SystemExit("--region wants four numbers W,E,S,N in decimal "
                         "degrees, for example 139.55,139.75,35.1,35.35")
    west, east, south, north = values
    if not (west < east and south < north):
        raise SystemExit("--region: west must lie below east and south below "
                         "north (got %s)" % text)
    bw, be, bs, bn = JAPAN_BOX
    if west < bw or east > be or south < bs or north > bn:
        raise SystemExit("--region must lie inside Japan's box %g,%g,%g,%g"
                         % JAPAN_BOX)
    return west, east, south, north


def gmt_shorelines(resolution, region):
    """Runs Debian's gmt: the shorelines of all levels (1 coast, 2 lake,
    3 island in a lake, 4 pond on such an island) inside the region, cut to
    it, as GMT's text pieces. Returns (text, GSHHG version)."""
    letter, package = GSHHG_RESOLUTIONS[resolution]
    cmd = ["gmt", "coast", "-R%.10g/%.10g/%.10g/%.10g" % region,
           "-D" + letter, "-W", "-M", "-A0/1/4", "-V",
           "--FORMAT_FLOAT_OUT=%.12g", "--IO_SEGMENT_MARKER=>"]
    # gmt leaves a history file in its working directory.
    with tempfile.TemporaryDirectory() as tmp:
        try:
            run = subprocess.run(cmd, cwd=tmp, capture_output=True, text=True)
        except FileNotFoundError:
            raise SystemExit("--detail needs Debian's gmt and %s: "
                             "apt-get install gmt %s" % (package, package))
    if run.returncode != 0:
        raise SystemExit("gmt coast failed (is %s installed?):\n%s"
                         % (package, run.stderr.strip()))
    found = re.search(r"GSHHG version (\S+)", run.stderr)
    return run.stdout, found.group(1) if found else "(version unknown)"


def parse_pieces(text):
    """GMT's multi-segment text to pieces (level, [(lon, lat), ...])."""
    pieces = []
    level = None
    pts = None
    for line in text.splitlines():
        if line.startswith(">"):
            found = re.search(r"Level (\d+)", line)
            if not found:
                raise SystemExit("unexpected gmt segment header: " + line)
            level = int(found.group(1))
            pts = []
            pieces.append((level, pts))
        elif line.strip():
            if pts is None:
                raise SystemExit("gmt output starts without a segment header")
            x, y = line.split()[:2]
            pts.append((float(x), float(y)))
    return [(lev, p) for lev, p in pieces if len(p) >= 2]


def join_pieces(pieces):
    """Joins the pieces of one level whose ends meet: GSHHG delivers every
    shoreline cut at the edges of its bins, and a cut point is written alike
    in both bins. Returns lines (level, points) in the order of their first
    piece; a line whose ends meet is closed (last point = first point)."""
    starts, ends = {}, {}
    for i, (level, pts) in enumerate(pieces):
        if pts[0] != pts[-1]:
            starts.setdefault((level, pts[0]), []).append(i)
            ends.setdefault((level, pts[-1]), []).append(i)
    used = [False] * len(pieces)

    def take(index, key):
        for j in index.get(key, ()):
            if not used[j]:
                used[j] = True
                return pieces[j][1]
        return None

    lines = []
    for i, (level, pts) in enumerate(pieces):
        if used[i]:
            continue
        used[i] = True
        line = list(pts)
        while line[0] != line[-1]:
            nxt = take(starts, (level, line[-1]))
            if nxt is None:
                break
            line.extend(nxt[1:])
        while line[0] != line[-1]:
            prev = take(ends, (level, line[0]))
            if prev is None:
                break
            line[:0] = prev[:-1]
        lines.append((level, line))
    return lines


def split_cut_edges(lines, region):
    """Breaks a line wherever a segment runs along an edge of the region or
    along a whole-degree meridian or parallel (the bin edges): such segments
    would be made by cutting, not by the shore."""
    west, east, south, north = region

    def along_cut(p, q):
        if p[0] == q[0] and (p[0] in (west, east) or p[0] == math.floor(p[0])):
            return True
        return p[1] == q[1] and (p[1] in (south, north) or p[1] == math.floor(p[1]))

    out = []
    for level, pts in lines:
        run = [pts[0]]
        for p, q in zip(pts, pts[1:]):
            if along_cut(p, q):
                if len(run) >= 2:
                    out.append((level, run))
                run = [q]
            else:
                run.append(q)
        if len(run) >= 2:
            out.append((level, run))
    return out


def japanese_lines(lines, arcs, prefectures):
    """The lines of Japan: those with a point near a line of Global Map
    Japan (coasts of islands, most lakes) or inside a prefecture (lakes far
    from any coast or boundary)."""
    from scipy.spatial import cKDTree
    # Degrees of longitude shrink towards the pole; 36 N is Japan's middle.
    squeeze = np.array([math.cos(math.radians(36.0)), 1.0])
    tree = cKDTree(np.concatenate(arcs) * squeeze)
    near = []
    for level, pts in lines:
        d, _ = tree.query(np.asarray(pts) * squeeze, k=1,
                          distance_upper_bound=JAPAN_DISTANCE)
        near.append(bool(np.isfinite(d).any()))
    # Japan's farthest islets, which lie farther from Global Map Japan.
    outlying = cKDTree(np.array([(lon, lat) for _, lon, lat in JAPAN_OUTLYING])
                       * squeeze)
    for n, (level, pts) in enumerate(lines):
        if not near[n]:
            d, _ = outlying.query(np.asarray(pts) * squeeze, k=1,
                                  distance_upper_bound=OUTLYING_DISTANCE)
            near[n] = bool(np.isfinite(d).any())
    rest = [n for n, ok in enumerate(near) if not ok]
    if rest:
        px = np.array([lines[n][1][0][0] for n in rest])
        py = np.array([lines[n][1][0][1] for n in rest])
        for n, inside in zip(rest, inside_prefectures(arcs, prefectures, px, py)):
            near[n] = bool(inside)
    return [line for line, ok in zip(lines, near) if ok]


def clip_polyline(pts, region):
    """Cuts a polyline to the region (Liang-Barsky per segment); returns the
    runs inside it, each with its crossing points on the edges."""
    west, east, south, north = region
    runs, run = [], []
    for (x0, y0), (x1, y1) in zip(pts[:-1], pts[1:]):
        dx, dy = x1 - x0, y1 - y0
        t0, t1 = 0.0, 1.0
        ok = True
        for p, q in ((-dx, x0 - west), (dx, east - x0),
                     (-dy, y0 - south), (dy, north - y0)):
            if p == 0:
                if q < 0:
                    ok = False
                    break
            else:
                t = q / p
                if p < 0:
                    t0 = max(t0, t)
                else:
                    t1 = min(t1, t)
        if not ok or t0 > t1:
            if len(run) >= 2:
                runs.append(run)
            run = []
            continue
        a = (x0 + t0 * dx, y0 + t0 * dy) if t0 > 0 else (x0, y0)
        b = (x0 + t1 * dx, y0 + t1 * dy) if t1 < 1 else (x1, y1)
        if run and run[-1] != a:
            if len(run) >= 2:
                runs.append(run)
            run = []
        if not run:
            run = [a]
        run.append(b)
        if t1 < 1:
            runs.append(run)
            run = []
    if len(run) >= 2:
        runs.append(run)
    return runs


def build_detail_map(arcs, prefectures, rasters, dems, step, summits, resolution,
                     region, stats):
    """A map with GSHHG's coastlines and lakes at the resolution, the
    prefecture boundaries of Global Map Japan and the profiles; all of Japan
    when region is None, else cut to the region."""
    box = region or JAPAN_BOX
    text, version = gmt_shorelines(resolution, box)
    pieces = parse_pieces(text)
    lines = split_cut_edges(join_pieces(pieces), box)
    lines = japanese_lines(lines, arcs, prefectures)
    # Coastlines first, then lake shores, islands in lakes and their ponds.
    lines.sort(key=lambda line: line[0])
    stats["gmt_pieces"] = len(pieces)
    stats["closed_lines"] = sum(1 for _, p in lines if p[0] == p[-1])
    stats["lake_lines"] = sum(1 for lev, _ in lines if lev >= 2)
    h_lines = polyline_lines([p for _, p in lines], DETAIL_DECIMALS)

    coast_arcs, bounds = split_arcs(arcs, prefectures)
    bounds = snap_boundaries(bounds, coast_arcs,
                             [p for lev, p in lines if lev == 1],
                             resolution, stats)
    if region is not None:
        bounds = [run for pts in bounds for run in clip_polyline(pts, region)]
    g_lines = polyline_lines(bounds, DETAIL_DECIMALS)
    count_stats(stats, h_lines, g_lines)
    if region is None:
        # The profiles span the map's own coastlines.
        allpts = np.concatenate([np.asarray(p) for _, p in lines])
        (lon_min, lat_min), (lon_max, lat_max) = allpts.min(axis=0), allpts.max(axis=0)
        extent = (lon_min, lon_max, lat_min, lat_max)
    else:
        extent = region
    we_lines, sn_lines, warnings = raster_profiles(
        rasters, resolution, arcs, prefectures, summits, extent, step,
        not dems, stats)
    for w in warnings:
        print("warning: " + w, file=sys.stderr)

    where = ("Japan" if region is None else
             "%g-%g E, %g-%g N" % region)
    relief = ("the elevation model%s %s" % ("s" if len(dems) > 1 else "",
                                             ", ".join(r.name for r in rasters))
              if dems else "the ETOPO5 relief grid")
    options = "--detail %s%s%s%s" % (
        resolution,
        "" if region is None else " --region %.10g,%.10g,%.10g,%.10g" % region,
        "".join(" --dem " + r.name for r in rasters) if dems else "",
        "" if step is None else " --profile-step %.10g" % step)
    header = [
        "; Kavum map data: %s, GSHHG %s resolution coastlines and lakes"
        % (where, resolution),
        "; *H-MAP coastlines, lake shores and islands in lakes, *G-MAP prefecture",
        ";   boundaries (longitude, latitude in decimal degrees), *WE-PROF and",
        ";   *SN-PROF the highest land per column of %s degree of longitude and"
        % stats["we_column_width"],
        ";   of latitude (position, elevation in m), from %s." % relief,
        "; Made by tools/make_map.py %s" % options,
        ";   from GSHHG (read with gmt), the 47 prefectures of Global Map Japan,",
        ";   %s and the GSI list of major mountains." % relief,
    ] + ["; " + (a % version if "%s" in a else a) for a in GSHHG_ATTRIBUTION]
    header += ["; " + a for a in ATTRIBUTION[:2]]
    header += ["; " + (ATTRIBUTION[2] if not dems else
                       "Relief: %s (keep its maker's credit with the map)"
                       % ", ".join(r.name for r in rasters))]
    lines = map_file_lines(header, h_lines, g_lines, we_lines, sn_lines)
    return encode_lines(lines)


# --------------------------------------------------------------------------
# Relief rasters of detailed maps: ETOPO5 at its true node positions, or the
# user's elevation models read with GDAL

# Where the nodes of ETOPO5 (as shipped in ferret-datasets) really lie: its
# land fits GSHHG's full coast best, and its highs lie closest to the listed
# summits, when column i is taken one node east of i/12 degrees; rows need no
# shift. (Fitting all land nodes of 129-145 E, 31-45 N against GSHHG: 736
# nodes disagree as read, 652 one node east; the 109 highest summits of
# 1800 m and more lie 0.9 node (mean) to 1.1 (median) east of the relief's
# local highs.) The bundled Kavum_Nippon.mdt keeps the profiles it was first
# made with, so that its figures stay as they are.
ETOPO5_COLUMN_SHIFT = 1.0
ETOPO5_ROW_SHIFT = 0.0


class Raster:
    """Elevations in a regular latitude/longitude grid: z[row, col] (NaN where
    there are no data), row 0 the northernmost; the cell of (row, col) spans
    west + col * dx .. + dx and north - row * dy .. - dy (dx, dy > 0)."""

    def __init__(self, name, z, west, north, dx, dy):
        self.name, self.z = name, z
        self.west, self.north, self.dx, self.dy = west, north, dx, dy

    def centres(self):
        rows, cols = self.z.shape
        lon = self.west + (np.arange(cols) + 0.5) * self.dx
        lat = self.north - (np.arange(rows) + 0.5) * self.dy
        return lon, lat


def etopo5_raster(path, box):
    """The ETOPO5 nodes of the box (W, E, S, N) as the cells around their
    true positions."""
    west, east, south, north = box
    i0 = int(math.floor(west * CELLS_PER_DEGREE - ETOPO5_COLUMN_SHIFT)) - 1
    i1 = int(math.ceil(east * CELLS_PER_DEGREE - ETOPO5_COLUMN_SHIFT)) + 1
    j0 = int(math.floor((south + 90) * CELLS_PER_DEGREE - ETOPO5_ROW_SHIFT)) - 1
    j1 = int(math.ceil((north + 90) * CELLS_PER_DEGREE - ETOPO5_ROW_SHIFT)) + 1
    f = netcdf_file(path, "r", mmap=False)
    try:
        rose = f.variables["ROSE"]
        z = np.array(rose[j0:j1 + 1, i0:i1 + 1], dtype=np.float64)
    finally:
        f.close()
    z[np.abs(z) > 1e5] = np.nan
    half = 0.5 / CELLS_PER_DEGREE
    return Raster("ETOPO5", z[::-1],
                  (i0 + ETOPO5_COLUMN_SHIFT) / CELLS_PER_DEGREE - half,
                  (j1 + ETOPO5_ROW_SHIFT) / CELLS_PER_DEGREE - 90 + half,
                  1.0 / CELLS_PER_DEGREE, 1.0 / CELLS_PER_DEGREE)


def dem_raster(path, box):
    """The part of an elevation model that covers the box (W, E, S, N), read
    with GDAL; a model in any other reference system is first warped to
    latitude/longitude (WGS 84)."""
    try:
        from osgeo import gdal, osr
    except ImportError:
        raise SystemExit("--dem needs GDAL's Python binding: "
                         "apt-get install python3-gdal gdal-bin")
    gdal.UseExceptions()
    try:
        ds = gdal.Open(path)
    except RuntimeError as e:
        raise SystemExit("--dem %s: %s" % (path, e))
    srs = osr.SpatialReference()
    wkt = ds.GetProjection()
    if wkt:
        srs.ImportFromWkt(wkt)
    gt = ds.GetGeoTransform()
    if not wkt or not srs.IsGeographic() or gt[2] != 0 or gt[4] != 0 or gt[5] >= 0:
        if not wkt:
            raise SystemExit("--dem %s: the file says nothing of its reference "
                             "system (assign one with gdal_translate -a_srs "
                             "EPSG:6668 for GSI data)" % path)
        ds = gdal.Warp("", ds, format="MEM", dstSRS="EPSG:4326",
                       resampleAlg="max")
        gt = ds.GetGeoTransform()
    west0, dx, _, north0, _, ndy = gt
    dy = -ndy
    band = ds.GetRasterBand(1)
    nodata = band.GetNoDataValue()
    west, east, south, north = box
    c0 = max(0, int(math.floor((west - west0) / dx)) - 1)
    c1 = min(ds.RasterXSize, int(math.ceil((east - west0) / dx)) + 1)
    r0 = max(0, int(math.floor((north0 - north) / dy)) - 1)
    r1 = min(ds.RasterYSize, int(math.ceil((north0 - south) / dy)) + 1)
    if c0 >= c1 or r0 >= r1:
        z = np.full((0, 0), np.nan)
    else:
        z = band.ReadAsArray(c0, r0, c1 - c0, r1 - r0).astype(np.float64)
        if nodata is not None:
            z[z == nodata] = np.nan
        # GSI's conversions write -9999 at sea and in gaps.
        z[(z <= -9000) | (z > 10000)] = np.nan
    return Raster(os.path.basename(path), z, west0 + c0 * dx, north0 - r0 * dy,
                  dx, dy)


def gshhg_land(raster, resolution):
    """True for the cells of the raster whose centre lies on GSHHG's land
    (lakes count as water, islands in lakes as land), from gmt grdlandmask at
    the raster's cell centres."""
    rows, cols = raster.z.shape
    if rows == 0 or cols == 0:
        return np.zeros((rows, cols), dtype=bool)
    letter, package = GSHHG_RESOLUTIONS[resolution]
    east = raster.west + cols * raster.dx
    south = raster.north - rows * raster.dy
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "land.nc")
        cmd = ["gmt", "grdlandmask",
               "-R%.12g/%.12g/%.12g/%.12g" % (raster.west, east, south, raster.north),
               "-I%.12g/%.12g" % (raster.dx, raster.dy), "-r", "-D" + letter,
               "-N0/1/0/1/0", "-G" + out + "=cf"]
        run = subprocess.run(cmd, cwd=tmp, capture_output=True, text=True)
        if run.returncode != 0:
            raise SystemExit("gmt grdlandmask failed (is %s installed?):\n%s"
                             % (package, run.stderr.strip()))
        f = netcdf_file(out, "r", mmap=False)
        try:
            nx, ny = (int(v) for v in f.variables["dimension"][:])
            mask = np.array(f.variables["z"][:]).reshape(ny, nx) > 0.5
        finally:
            f.close()
    if mask.shape != (rows, cols):
        raise SystemExit("gmt grdlandmask gave a %dx%d grid for %dx%d cells"
                         % (mask.shape[1], mask.shape[0], cols, rows))
    return mask


def japanese_cells(lon, lat, arcs, prefectures, tree):
    """True for the points near a line of Global Map Japan or inside a
    prefecture: with GSHHG's land, Japan's land (foreign shores lie farther
    than JAPAN_DISTANCE from Global Map Japan)."""
    squeeze = np.array([math.cos(math.radians(36.0)), 1.0])
    pts = np.column_stack([lon, lat]) * squeeze
    d, _ = tree.query(pts, k=1, distance_upper_bound=JAPAN_DISTANCE)
    near = np.isfinite(d)
    far = ~near
    if far.any():
        near[far] = inside_prefectures(arcs, prefectures, lon[far], lat[far])
    return near


def column_maxima(raster, land, axis, origin, step, first, count):
    """Highest land cell of each column [origin + (first + k) * step, + step),
    k < count, along longitude (axis 0) or latitude (axis 1); a cell counts in
    every column that its extent overlaps. Returns heights (NaN for columns
    without land) and the number of land cells that have no data."""
    heights = np.full(count, np.nan)
    rows, cols = raster.z.shape
    if rows == 0 or cols == 0:
        return heights, 0
    r, c = np.nonzero(land)
    z = raster.z[r, c]
    gaps = int(np.count_nonzero(np.isnan(z)))
    ok = ~np.isnan(z)
    r, c, z = r[ok], c[ok], np.maximum(z[ok], 0.0)
    if axis == 0:
        lo = raster.west + c * raster.dx
        size = raster.dx
    else:
        lo = raster.north - (r + 1) * raster.dy
        size = raster.dy
    eps = 1e-9
    k0 = np.floor((lo - origin) / step + eps).astype(np.int64) - first
    k1 = np.ceil((lo + size - origin) / step - eps).astype(np.int64) - first
    for k in range(int((k1 - k0).max()) if len(k0) else 0):
        col = k0 + k
        sel = (col < k1) & (col >= 0) & (col < count)
        if sel.any():
            acc = np.full(count, -np.inf)
            np.maximum.at(acc, col[sel], z[sel])
            heights = np.fmax(heights, np.where(np.isfinite(acc), acc, np.nan))
    return heights, gaps


def parse_step(text):
    """--profile-step: decimal degrees, or arc seconds with a trailing s."""
    try:
        value = float(text[:-1]) / 3600 if text.endswith("s") else float(text)
    except ValueError:
        value = float("nan")
    if not (math.isfinite(value) and value > 0):
        raise SystemExit("--profile-step wants a column width in decimal "
                         "degrees (0.002) or in arc seconds (5s)")
    return value


def steps_lines(origin, step, first, heights, decimals):
    """Staircase lines 'position,elevation' of columns first.. with heights
    (NaN as 0 m), each at its column's west edge, runs written once, from
    0 m at the first column's west edge back to 0 m at the last one's east
    edge."""
    lines = []

    def add(k, h):
        lines.append("%.*f,%d" % (decimals, origin + (first + k) * step, h))

    add(0, 0)
    level = 0
    for k, h in enumerate(heights.tolist()):
        h = 0 if h != h else int(round(h))
        if h != level:
            add(k, h)
            level = h
    add(len(heights), 0)
    return lines


def raster_profiles(rasters, resolution, arcs, prefectures, summits, extent,
                    step, raise_to_summits, stats):
    """West-east and south-north profile lines over extent (W, E, S, N): the
    highest cell of Japan's GSHHG land in each column of the rasters, the
    columns as wide as step or, without one, as the finest raster's cells
    (aligned on them). Also returns warnings on what looks wrong."""
    from scipy.spatial import cKDTree
    squeeze = np.array([math.cos(math.radians(36.0)), 1.0])
    tree = cKDTree(np.concatenate(arcs) * squeeze)
    west, east, south, north = extent
    finest = min(rasters, key=lambda r: r.dx * r.dy)
    out, warnings = [], []
    for axis, lo, hi, size, origin in ((0, west, east, finest.dx, finest.west),
                                       (1, south, north, finest.dy, finest.north)):
        w = step or size
        o = 0.0 if step else origin
        first = int(math.floor((lo - o) / w + 1e-9))
        last = max(first, int(math.ceil((hi - o) / w - 1e-9)) - 1)
        count = last - first + 1
        heights = np.full(count, np.nan)
        gaps = land_cells = 0
        for raster in rasters:
            land = gshhg_land(raster, resolution)
            if land.any():
                lon, lat = raster.centres()
                r, c = np.nonzero(land)
                land[r, c] = japanese_cells(lon[c], lat[r], arcs, prefectures, tree)
            lon, lat = raster.centres()
            inside = ((lon[None, :] >= west) & (lon[None, :] <= east) &
                      (lat[:, None] >= south) & (lat[:, None] <= north))
            land &= inside
            land_cells += int(land.sum())
            h, g = column_maxima(raster, land, axis, o, w, first, count)
            heights = np.fmax(heights, h)
            gaps += g
        if raise_to_summits:
            for s in summits:
                if west <= s["lon"] <= east and south <= s["lat"] <= north:
                    k = int(math.floor(((s["lon"] if axis == 0 else s["lat"]) - o) / w)) - first
                    if 0 <= k < count and not (heights[k] >= s["elev"]):
                        heights[k] = s["elev"]
        else:
            for s in summits:
                if not (west <= s["lon"] <= east and south <= s["lat"] <= north):
                    continue
                k = int(math.floor(((s["lon"] if axis == 0 else s["lat"]) - o) / w)) - first
                if 0 <= k < count and not (heights[k] >= s["elev"] - 100):
                    warnings.append(
                        "%s (%d m) stands higher than the %s profile's %s m at "
                        "its column: is the elevation model missing there?"
                        % (s["name"], s["elev"], "west-east" if axis == 0
                           else "south-north",
                           "no land" if heights[k] != heights[k]
                           else "%d" % heights[k]))
        name = "we" if axis == 0 else "sn"
        stats[name + "_columns"] = count
        stats[name + "_column_width"] = "%.9g" % w
        if axis == 0:
            stats["land_cells"] = land_cells
            if gaps:
                warnings.append("%d land cells of the elevation models have no "
                                "data: the profiles leave them out" % gaps)
        decimals = max(4, min(9, int(math.ceil(-math.log10(w))) + 3))
        lines = steps_lines(o, w, first, heights, decimals)
        stats[name + "_max"] = max(int(l.split(",")[1]) for l in lines)
        stats[name + "_lines"] = len(lines)
        out.append(lines)
    if land_cells == 0:
        warnings.append("no land of the map lies in the elevation models: "
                        "the profiles are flat")
    return out[0], out[1], sorted(set(warnings))


# --------------------------------------------------------------------------
# Prefecture boundaries on the GSHHG coast

# Boundary ends farther than this (degrees of latitude) from GSHHG's coast are
# left as they are.
SNAP_TOLERANCE = 0.03


def on_land(points, resolution):
    """True for the points (lon, lat) on GSHHG land or in its lakes, from
    gmt select."""
    letter, _ = GSHHG_RESOLUTIONS[resolution]
    text = "".join("%.10f %.10f %d\n" % (x, y, n) for n, (x, y) in enumerate(points))
    with tempfile.TemporaryDirectory() as tmp:
        run = subprocess.run(["gmt", "select", "-R%g/%g/%g/%g" % JAPAN_BOX,
                              "-D" + letter, "-Ns/k/k/k/k"], cwd=tmp,
                             input=text, capture_output=True, text=True)
    if run.returncode != 0:
        raise SystemExit("gmt select failed:\n" + run.stderr.strip())
    land = np.zeros(len(points), dtype=bool)
    for line in run.stdout.splitlines():
        if line and not line.startswith(">"):
            land[int(float(line.split()[2]))] = True
    return land


def nearest_on_segments(p, a, b):
    """The nearest point to p on the segments a[i]-b[i], in squeezed units,
    and its distance."""
    ab = b - a
    den = (ab * ab).sum(axis=1)
    with np.errstate(divide="ignore", invalid="ignore"):
        t = np.clip(((p - a) * ab).sum(axis=1) / den, 0, 1)
    t[~np.isfinite(t)] = 0
    q = a + t[:, None] * ab
    d = np.hypot(*(q - p).T)
    i = int(np.argmin(d))
    return q[i], d[i]


def snap_boundaries(bounds, coast_arcs, coast_lines, resolution, stats):
    """Joins the prefecture boundaries to GSHHG's coast: at an end where a
    boundary meets Global Map Japan's coast, the part of it in the sea is cut
    off and the end is moved onto the nearest point of GSHHG's coast, if that
    lies within SNAP_TOLERANCE."""
    from scipy.spatial import cKDTree
    coast_lines = [p for p in coast_lines if len(p) >= 2]
    if not coast_lines or not bounds:
        return bounds
    squeeze = np.array([math.cos(math.radians(36.0)), 1.0])
    coast_ends = set()
    for pts in coast_arcs:
        coast_ends.add(tuple(pts[0]))
        coast_ends.add(tuple(pts[-1]))
    seg_a = np.concatenate([np.asarray(p[:-1]) for p in coast_lines]) * squeeze
    seg_b = np.concatenate([np.asarray(p[1:]) for p in coast_lines]) * squeeze
    mid = cKDTree((seg_a + seg_b) / 2)
    reach = np.hypot(*(seg_b - seg_a).T).max() / 2 + SNAP_TOLERANCE
    allpts = np.concatenate(bounds)
    land = on_land(allpts, resolution)
    offsets = np.cumsum([0] + [len(p) for p in bounds])
    moved, cut, far = [], 0, 0
    out = []
    for n, pts in enumerate(bounds):
        pts = [tuple(p) for p in pts]
        flags = land[offsets[n]:offsets[n + 1]].tolist()
        for end in (0, 1):
            if end == 1:
                pts.reverse()
                flags.reverse()
            if pts[0] not in coast_ends:
                continue
            k = 0
            while k < len(pts) - 1 and not flags[k]:
                k += 1
            anchor = np.asarray(pts[k]) * squeeze
            idx = mid.query_ball_point(anchor, reach)
            if not idx:
                far += 1
                continue
            idx = np.asarray(idx)
            q, d = nearest_on_segments(anchor, seg_a[idx], seg_b[idx])
            if d > SNAP_TOLERANCE:
                far += 1
                continue
            cut += k
            pts = [tuple((q / squeeze).tolist())] + pts[k:]
            flags = [True] + flags[k:]
            moved.append(d)
        if len(pts) >= 2:
            out.append(np.asarray(pts[::-1]))
    stats["boundary_ends_snapped"] = len(moved)
    stats["boundary_ends_far"] = far
    stats["boundary_points_cut"] = cut
    if moved:
        km = np.asarray(moved) * 111.2
        stats["boundary_snap_km"] = "median %.3f, max %.3f" % (np.median(km), km.max())
    return out


# --------------------------------------------------------------------------
# Quick look

def plot(path, coast, bounds, we_lines, sn_lines, summits):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    def steps(lines):
        xs, ys, level = [], [], -1
        for l in lines:
            p, e = (float(v) for v in l.split(","))
            if level > -1:
                xs.append(p)
                ys.append(level)
            xs.append(p)
            ys.append(e)
            level = e
        return xs, ys

    fig = plt.figure(figsize=(14, 14))
    gs = fig.add_gridspec(2, 2, width_ratios=[3, 1], height_ratios=[1, 3])
    ax = fig.add_subplot(gs[1, 0])
    for pts in bounds:
        ax.plot(pts[:, 0], pts[:, 1], color="0.6", lw=0.5)
    for pts in coast:
        ax.plot(pts[:, 0], pts[:, 1], color="k", lw=0.5)
    hi = [s for s in summits if s["elev"] >= 2500]
    ax.plot([s["lon"] for s in hi], [s["lat"] for s in hi], "r.", ms=3)
    ax.set_xlim(122, 154)
    ax.set_ylim(20, 46)
    ax.set_aspect(1 / math.cos(math.radians(35)))
    ax.grid(lw=0.3)
    we = fig.add_subplot(gs[0, 0], sharex=ax)
    we.plot(*steps(we_lines), color="k", lw=0.7)
    we.set_ylim(0, 4000)
    we.grid(lw=0.3)
    sn = fig.add_subplot(gs[1, 1], sharey=ax)
    y, x = steps(sn_lines)
    sn.plot(x, y, color="k", lw=0.7)
    sn.set_xlim(0, 4000)
    sn.grid(lw=0.3)
    fig.tight_layout()
    fig.savefig(path, dpi=90)


# --------------------------------------------------------------------------

def make_detail(args):
    region = parse_region(args.region) if args.region else None
    if args.out:
        out = args.out
    elif region is None and not args.dem:
        out = os.path.join(args.assets, "Kavum_Nippon_detail.mdt")
    else:
        raise SystemExit("--region and --dem need --out FILE.mdt")
    arcs, prefectures = load_topology(
        os.path.join(args.data, "japan-prefectures.topojson"))
    summits = load_summits(os.path.join(args.data, "japan-mountains.csv"))
    box = region or (120.0, 156.0, 20.0, 48.0)
    margin = 0.1
    box = (box[0] - margin, box[1] + margin, box[2] - margin, box[3] + margin)
    if args.dem:
        rasters = [dem_raster(path, box) for path in args.dem]
    else:
        rasters = [etopo5_raster(args.relief, box)]
    step = parse_step(args.profile_step) if args.profile_step else None
    stats = {}
    mdt = build_detail_map(arcs, prefectures, rasters, args.dem, step, summits,
                           args.detail, region, stats)
    changed = write_if_changed(out, mdt)
    print("%-28s %9d bytes%s" % (out, len(mdt), "" if changed else " (unchanged)"))
    for k in sorted(stats):
        print("  %-20s %s" % (k, stats[k]))
    return 0


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--data", default=DEFAULT_DATA,
                    help="folder with japan-prefectures.topojson and "
                         "japan-mountains.csv (default: %(default)s)")
    ap.add_argument("--relief", default=DEFAULT_RELIEF,
                    help="ETOPO5 netCDF file (default: %(default)s)")
    ap.add_argument("--assets", default=os.path.join(REPO, "assets"),
                    help="output folder (default: %(default)s)")
    ap.add_argument("--plot", metavar="PNG",
                    help="also draw the map and profiles into this PNG file")
    ap.add_argument("--detail", choices=list(GSHHG_RESOLUTIONS),
                    help="make only a map with GSHHG coastlines and lakes of "
                         "this resolution (needs gmt and the matching "
                         "gmt-gshhg package), by default "
                         "assets/Kavum_Nippon_detail.mdt")
    ap.add_argument("--region", metavar="W,E,S,N",
                    help="with --detail: cut the map to this range of "
                         "longitude and latitude (decimal degrees)")
    ap.add_argument("--out", metavar="MDT",
                    help="with --detail: the map file to write (needed with "
                         "--region)")
    ap.add_argument("--dem", metavar="FILE", action="append",
                    help="with --detail: take the profiles from this "
                         "elevation model (any raster GDAL reads, such as a "
                         "GeoTIFF of GSI's 10 m or 5 m DEM, SRTM or ASTER "
                         "GDEM) instead of ETOPO5; repeat it for several "
                         "tiles")
    ap.add_argument("--profile-step", metavar="WIDTH",
                    help="with --detail: width of a profile column in "
                         "decimal degrees, or in arc seconds with a "
                         "trailing s (default: the cells of the finest "
                         "elevation model)")
    args = ap.parse_args(argv)

    if args.detail:
        return make_detail(args)
    if args.region or args.out or args.dem or args.profile_step:
        ap.error("--region, --out, --dem and --profile-step go with --detail")

    arcs, prefectures = load_topology(
        os.path.join(args.data, "japan-prefectures.topojson"))
    summits = load_summits(os.path.join(args.data, "japan-mountains.csv"))
    relief = load_relief(args.relief, (120, 156), (20, 48))

    stats = {}
    mdt, shapes = build_map(arcs, prefectures, relief, summits, stats)
    grd, grd_mesh = build_samples(summits)
    ini = build_ini("Kavum_Nippon.mdt", "samples/mountains.grd")

    outputs = [
        ("Kavum_Nippon.mdt", mdt),
        ("samples/mountains.grd", grd),
        ("samples/mountains-mesh.grd", grd_mesh),
        ("kavum.ini", ini),
    ]
    for name, data in outputs:
        path = os.path.join(args.assets, name)
        changed = write_if_changed(path, data)
        print("%-28s %9d bytes%s" % (name, len(data), "" if changed else " (unchanged)"))
    for k in sorted(stats):
        print("  %-20s %s" % (k, stats[k]))
    print("  %-20s %s" % ("summits", len(summits)))

    if args.plot:
        plot(args.plot, *shapes, summits)
        print("plot: " + args.plot)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
