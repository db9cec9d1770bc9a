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
    os.makedirs(os.path.dirname(path), exist_ok=True)
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


def build_detail_map(arcs, prefectures, relief, summits, resolution, region,
                     stats):
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

    _, bounds = split_arcs(arcs, prefectures)
    if region is not None:
        bounds = [run for pts in bounds for run in clip_polyline(pts, region)]
    g_lines = polyline_lines(bounds, DETAIL_DECIMALS)
    count_stats(stats, h_lines, g_lines)
    we_lines, sn_lines = build_profiles(arcs, prefectures, relief, summits,
                                        stats, region)

    where = ("Japan" if region is None else
             "%g-%g E, %g-%g N" % region)
    header = [
        "; Kavum map data: %s, GSHHG %s resolution coastlines and lakes"
        % (where, resolution),
        "; *H-MAP coastlines, lake shores and islands in lakes, *G-MAP prefecture",
        ";   boundaries (longitude, latitude in decimal degrees), *WE-PROF and",
        ";   *SN-PROF the highest land per 1/12 degree of longitude and of",
        ";   latitude (position, elevation in m).",
        "; Made by tools/make_map.py --detail %s%s from GSHHG (read with gmt),"
        % (resolution, "" if region is None else
           " --region %.10g,%.10g,%.10g,%.10g" % region),
        ";   the 47 prefectures of Global Map Japan, the ETOPO5 relief grid and",
        ";   the GSI list of major mountains.",
    ] + ["; " + (a % version if "%s" in a else a) for a in GSHHG_ATTRIBUTION]
    header += ["; " + a for a in ATTRIBUTION]
    lines = map_file_lines(header, h_lines, g_lines, we_lines, sn_lines)
    return encode_lines(lines)


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
    elif region is None:
        out = os.path.join(args.assets, "Kavum_Nippon_detail.mdt")
    else:
        raise SystemExit("--region needs --out FILE.mdt")
    arcs, prefectures = load_topology(
        os.path.join(args.data, "japan-prefectures.topojson"))
    summits = load_summits(os.path.join(args.data, "japan-mountains.csv"))
    if region is None:
        relief = load_relief(args.relief, (120, 156), (20, 48))
    else:
        west, east, south, north = region
        relief = load_relief(args.relief, (west - 1, east + 1),
                             (south - 1, north + 1))
    stats = {}
    mdt = build_detail_map(arcs, prefectures, relief, summits, args.detail,
                           region, stats)
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
    args = ap.parse_args(argv)

    if args.detail:
        return make_detail(args)
    if args.region or args.out:
        ap.error("--region and --out go with --detail")

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
