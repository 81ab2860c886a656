#!/usr/bin/env python3
"""Generates the meshes and bitmaps in data/ that the programs load.

Usage: tools/make_data.py [output-dir]   (default: the repository's data/)

Python 3 standard library only. The output is deterministic: every run writes
the same bytes, so the generated files live in the repository next to this
script and a re-run shows no diff.

Conventions of the generated meshes (tools/check_data.py verifies them):
- One Frame with an identity FrameTransformMatrix holding one Mesh: the body
  loaders make one body per mesh, so a file with one mesh gives one rigid body.
- The origin is the reference point of the body (its centre of mass), so the
  parts are placed around it.
- Winding: for every face (c0, c1, c2, ...) the vector (P1 - P0) x (P2 - P0)
  points out of the solid. The engine derives its vertex normals and the face
  normals of its contact tests with exactly that product, so any other winding
  would light the mesh from inside and turn the contact normals around.
- Each face has vertices of its own (flat shading) carrying the face normal;
  equal corners are written with identical text, so welding by position (which
  the collision copy does) turns every solid into a closed surface in which each
  edge is shared by exactly two faces running it in opposite directions.
- Distinct corners lie at least 0.1 apart: the collision copy merges corners
  closer than 0.05 and would otherwise break the surface.
- Faces are triangles or planar convex quads; numbers are written with "%f"
  (the reader's tokenizer knows no exponents).
"""

import math
import os
import struct
import sys

# ---------------------------------------------------------------------------
# Small vector helpers


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def add(a, b):
    return (a[0] + b[0], a[1] + b[1], a[2] + b[2])


def scale(a, s):
    return (a[0] * s, a[1] * s, a[2] * s)


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1],
            a[2] * b[0] - a[0] * b[2],
            a[0] * b[1] - a[1] * b[0])


def length(a):
    return math.sqrt(dot(a, a))


def normalize(a):
    n = length(a)
    return (a[0] / n, a[1] / n, a[2] / n)


def snap(v):
    """Rounds to what "%f" writes, so the model is exactly what the file holds."""
    return tuple(round(c, 6) + 0.0 for c in v)


# ---------------------------------------------------------------------------
# Deterministic pseudo-random numbers (own generator: independent of the
# Python version's library)


