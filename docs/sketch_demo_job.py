#!/usr/bin/env python3
"""Writes the Topcon XML job of the larger sketch screenshot: about 80 stations on a jittered
grid 1.3 km across near 45 N, 120 W (the dialog's default seed position), tied by GPS vectors
and total-station setups, with a point placed by intersection, two names of one point and a
pair that nothing ties to the rest. Seed: G0404.

    python3 docs/sketch_demo_job.py > /tmp/demo.xml
"""
import math
import random

random.seed(13)
PHI, LAM = math.radians(45.0), math.radians(-120.0)


def delta(e, n, u):
    """Cartesian vector of a local east/north/up offset at the seed."""
    sp, cp, sl, cl = math.sin(PHI), math.cos(PHI), math.sin(LAM), math.cos(LAM)
    return (-sl * e - sp * cl * n + cp * cl * u, cl * e - sp * sl * n + cp * sl * u,
            cp * n + sp * u)


def packed(deg):
    deg %= 360.0
    total = round(deg * 36000)
    d, rest = divmod(total, 36000)
    m, rest = divmod(rest, 600)
    return "%d.%02d%03d" % (d, m, rest)


# Stations that the ties below name.
KEPT = {(2, 2), (6, 6), (6, 7), (8, 1), (8, 2), (8, 5), (8, 6)}
pts = {}
for r in range(9):
    for c in range(9):
        if random.random() < 0.08 and (r, c) not in KEPT:
            continue
        pts["G%02d%02d" % (r, c)] = (c * 160 + random.uniform(-45, 45) - 640,
                                     r * 160 + random.uniform(-45, 45) - 640,
                                     random.uniform(-5, 25))
pts["G0404"] = (0.0, 0.0, 0.0)
pts["M7"] = (560.0, -590.0, 4.0)
pts["M7A"] = (560.01, -590.01, 4.0)
pts["X1"] = (-180.0, 760.0, 8.0)
pts["Q1"] = (900.0, 300.0, 0.0)
pts["Q2"] = (960.0, 200.0, 0.0)

out = ['<?xml version="1.0" encoding="UTF-8"?>', "<data>", "  <Project><Name>Demo</Name></Project>"]


def vector(a, b):
    pa, pb = pts[a], pts[b]
    dx, dy, dz = delta(pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2])
    out.append("  <Vector><BasePoint>%s</BasePoint><RoverPoint>%s</RoverPoint><Type>Fixed</Type>"
               "<DX>%.4f</DX><DY>%.4f</DY><DZ>%.4f</DZ><SX>0.002</SX><SY>0.002</SY><SZ>0.004</SZ>"
               "</Vector>" % (a, b, dx, dy, dz))


def sight(at, target, kind, distance=True):
    e, n, u = (pts[target][i] - pts[at][i] for i in range(3))
    h = math.hypot(e, n)
    text = ("<Observation><ObsType>%s</ObsType><PointNumber>%s</PointNumber>"
            "<HorizontalAngle>%s</HorizontalAngle><ZenithAngle>%s</ZenithAngle>"
            % (kind, target, packed(math.degrees(math.atan2(e, n))),
               packed(math.degrees(math.atan2(h, u)))))
    if distance:
        text += "<SlopeDistance>%.4f</SlopeDistance>" % math.sqrt(h * h + u * u)
    return text + "<PrismHeight>0.000</PrismHeight></Observation>"


def setup(at, back, fores, distance=True):
    out.append("  <Station><StationPoint>%s</StationPoint><InstrumentHeight>0.000</InstrumentHeight>"
               % at)
    for f in fores:
        out.append("    " + sight(at, back, "Backsight"))
        out.append("    " + sight(at, f, "Foresight", distance))
    out.append("    " + sight(at, back, "Backsight"))
    out.append("  </Station>")


grid = sorted(p for p in pts if p.startswith("G"))
for name in grid:
    r, c = int(name[1:3]), int(name[3:5])
    right, up = "G%02d%02d" % (r, c + 1), "G%02d%02d" % (r + 1, c)
    if right in pts:
        vector(name, right)
    if up in pts and (r + c) % 3:
        vector(name, up)
vector("G0404", "G0202")
vector("G0404", "G0606")
vector("G0202", "M7")
vector("G0607", "M7A")
vector("Q1", "Q2")
for name in grid[::7]:
    r, c = int(name[1:3]), int(name[3:5])
    near = [p for p in grid if p != name and abs(int(p[1:3]) - r) <= 2 and abs(int(p[3:5]) - c) <= 2]
    if len(near) >= 3:
        setup(name, near[0], random.sample(near[1:], 2))
setup("G0801", "G0802", ["X1"], distance=False)
setup("G0806", "G0805", ["X1"], distance=False)
out.append("</data>")
print("\n".join(out))