class Lcg:
    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next_u32(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state

    def uniform(self):
        """A float in [0, 1) from the high bits."""
        return (self.next_u32() >> 8) / float(1 << 24)


# ---------------------------------------------------------------------------
# Solids: a list of corner positions and faces (corner index lists). Every
# solid built here is convex; faces are turned to point away from its centre.


class Solid:
    def __init__(self, points, faces):
        self.points = [snap(p) for p in points]
        self.faces = [list(f) for f in faces]
        self.orient_outward()

    def centre(self):
        n = float(len(self.points))
        return tuple(sum(p[i] for p in self.points) / n for i in range(3))

    def orient_outward(self):
        c = self.centre()
        for f in self.faces:
            p = [self.points[i] for i in f]
            n = cross(sub(p[1], p[0]), sub(p[2], p[0]))
            if dot(n, sub(p[0], c)) < 0.0:
                f.reverse()

    def translated(self, d):
        return Solid([add(p, d) for p in self.points], self.faces)


def polygon_faces(ring):
    """Splits a convex polygon (corner indices in order) into quads and
    triangles: octagons into three quads, others into a fan."""
    n = len(ring)
    if n <= 4:
        return [list(ring)]
    if n == 8:
        r = ring
        return [[r[0], r[1], r[2], r[3]], [r[0], r[3], r[4], r[7]],
                [r[4], r[5], r[6], r[7]]]
    return [[ring[0], ring[i], ring[i + 1]] for i in range(1, n - 1)]


def box(x0, y0, z0, x1, y1, z1):
    pts = [(x, y, z) for z in (z0, z1) for y in (y0, y1) for x in (x0, x1)]
    # corner number = x bit + 2 y bit + 4 z bit
    faces = [[0, 2, 6, 4], [1, 5, 7, 3], [0, 4, 5, 1], [2, 3, 7, 6],
             [0, 1, 3, 2], [4, 6, 7, 5]]
    return Solid(pts, faces)


def lathe(sides, profile, phase=None, cx=0.0, cz=0.0, sx=1.0, sz=1.0):
    """A convex solid of revolution around a vertical axis through (cx, cz):
    profile is a list of (radius, y) from bottom to top, each ring a regular
    polygon of `sides` corners (scaled by sx, sz); both ends are capped."""
    if phase is None:
        phase = math.pi / sides  # a flat side faces each axis
    pts = []
    for r, y in profile:
        for k in range(sides):
            a = phase + 2.0 * math.pi * k / sides
            pts.append((cx + sx * r * math.cos(a), y, cz + sz * r * math.sin(a)))
    faces = []
    for j in range(len(profile) - 1):
        b, t = j * sides, (j + 1) * sides
        for k in range(sides):
            k1 = (k + 1) % sides
            faces.append([b + k, b + k1, t + k1, t + k])
    faces += polygon_faces(list(range(sides)))
    top = (len(profile) - 1) * sides
    faces += polygon_faces([top + k for k in range(sides)])
    return Solid(pts, faces)


def oriented_box(centre, along, half_len, half_width, y0, y1):
    """A box lying flat, its long axis in the horizontal direction `along`."""
    ax = normalize((along[0], 0.0, along[2]))
    side = (-ax[2], 0.0, ax[0])
    cs = []
    for s in (-1.0, 1.0):
        for t in (-1.0, 1.0):
            cs.append(add(centre, add(scale(ax, s * half_len), scale(side, t * half_width))))
    # ring order around the box: (-,-), (-,+), (+,+), (+,-)
    ring = [cs[0], cs[1], cs[3], cs[2]]
    pts = [(p[0], y0, p[2]) for p in ring] + [(p[0], y1, p[2]) for p in ring]
    faces = [[0, 1, 2, 3], [4, 5, 6, 7]]
    for k in range(4):
        k1 = (k + 1) % 4
        faces.append([k, k1, 4 + k1, 4 + k])
    return Solid(pts, faces)


def convex_hull(points):
    """Triangles of the convex hull of points in general position (brute
    force; fine for a few dozen points)."""
    n = len(points)
    faces = []
    for i in range(n):
        for j in range(i + 1, n):
            for k in range(j + 1, n):
                a, b, c = points[i], points[j], points[k]
                nrm = cross(sub(b, a), sub(c, a))
                above = below = 0
                for m in range(n):
                    if m in (i, j, k):
                        continue
                    d = dot(nrm, sub(points[m], a))
                    if abs(d) < 1e-9:
                        raise ValueError("points not in general position")
                    if d > 0.0:
                        above += 1
                    else:
                        below += 1
                if above == 0:
                    faces.append([i, j, k])
                elif below == 0:
                    faces.append([i, k, j])
    used = sorted({i for f in faces for i in f})
    remap = {old: new for new, old in enumerate(used)}
    return [points[i] for i in used], [[remap[i] for i in f] for f in faces]


# ---------------------------------------------------------------------------
# The models. Sizes are in scene units; see the notes at each one for the use
# that fixes them.


def chair():
    """A wooden chair, 1.8 wide and deep, seat at 2.0, back up to 4.2. It is
    loaded where the file puts it and falls onto the road under a camera 40
    units away; the box (2 units, placed at (2, -4, 2)) starts 0.1 beside its
    footprint, so the two land side by side."""
    legs = []
    for x0, x1 in ((-0.8, -0.6), (0.6, 0.8)):
        legs.append(box(x0, 0.0, -0.8, x1, 2.0, -0.6))        # front legs end inside the seat
        legs.append(box(x0, 0.0, 0.6, x1, 4.2, 0.8))          # rear legs carry the back
    seat = box(-0.9, 1.9, -0.9, 0.9, 2.1, 0.9)
    back = box(-0.7, 2.9, 0.65, 0.7, 4.0, 0.77)               # back rest, ends inside the rear posts
    rail = box(-0.7, 0.6, 0.65, 0.7, 0.8, 0.77)               # rung between the rear legs
    parts = legs + [seat, back, rail]
    return centred_on_mass(parts)


def centred_on_mass(parts):
    """Moves the parts so that the centre of mass (uniform density, each part
    taken as a whole) is at the origin, rounded to 0.001."""
    total = 0.0
    acc = (0.0, 0.0, 0.0)
    for s in parts:
        v, c = solid_volume_centroid(s)
        total += v
        acc = add(acc, scale(c, v))
    com = scale(acc, 1.0 / total)
    shift = tuple(-round(c, 3) for c in com)
    return [s.translated(shift) for s in parts]


def solid_volume_centroid(s):
    vol = 0.0
    acc = (0.0, 0.0, 0.0)
    for f in s.faces:
        p0 = s.points[f[0]]
        for t in range(1, len(f) - 1):
            p1, p2 = s.points[f[t]], s.points[f[t + 1]]
            v = dot(p0, cross(p1, p2)) / 6.0
            vol += v
            acc = add(acc, scale(add(add(p0, p1), p2), v / 4.0))
    return vol, scale(acc, 1.0 / vol)


def lbox():
    """A 2 x 2 x 2 cube: the test scenes scale it by 5 into the 10-unit boxes
    they stack, and the crane scene scales it by 0.4 to fit its gripper."""
    return [box(-1.0, -1.0, -1.0, 1.0, 1.0, 1.0)]


def road():
    """A slab 16 x 16, 1 thick, top at y = 0: placed at y = -10 and scaled by
    5 (40 x 40 around the chair) or by 50 (800 x 800 for the cars, which run
    at about 6 units a second)."""
    return [box(-8.0, -1.0, -8.0, 8.0, 0.0, 8.0)]


def rocka():
    """An irregular rock about 2 x 1.5 x 1.7: the convex hull of jittered
    points on an ellipsoid, centred on its centre of mass. Scaled by 0.4 in
    the crane scene it is about as big as the box and fits the gripper."""
    rng = Lcg(20261210)
    radii = (1.0, 0.72, 0.86)
    pts = []
    while len(pts) < 22:
        z = 2.0 * rng.uniform() - 1.0
        a = 2.0 * math.pi * rng.uniform()
        r = 0.82 + 0.3 * rng.uniform()
        s = math.sqrt(max(0.0, 1.0 - z * z))
        p = snap((radii[0] * r * s * math.cos(a), radii[1] * r * z, radii[2] * r * s * math.sin(a)))
        if all(length(sub(p, q)) >= 0.35 for q in pts):
            pts.append(p)
    hull_pts, faces = convex_hull(pts)
    rock = Solid(hull_pts, faces)
    return centred_on_mass([rock])


# The legged robot: the body is not scaled; the legs are scaled by 5 after
# loading and hang from the body corners (+-7.5, 0, +-7.5). Segment 1 sits at
# the leg origin with a joint 5 below it, segment 2 10 below with a joint 7.5
# below that, segment 3 25 below, so the segments span (in file units, before
# the scale of 5) [-1, 1], [-1.5, 1] and [-1.5, 1.5] around their origins.
# Small gaps at the joints keep neighbouring segments from touching.


def kbody_ld():
    """Collision body of the robot: an octagonal slab with a low dome."""
    return [lathe(8, [(6.0, -1.5), (6.0, 1.5)]),
            lathe(8, [(4.0, 1.2), (3.0, 2.8)])]


def kbody():
    """Visible body of the robot: bevelled slab, dome, sensor head in front
    (+z) and a shoulder block towards each leg."""
    parts = [lathe(8, [(5.3, -1.5), (6.0, -0.7), (6.0, 0.8), (5.5, 1.5)]),
             lathe(8, [(4.0, 1.2), (4.0, 2.1), (3.0, 2.8)]),
             box(-1.0, 1.6, 3.0, 1.0, 2.5, 4.4)]
    for sx in (-1.0, 1.0):
        for sz in (-1.0, 1.0):
            d = normalize((sx, 0.0, sz))
            parts.append(oriented_box(scale(d, 6.6), d, 1.4, 0.9, -0.9, 0.9))
    return parts


def leg():
    """Upper leg segment (collision): 3 x 9.7 x 3 after the scale of 5."""
    return [box(-0.3, -0.97, -0.3, 0.3, 0.97, 0.3)]


def dleg():
    """Upper leg segment (visible): a tapered octagonal beam with a hip
    collar."""
    return [lathe(8, [(0.26, -0.97), (0.3, 0.6), (0.3, 0.97)]),
            lathe(8, [(0.38, 0.68), (0.38, 0.88)])]


def leg3():
    """Middle leg segment (collision)."""
    return [box(-0.25, -1.45, -0.25, 0.25, 0.95, 0.25)]


def dleg3():
    """Middle leg segment (visible): octagonal beam with a knee collar."""
    return [lathe(8, [(0.22, -1.45), (0.26, 0.95)]),
            lathe(8, [(0.33, 0.6), (0.33, 0.85)])]


def leg2():
    """Lower leg segment (collision): tapers to the foot."""
    return [lathe(4, [(0.17, -1.5), (0.3, 1.45)], phase=math.pi / 4)]


def dleg2():
    """Lower leg segment (visible): tapered octagonal shin on a foot pad."""
    return [lathe(8, [(0.14, -1.42), (0.22, 1.45)]),
            lathe(8, [(0.24, -1.5), (0.24, -1.35)])]


def turned(solid, f):
    """The solid with every point mapped by the rotation f (winding kept)."""
    return Solid([f(p) for p in solid.points], solid.faces)


def axle_along_z(solid):
    """A solid of revolution around y turned so that its axis runs along z."""
    return turned(solid, lambda p: (p[0], -p[2], p[1]))


def prism_xz(ring, y0, y1):
    """A flat convex plate: the polygon `ring` of (x, z) corners in order,
    from height y0 to y1."""
    n = len(ring)
    pts = [(x, y0, z) for x, z in ring] + [(x, y1, z) for x, z in ring]
    faces = [list(range(n)), [n + k for k in range(n)]]
    for k in range(n):
        k1 = (k + 1) % n
        faces.append([k, k1, n + k1, n + k])
    return Solid(pts, faces)


# The vehicle: the chassis file runs along x; the builder stretches it by 1.5
# in x and turns it a quarter about y, so the car is 30 long (z) and 10 wide,
# and its rigid part sits 2.5 above the body origin (the car's offset matrix):
# the file's centre of mass is at y = 2.5. The wheels (axle along z in the
# file, turned to x by the builder) are scaled by 1.5 to radius 3 and width
# 2.4, centred 7.5 to the sides, 12.5 ahead and behind, 3.25 above the origin,
# so they clear the body by about 1 and stand about 0.25 below its floor.


def chassis():
    """Vehicle body: a floor pan with a cabin on it."""
    pan = box(-10.0, -1.0, -5.0, 10.0, 1.0, 5.0)
    cabin = box(-4.0, 0.8, -4.0, 3.0, 2.6, 4.0)
    return [s.translated((0.0, 2.5, 0.0)) for s in centred_on_mass([pan, cabin])]


def tireld():
    """Wheel (collision): an octagonal drum, radius 2, width 1.6."""
    return [axle_along_z(lathe(8, [(2.0, -0.8), (2.0, 0.8)]))]


def tire():
    """Wheel (visible): a rounded 16-sided tyre."""
    return [axle_along_z(lathe(16, [(1.6, -0.8), (2.0, -0.5), (2.0, 0.5), (1.6, 0.8)]))]


# The aircraft: nose along +z, wings along x, 9 long and 9 across; it is
# loaded as it is and flown at speeds of 10 to 60.


def f22():
    """Player aircraft: fuselage, swept wings, tailplanes and two fins."""
    fuselage = axle_along_z(lathe(8, [(0.3, -4.0), (0.8, -2.5), (0.8, 2.0), (0.2, 4.5)]))
    parts = [fuselage]
    for side in (-1.0, 1.0):
        wing = [(0.5, 1.0), (4.5, -1.6), (4.5, -2.3), (0.5, -2.6)]
        tail = [(0.5, -2.9), (2.2, -3.7), (2.2, -4.1), (0.5, -4.2)]
        for ring in (wing, tail):
            pts = [(side * x, z) for x, z in ring]
            if side < 0.0:
                pts.reverse()
            parts.append(prism_xz(pts, -0.1, 0.1))
        # fin: drawn in the (y, z) plane, then stood up at x = 0.6 side
        fin = prism_xz([(0.4, -2.4), (1.9, -3.6), (1.9, -4.1), (0.4, -4.2)], -0.08, 0.08)
        fin = turned(fin, lambda p: (-p[1], p[0], p[2]))
        parts.append(fin.translated((side * 0.6, 0.0, 0.0)))
    return centred_on_mass(parts)


# ---------------------------------------------------------------------------
# The script scenes of the demo program (data/LispSource/*.lsp). The scripts
# load these by bare name from objects/ and scale or place them themselves;
# the notes say which scene uses each and what fixes its size.


def floor():
    """The default world's floor: a slab 320 x 320, 4 thick, top at y = 0,
    carrying a checker texture of 20-unit squares (16 across)."""
    return [box(-160.0, -4.0, -160.0, 160.0, 0.0, 160.0)]


def icosphere(radius, subdivisions):
    """A sphere of triangles: an icosahedron whose faces are split in four
    `subdivisions` times, every corner pushed out to the radius."""
    t = (1.0 + math.sqrt(5.0)) / 2.0
    pts = [normalize(p) for p in [(-1, t, 0), (1, t, 0), (-1, -t, 0), (1, -t, 0),
                                  (0, -1, t), (0, 1, t), (0, -1, -t), (0, 1, -t),
                                  (t, 0, -1), (t, 0, 1), (-t, 0, -1), (-t, 0, 1)]]
    faces = [(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11), (1, 5, 9), (5, 11, 4),
             (11, 10, 2), (10, 7, 6), (7, 1, 8), (3, 9, 4), (3, 4, 2), (3, 2, 6), (3, 6, 8),
             (3, 8, 9), (4, 9, 5), (2, 4, 11), (6, 2, 10), (8, 6, 7), (9, 8, 1)]
    for _ in range(subdivisions):
        middle = {}

        def mid(a, b):
            key = (min(a, b), max(a, b))
            if key not in middle:
                pts.append(normalize(scale(add(pts[a], pts[b]), 0.5)))
                middle[key] = len(pts) - 1
            return middle[key]

        split = []
        for a, b, c in faces:
            ab, bc, ca = mid(a, b), mid(b, c), mid(c, a)
            split += [(a, ab, ca), (b, bc, ab), (c, ca, bc), (ab, bc, ca)]
        faces = split
    return Solid([scale(p, radius) for p in pts], faces)


def ball():
    """A ball of radius 1 (80 triangles): the pusher of the stack, the bob of
    the pendulum and one of the falling blocks."""
    return [icosphere(1.0, 1)]


def drum():
    """A 12-sided drum, radius 1 and height 2: a falling block."""
    return [lathe(12, [(1.0, -1.0), (1.0, 1.0)])]


def wedge():
    """A ramp-shaped block 2 x 2 x 2: a right triangle in x-y drawn along z."""
    pts = [(-1.0, -1.0, -1.0), (1.0, -1.0, -1.0), (-1.0, 1.0, -1.0),
           (-1.0, -1.0, 1.0), (1.0, -1.0, 1.0), (-1.0, 1.0, 1.0)]
    faces = [[0, 1, 2], [3, 5, 4], [0, 3, 4, 1], [0, 2, 5, 3], [1, 4, 5, 2]]
    return centred_on_mass([Solid(pts, faces)])


def softbox():
    """The deformable body: a rounded cube about 4 across (a superellipsoid,
    |x|^4 + |y|^4 + |z|^4 = 2^4), each side a 3 x 3 grid of triangle pairs, so
    the lattice that moves its vertices bends its faces visibly."""
    n = 3
    pts, index, faces = [], {}, []

    def corner(p):
        q = normalize(p)
        r = (q[0] ** 4 + q[1] ** 4 + q[2] ** 4) ** 0.25
        key = tuple(round(c, 6) for c in p)
        if key not in index:
            index[key] = len(pts)
            pts.append(scale(q, 2.0 / r))
        return index[key]

    for axis in range(3):
        for sign in (-1.0, 1.0):
            grid = []
            for i in range(n + 1):
                row = []
                for j in range(n + 1):
                    u, v = -1.0 + 2.0 * i / n, -1.0 + 2.0 * j / n
                    p = [0.0, 0.0, 0.0]
                    p[axis] = sign
                    p[(axis + 1) % 3] = u
                    p[(axis + 2) % 3] = v
                    row.append(corner(tuple(p)))
                grid.append(row)
            for i in range(n):
                for j in range(n):
                    a, b, c, d = grid[i][j], grid[i + 1][j], grid[i + 1][j + 1], grid[i][j + 1]
                    # split along the diagonal that keeps the surface convex: the one whose two
                    # triangles leave the other corners on the inner side
                    pa, pb, pc, pd = (pts[k] for k in (a, b, c, d))
                    bend = dot(cross(sub(pb, pa), sub(pc, pa)), sub(pd, pa))
                    outward = dot(cross(sub(pb, pa), sub(pc, pa)), pa)
                    if bend * outward <= 0.0:
                        faces += [[a, b, c], [a, c, d]]
                    else:
                        faces += [[a, b, d], [b, c, d]]
    return [Solid(pts, faces)]


def wall():
    """A palace wall segment 40 long (x), 2 thick, 6 high from y = 0, with
    five merlons on top: the palace scene sets them end to end into a
    courtyard."""
    parts = [box(-20.0, 0.0, -1.0, 20.0, 6.0, 1.0)]
    for k in range(5):
        x = -16.0 + 8.0 * k
        parts.append(box(x - 1.5, 5.8, -1.0, x + 1.5, 7.5, 1.0))
    return parts


def tower():
    """A palace corner tower: an octagonal keep, radius 4 and 10 high from
    y = 0, under a pointed roof up to 15."""
    return [lathe(8, [(4.0, 0.0), (4.0, 10.0)]),
            lathe(8, [(4.6, 9.8), (4.6, 10.6), (0.3, 15.0)])]


# Terrain of the land-car scene: a 64 x 64 height map that the script scales
# by (8, 30, 8) into a land 512 across with hills up to about 20 high (slopes
# below 20 degrees where the car drives); the middle is flat where the car
# starts, and the hills rise from about 40 units out.


def land_height(x, y):
    cx, cy = x - 31.5, y - 31.5
    r = math.hypot(cx, cy) / 31.5
    rise = max(0.0, min(1.0, (r - 0.15) / 0.4))
    hills = 0.5 + 0.25 * math.sin(x * 2.0 * math.pi / 16.0) * math.cos(y * 2.0 * math.pi / 21.0) \
        + 0.15 * math.sin((x + 2.0 * y) * 2.0 * math.pi / 27.0)
    return 0.08 + rise * 0.6 * hills + 0.25 * max(0.0, r - 0.8)


def land_pixel(x, y):
    g = max(0, min(255, int(land_height(x, y) * 255.0 + 0.5)))
    return (g, g, g)


def landtex_pixel_fn():
    """Grass with darker patches and a sandy ring track of radius 110 (in land
    units) around the middle, where the car drives."""
    rng = Lcg(11)
    grain = [[rng.uniform() for _ in range(128)] for _ in range(128)]

    def pixel(x, y):
        # the 128-pixel texture spans the 512-unit land: 4 units a pixel
        ux, uz = (x - 63.5) * 4.0, (y - 63.5) * 4.0
        r = math.hypot(ux, uz)
        n = grain[y][x]
        patch = 0.5 + 0.5 * math.sin(x * 0.21) * math.cos(y * 0.17)
        if abs(r - 110.0) < 8.0:
            v = 150 + int(30 * n)
            return (v + 30, v + 10, v - 40)
        return (int(40 + 30 * patch + 20 * n), int(95 + 50 * patch + 30 * n), int(30 + 20 * n))

    return pixel


def floor_pixel(x, y):
    """Checker squares of 16 pixels in two cool greys with a darker seam."""
    if x % 16 == 0 or y % 16 == 0:
        return (70, 74, 82)
    if ((x // 16) + (y // 16)) % 2 == 0:
        return (150, 156, 165)
    return (118, 124, 134)


# ---------------------------------------------------------------------------
# Materials: the reader keeps the face colour as the diffuse colour, takes the
# file's specular colour as the ambient colour and its emissive colour as the
# specular colour, so the middle colour is a darker copy of the face colour and
# the last one sets the highlight.


class Material:
    def __init__(self, name, rgb, highlight=0.0, power=10.0, texture=None):
        self.name = name
        self.texture = texture
        self.face = (rgb[0], rgb[1], rgb[2], 1.0)
        self.power = power
        self.second = tuple(c * 0.5 for c in rgb)
        self.third = (highlight, highlight, highlight)


WOOD = (0.55, 0.33, 0.15)
BOX_BLUE = (0.20, 0.42, 0.85)
ASPHALT = (0.40, 0.40, 0.42)
STONE = (0.52, 0.48, 0.42)
ROBOT_YELLOW = (0.95, 0.72, 0.12)
GUNMETAL = (0.32, 0.34, 0.38)
CAR_RED = (0.80, 0.12, 0.10)
TYRE_BLACK = (0.12, 0.12, 0.13)
JET_GREY = (0.55, 0.58, 0.62)
FLOOR_WHITE = (1.0, 1.0, 1.0)
SANDSTONE = (0.86, 0.76, 0.55)
ROOF_BLUE = (0.25, 0.35, 0.65)
JELLY_GREEN = (0.35, 0.80, 0.40)
STEEL = (0.62, 0.64, 0.68)

MESHES = [
    # (path, mesh name, builder, material)
    ("chair.x", "chair", chair, Material("wood", WOOD, 0.05, 12.0)),
    ("lbox.x", "lbox", lbox, Material("crate", BOX_BLUE, 0.15, 20.0)),
    ("road.x", "road", road, Material("asphalt", ASPHALT)),
    ("rocka.x", "rocka", rocka, Material("stone", STONE)),
    ("objects/lbox.x", "lbox", lbox, Material("crate", BOX_BLUE, 0.15, 20.0)),
    ("objects/kbody_ld.x", "kbody_ld", kbody_ld, Material("paint", ROBOT_YELLOW, 0.2, 20.0)),
    ("objects/kbody.x", "kbody", kbody, Material("paint", ROBOT_YELLOW, 0.2, 20.0)),
    ("objects/leg.x", "leg", leg, Material("metal", GUNMETAL, 0.3, 30.0)),
    ("objects/dleg.x", "dleg", dleg, Material("metal", GUNMETAL, 0.3, 30.0)),
    ("objects/leg3.x", "leg3", leg3, Material("metal", GUNMETAL, 0.3, 30.0)),
    ("objects/dleg3.x", "dleg3", dleg3, Material("metal", GUNMETAL, 0.3, 30.0)),
    ("objects/leg2.x", "leg2", leg2, Material("metal", GUNMETAL, 0.3, 30.0)),
    ("objects/dleg2.x", "dleg2", dleg2, Material("metal", GUNMETAL, 0.3, 30.0)),
    ("objects/chassis.x", "chassis", chassis, Material("paint", CAR_RED, 0.4, 30.0)),
    ("objects/tireld.x", "tireld", tireld, Material("rubber", TYRE_BLACK)),
    ("objects/tire.x", "tire", tire, Material("rubber", TYRE_BLACK, 0.05, 8.0)),
    ("f22.x", "f22", f22, Material("paint", JET_GREY, 0.3, 25.0)),
    ("objects/floor.x", "floor", floor, Material("tiles", FLOOR_WHITE, 0.1, 10.0, "floor.bmp")),
    ("objects/ball.x", "ball", ball, Material("steel", STEEL, 0.5, 40.0)),
    ("objects/drum.x", "drum", drum, Material("paint", BOX_BLUE, 0.2, 20.0)),
    ("objects/wedge.x", "wedge", wedge, Material("paint", BOX_BLUE, 0.2, 20.0)),
    ("objects/softbox.x", "softbox", softbox, Material("jelly", JELLY_GREEN, 0.6, 40.0)),
    ("objects/wall.x", "wall", wall, Material("stone", SANDSTONE, 0.05, 8.0)),
    ("objects/tower.x", "tower", tower, Material("stone", SANDSTONE, 0.05, 8.0)),
]

# ---------------------------------------------------------------------------
# DirectX text file output


TEMPLATES = [
    ("Header", "3D82AB43-62DA-11cf-AB39-0020AF71E433", ["WORD major;", "WORD minor;", "DWORD flags;"]),
    ("Vector", "3D82AB5E-62DA-11cf-AB39-0020AF71E433", ["FLOAT x;", "FLOAT y;", "FLOAT z;"]),
    ("Coords2d", "F6F23F44-7686-11cf-8F52-0040333594A3", ["FLOAT u;", "FLOAT v;"]),
    ("Matrix4x4", "F6F23F45-7686-11cf-8F52-0040333594A3", ["array FLOAT matrix[16];"]),
    ("ColorRGBA", "35FF44E0-6C7C-11cf-8F52-0040333594A3",
     ["FLOAT red;", "FLOAT green;", "FLOAT blue;", "FLOAT alpha;"]),
    ("ColorRGB", "D3E16E81-7835-11cf-8F52-0040333594A3", ["FLOAT red;", "FLOAT green;", "FLOAT blue;"]),
    ("Material", "3D82AB4D-62DA-11cf-AB39-0020AF71E433",
     ["ColorRGBA faceColor;", "FLOAT power;", "ColorRGB specularColor;", "ColorRGB emissiveColor;", "[...]"]),
    ("TextureFilename", "A42790E1-7810-11cf-8F52-0040333594A3", ["STRING filename;"]),
    ("MeshFace", "3D82AB5F-62DA-11cf-AB39-0020AF71E433",
     ["DWORD nFaceVertexIndices;", "array DWORD faceVertexIndices[nFaceVertexIndices];"]),
    ("MeshTextureCoords", "F6F23F40-7686-11cf-8F52-0040333594A3",
     ["DWORD nTextureCoords;", "array Coords2d textureCoords[nTextureCoords];"]),
    ("MeshMaterialList", "F6F23F42-7686-11cf-8F52-0040333594A3",
     ["DWORD nMaterials;", "DWORD nFaceIndexes;", "array DWORD faceIndexes[nFaceIndexes];", "[Material]"]),
    ("MeshNormals", "F6F23F43-7686-11cf-8F52-0040333594A3",
     ["DWORD nNormals;", "array Vector normals[nNormals];", "DWORD nFaceNormals;",
      "array MeshFace faceNormals[nFaceNormals];"]),
    ("Mesh", "3D82AB44-62DA-11cf-AB39-0020AF71E433",
     ["DWORD nVertices;", "array Vector vertices[nVertices];", "DWORD nFaces;",
      "array MeshFace faces[nFaces];", "[...]"]),
    ("FrameTransformMatrix", "F6F23F41-7686-11cf-8F52-0040333594A3", ["Matrix4x4 frameMatrix;"]),
    ("Frame", "3D82AB46-62DA-11cf-AB39-0020AF71E433", ["[...]"]),
]


def fmt(x):
    s = "%f" % (x + 0.0)
    return "0.000000" if s == "-0.000000" else s


def face_uv(points, normal):
    """Planar texture coordinates: the face projected along its main axis,
    stretched over 0..1."""
    axis = max(range(3), key=lambda i: abs(normal[i]))
    ua, va = [(1, 2), (0, 2), (0, 1)][axis]
    us = [p[ua] for p in points]
    vs = [p[va] for p in points]
    u0, u1, v0, v1 = min(us), max(us), min(vs), max(vs)
    du = (u1 - u0) or 1.0
    dv = (v1 - v0) or 1.0
    return [(round((p[ua] - u0) / du, 6), round(1.0 - (p[va] - v0) / dv, 6)) for p in points]


def flat_vertices(solids):
    """One vertex per face corner, with the face normal and planar texture
    coordinates; returns (vertices, faces)."""
    verts, faces = [], []
    for s in solids:
        for f in s.faces:
            p = [s.points[i] for i in f]
            n = snap(normalize(cross(sub(p[1], p[0]), sub(p[2], p[0]))))
            uv = face_uv(p, n)
            base = len(verts)
            for k in range(len(f)):
                verts.append((p[k], n, uv[k]))
            faces.append(list(range(base, base + len(f))))
    return verts, faces


def x_file_text(mesh_name, solids, mat):
    verts, faces = flat_vertices(solids)
    if len(verts) >= 500:
        raise ValueError("%s: %d vertices" % (mesh_name, len(verts)))
    out = ["xof 0302txt 0064\n"]
    for name, guid, members in TEMPLATES:
        out.append("template %s {\n <%s>\n" % (name, guid))
        out += [" %s\n" % m for m in members]
        out.append("}\n\n")
    out.append("Header {\n 1;\n 0;\n 1;\n}\n\n")
    out.append("Frame %s_frame {\n" % mesh_name)
    out.append("\tFrameTransformMatrix {\n")
    rows = ["1.000000,0.000000,0.000000,0.000000", "0.000000,1.000000,0.000000,0.000000",
            "0.000000,0.000000,1.000000,0.000000", "0.000000,0.000000,0.000000,1.000000"]
    out.append("\t\t" + ",\n\t\t".join(rows) + ";;\n")
    out.append("\t}\n")

    def vec_list(vs, indent):
        return indent + (";,\n" + indent).join(";".join(fmt(c) for c in v) for v in vs) + ";;\n"

    def face_list(fs, indent):
        return indent + ",\n".join(
            ("" if i == 0 else indent) + "%d;%s;" % (len(f), ",".join(str(k) for k in f))
            for i, f in enumerate(fs)) + ";\n"

    t3, t4 = "\t\t", "\t\t\t"
    out.append("\tMesh %s {\n" % mesh_name)
    out.append("%s%d;\n" % (t3, len(verts)))
    out.append(vec_list([v[0] for v in verts], t3))
    out.append("%s%d;\n" % (t3, len(faces)))
    out.append(face_list(faces, t3))
    out.append("\n%sMeshNormals {\n" % t3)
    out.append("%s%d;\n" % (t4, len(verts)))
    out.append(vec_list([v[1] for v in verts], t4))
    out.append("%s%d;\n" % (t4, len(faces)))
    out.append(face_list(faces, t4))
    out.append("%s}\n" % t3)
    out.append("\n%sMeshTextureCoords {\n" % t3)
    out.append("%s%d;\n" % (t4, len(verts)))
    out.append(vec_list([v[2] for v in verts], t4))
    out.append("%s}\n" % t3)
    out.append("\n%sMeshMaterialList {\n" % t3)
    out.append("%s1;\n%s%d;\n" % (t4, t4, len(faces)))
    out.append(t4 + ",\n".join(("" if i == 0 else t4) + "0" for i in range(len(faces))) + ";;\n")
    t5 = t4 + "\t"
    out.append("%sMaterial %s {\n" % (t4, mat.name))
    out.append("%s%s;;\n" % (t5, ";".join(fmt(c) for c in mat.face)))
    out.append("%s%s;\n" % (t5, fmt(mat.power)))
    out.append("%s%s;;\n" % (t5, ";".join(fmt(c) for c in mat.second)))
    out.append("%s%s;;\n" % (t5, ";".join(fmt(c) for c in mat.third)))
    if mat.texture:
        out.append("%sTextureFilename {\n%s\t\"%s\";\n%s}\n" % (t5, t5, mat.texture, t5))
    out.append("%s}\n" % t4)
    out.append("%s}\n" % t3)
    out.append("\t}\n")
    out.append("}\n")
    return "".join(out)


# ---------------------------------------------------------------------------
# Bitmaps: 24-bit uncompressed, bottom-up, power-of-two sides.


def bmp_bytes(width, height, pixel):
    """pixel(x, y) -> (r, g, b), y = 0 the top row of the picture."""
    row_size = (width * 3 + 3) & ~3
    image = bytearray()
    for y in range(height - 1, -1, -1):  # bottom-up: the last picture row first
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        image += row
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0, 14 + len(info))
    return header + info + bytes(image)


def tire_pixel_fn():
    """A tread: rubber blocks in two rows split by a centre groove, cut by
    chevron grooves; dark shoulders at both edges; a little grain."""
    rng = Lcg(7)
    grain = [[int(rng.uniform() * 7) for _ in range(64)] for _ in range(64)]

    def pixel(x, y):
        base = 40 + grain[y][x]
        if x < 4 or x >= 60:                          # shoulders
            v = 26 + grain[y][x] // 2
            return (v, v, v + 1)
        if 30 <= x <= 33:                             # centre groove
            return (12, 12, 13)
        off = abs(x - 31.5)                           # chevron: grooves lean away from the centre
        phase = (y + int(off * 0.5)) % 16
        if phase < 3:
            return (14, 14, 15)
        if phase == 3 or x in (4, 34):                # lit edge of each block
            return (base + 24, base + 24, base + 26)
        return (base, base, base + 2)

    return pixel


def blue_pixel(x, y):
    """A soft blue glow on black, for sprites."""
    r = math.hypot(x - 15.5, y - 15.5) / 15.5
    k = max(0.0, 1.0 - r) ** 1.5
    return (int(40 * k), int(120 * k), int(255 * k))


BITMAPS = [
    ("tire.bmp", 64, 64, tire_pixel_fn),
    ("objects/blue.BMP", 32, 32, lambda: blue_pixel),
    ("objects/floor.bmp", 128, 128, lambda: floor_pixel),
    ("objects/land.bmp", 64, 64, lambda: land_pixel),
    ("objects/landtex.bmp", 128, 128, landtex_pixel_fn),
]

# ---------------------------------------------------------------------------


def generate(out_dir):
    written = []
    for path, name, builder, mat in MESHES:
        text = x_file_text(name, builder(), mat)
        written.append(write(out_dir, path, text.encode("ascii")))
    for path, w, h, make in BITMAPS:
        written.append(write(out_dir, path, bmp_bytes(w, h, make())))
    return written


def write(out_dir, rel, data):
    full = os.path.join(out_dir, rel)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)
    return rel


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = argv[1] if len(argv) > 1 else os.path.join(here, "..", "data")
    for rel in generate(out_dir):
        print(rel)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
