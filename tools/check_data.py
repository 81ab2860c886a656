#!/usr/bin/env python3
"""Checks the generated files in data/.

Usage: tools/check_data.py [data-dir]   (default: the repository's data/)

Reads every .x file the way the engine's reader tokenizes and reads it, and
checks that each mesh is one closed, consistently and outward wound surface
(after welding equal positions, as the collision copy does), that its corners
stay far enough apart not to be merged, that its faces are flat convex
triangles or quads with matching normals, and that the sizes fit the scenes.
Checks that the bitmaps are 24-bit BMPs with power-of-two sides, and that
running tools/make_data.py again gives the same bytes. Exits 1 on any fault.
"""

import math
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

PUNCT = set('!"#%&\'()*+,/:;<=>?[\\]^{|}@')
WORD_END = set('\n\r\x07\t {},;"')


def tokens(text):
    """The .x reader's tokenizer: numbers are a digit, '.' or '-' followed by
    digits and points; single punctuation characters; words."""
    i, n = 0, len(text)
    while True:
        while i < n and text[i] in ' \t\x07\n\r':
            i += 1
        if i >= n:
            return
        c = text[i]
        if c.isdigit() or c in '.-':
            j = i + 1
            while j < n and (text[j].isdigit() or text[j] == '.'):
                j += 1
            yield text[i:j]
            i = j
        elif c in PUNCT:
            yield c
            i += 1
        else:
            j = i + 1
            while j < n and text[j] not in WORD_END:
                j += 1
            yield text[i:j]
            i = j


class Reader:
    def __init__(self, text):
        self.toks = list(tokens(text))
        self.pos = 0

    def next(self):
        if self.pos >= len(self.toks):
            return ""
        t = self.toks[self.pos]
        self.pos += 1
        return t

    def until(self, want):
        while True:
            t = self.next()
            if t == want or t == "":
                return t

    def strict_float(self):
        t = self.next()
        self.next()
        return float(t)

    def strict_int(self):
        t = self.next()
        self.next()
        if not t.isdigit():
            raise ValueError("expected a count, got %r" % t)
        return int(t)

    def lenient_float(self):
        t = self.next()
        while t and not (t[0].isalnum() or t[0] == '-'):
            t = self.next()
        return float(t)

    def skip_block(self):
        depth = 1
        while depth:
            t = self.next()
            if t == "":
                raise ValueError("file ends inside a block")
            depth += {"{": 1, "}": -1}.get(t, 0)


class Mesh:
    def __init__(self):
        self.name = ""
        self.pos, self.faces, self.normals, self.uvs = [], [], None, None
        self.material = None
        self.texture = None


def read_x(text):
    """Returns (frames, loose meshes, matrix of the last frame); a frame is
    (name, [meshes])."""
    r = Reader(text)
    frames, meshes = [], []
    while True:
        t = r.next()
        if t == "":
            return frames, meshes
        if t in ("template", "Header"):
            r.until("{")
            r.skip_block()
        elif t == "Frame":
            frames.append(read_frame(r))
        elif t == "Mesh":
            meshes.append(read_mesh(r))
        elif t == "Material":
            raise ValueError("top-level Material not expected")


def read_frame(r):
    name = r.next()
    if name == "{":
        name = ""
    else:
        r.until("{")
    frame = {"name": name, "meshes": [], "matrix": None, "children": 0}
    while True:
        t = r.next()
        if t in ("}", ""):
            return frame
        if t == "Frame":
            read_frame(r)
            frame["children"] += 1
        elif t == "Mesh":
            frame["meshes"].append(read_mesh(r))
        elif t == "FrameTransformMatrix":
            r.until("{")
            frame["matrix"] = [r.strict_float() for _ in range(16)]
            if r.toks[r.pos - 1] != "}":
                r.until("}")


def read_mesh(r):
    m = Mesh()
    t = r.next()
    if t != "{":
        m.name = t
        r.until("{")
    while True:
        t = r.next()
        if t == "":
            raise ValueError("file ends inside the mesh")
        if t == "}":
            return m
        if t in ("{", ",", ";"):
            continue
        if t == "MeshNormals":
            r.until("{")
            n = r.strict_int()
            if n != len(m.pos):
                raise ValueError("normal count %d != vertex count %d" % (n, len(m.pos)))
            m.normals = []
            for _ in range(n):
                v = (r.strict_float(), r.strict_float(), r.strict_float())
                r.next()
                m.normals.append(v)
            r.until("}")
        elif t == "MeshTextureCoords":
            r.until("{")
            n = r.strict_int()
            if n != len(m.pos):
                raise ValueError("texture coordinate count %d != vertex count" % n)
            m.uvs = [(r.lenient_float(), r.lenient_float()) for _ in range(n)]
            r.until("}")
        elif t == "MeshMaterialList":
            r.until("{")
            t = r.next()
            while t not in ("Material", "{", ""):
                t = r.next()
            if t != "Material":
                raise ValueError("material list without an inline Material")
            t = r.next()
            if t != "{":
                r.until("{")
            vals = [r.lenient_float() for _ in range(11)]
            t = r.next()
            while t and not (t[0].isalnum() or t[0] == '-' or t == "}"):
                t = r.next()
            if t in ("TextureFilename", "TextureFileName"):
                r.next()
                r.next()
                m.texture = r.next()
                r.until("}")
                t = r.next()
            m.material = vals
            if t != "}":
                r.until("}")
            r.until("}")  # end of the material list
        elif t == "MeshVertexColors":
            r.until("}")
        else:
            nv = int(t)
            r.next()
            for _ in range(nv):
                v = (r.strict_float(), r.strict_float(), r.strict_float())
                r.next()
                m.pos.append(v)
            nf = r.strict_int()
            for _ in range(nf):
                k = r.strict_int()
                f = [r.strict_int() for _ in range(k)]
                r.next()
                m.faces.append(f)


# ---------------------------------------------------------------------------


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def norm(a):
    return math.sqrt(dot(a, a))


MIN_CORNER_DISTANCE = 0.1   # the collision copy merges corners closer than 0.05


def check_mesh(path, m, errors):
    """Structural checks; returns a summary dict."""
    def err(msg):
        errors.append("%s: %s" % (path, msg))

    nv = len(m.pos)
    if nv == 0 or nv >= 500:
        err("vertex count %d out of 1..499" % nv)
        return None
    if m.normals is None or m.uvs is None or m.material is None:
        err("missing normals, texture coordinates or material")
        return None
    mat = m.material
    if not all(0.0 <= v <= 1.0 for i, v in enumerate(mat) if i != 4) or mat[4] <= 0.0:
        err("material values out of range: %r" % mat)
    if mat[3] != 1.0:
        err("face colour not opaque")

    # weld equal positions (the file writes equal corners with the same text)
    ids, welded = {}, []
    for p in m.pos:
        if p not in ids:
            ids[p] = len(welded)
            welded.append(p)
    wi = [ids[p] for p in m.pos]

    closest = min(norm(sub(a, b)) for i, a in enumerate(welded) for b in welded[i + 1:])
    if closest < MIN_CORNER_DISTANCE - 1e-9:
        err("distinct corners only %.4f apart" % closest)

    used = set()
    directed = {}
    volume = 0.0
    for fi, f in enumerate(m.faces):
        if len(f) not in (3, 4):
            err("face %d has %d corners" % (fi, len(f)))
            continue
        if any(i < 0 or i >= nv for i in f):
            err("face %d index out of range" % fi)
            continue
        used.update(f)
        p = [m.pos[i] for i in f]
        fn = cross(sub(p[1], p[0]), sub(p[2], p[0]))
        area2 = norm(fn)
        if area2 < 1e-4:
            err("face %d degenerate" % fi)
            continue
        fn = tuple(c / area2 for c in fn)
        for k in range(len(f)):           # flat and convex: every corner turns the same way
            a, b, c = p[k], p[(k + 1) % len(f)], p[(k + 2) % len(f)]
            t = cross(sub(b, a), sub(c, b))
            if dot(t, fn) <= 1e-9 or abs(dot(sub(c, p[0]), fn)) > 1e-5:
                err("face %d not a flat convex polygon" % fi)
                break
        for i in f:                        # stored normals are the face normal
            n = m.normals[i]
            if abs(norm(n) - 1.0) > 1e-4 or dot(n, fn) < 0.9999:
                err("face %d: vertex normal %r does not match face normal %r" % (fi, n, fn))
                break
            u, v = m.uvs[i]
            if not (0.0 <= u <= 1.0 and 0.0 <= v <= 1.0):
                err("face %d: texture coordinates out of 0..1" % fi)
                break
        for t in range(1, len(f) - 1):
            volume += dot(p[0], cross(p[t], p[t + 1])) / 6.0
        for k in range(len(f)):
            e = (wi[f[k]], wi[f[(k + 1) % len(f)]])
            if e in directed:
                err("edge %r run twice in the same direction (faces %d and %d)" % (e, directed[e][0], fi))
            directed[e] = (fi, fn)
    if len(used) != nv:
        err("%d vertices used by no face" % (nv - len(used)))
    concave = 0
    for (a, b), (fi, fn) in directed.items():
        other = directed.get((b, a))
        if other is None:
            err("edge %d-%d (face %d) is open" % (a, b, fi))
            continue
        # convex edge: (n0 x n1) . e > 0 with n0 the face running a -> b
        # flat edges (inside a face split into pieces) give no edge contacts and are fine
        e = sub(welded[b], welded[a])
        if dot(cross(fn, other[1]), e) < -1e-6 or dot(fn, other[1]) < -0.9999:
            concave += 1
    if volume <= 0.0:
        err("signed volume %.4f: faces wound inwards" % volume)

    # every connected piece encloses a positive volume on its own
    parent = list(range(len(welded)))

    def find(x):
        while parent[x] != x:
            parent[x] = parent[parent[x]]
            x = parent[x]
        return x
    for a, b in directed:
        parent[find(a)] = find(b)
    pieces = {}
    for f in m.faces:
        p = [m.pos[i] for i in f]
        key = find(wi[f[0]])
        pieces[key] = pieces.get(key, 0.0) + sum(
            dot(p[0], cross(p[t], p[t + 1])) / 6.0 for t in range(1, len(f) - 1))
    for key, v in pieces.items():
        if v <= 0.0:
            err("a piece has signed volume %.4f" % v)
    if concave:
        err("%d concave edges (every piece is meant to be convex)" % concave)

    lo = tuple(min(p[i] for p in m.pos) for i in range(3))
    hi = tuple(max(p[i] for p in m.pos) for i in range(3))
    return {"vertices": nv, "faces": len(m.faces), "corners": len(welded), "pieces": len(pieces),
            "lo": lo, "hi": hi, "volume": volume, "closest": closest}


def check_x(path, errors, summaries):
    with open(path, "rb") as f:
        raw = f.read()
    try:
        text = raw.decode("ascii")
    except UnicodeDecodeError:
        errors.append("%s: not ASCII" % path)
        return
    if not text.startswith("xof 0302txt 0064\n"):
        errors.append("%s: header line missing" % path)
    try:
        frames, loose = read_x(text)
    except (ValueError, IndexError) as e:
        errors.append("%s: unreadable: %s" % (path, e))
        return
    if loose or len(frames) != 1 or len(frames[0]["meshes"]) != 1 or frames[0]["children"]:
        errors.append("%s: expected one Frame holding one Mesh" % path)
        return
    ident = [1.0 if i % 5 == 0 else 0.0 for i in range(16)]
    if frames[0]["matrix"] != ident:
        errors.append("%s: frame matrix is not the identity" % path)
    s = check_mesh(path, frames[0]["meshes"][0], errors)
    if s:
        summaries[os.path.basename(path) if "/objects/" not in path else "objects/" + os.path.basename(path)] = s


def check_bmp(path, errors, info):
    with open(path, "rb") as f:
        d = f.read()
    if len(d) < 54 or d[:2] != b"BM":
        errors.append("%s: not a BMP" % path)
        return
    size, = struct.unpack_from("<I", d, 2)
    off, = struct.unpack_from("<I", d, 10)
    hs, w, h, planes, bits, comp = struct.unpack_from("<IiiHHI", d, 14)
    row = (w * bits + 31) // 32 * 4
    if hs != 40 or bits != 24 or comp != 0 or planes != 1 or off != 54:
        errors.append("%s: not an uncompressed 24-bit BMP with a 40-byte header" % path)
    if w <= 0 or h <= 0 or w & (w - 1) or h & (h - 1):
        errors.append("%s: sides %dx%d are not powers of two" % (path, w, h))
    if size != len(d) or len(d) != 54 + row * h:
        errors.append("%s: size fields do not match the file" % path)
    info[os.path.relpath(path, info["_root"])] = (w, h, bits, len(d))


# What the scenes need of the sizes (scene units; the scale each scene applies).
def check_fit(s, errors):
    def need(cond, msg):
        if not cond:
            errors.append("fit: " + msg)

    def ext(name, axis):
        return s[name]["hi"][axis] - s[name]["lo"][axis]

    if "lbox.x" in s:
        need(all(abs(ext("lbox.x", i) - 2.0) < 1e-6 for i in range(3)),
             "lbox.x must be a 2-unit cube (scaled by 5 into the 10-unit boxes of the stacks)")
        need(max(ext("lbox.x", i) for i in range(3)) * 0.4 < 1.0,
             "lbox.x at scale 0.4 must fit the 1.0 gap of the open gripper")
    if "rocka.x" in s:
        need(max(ext("rocka.x", i) for i in range(3)) * 0.4 < 1.0,
             "rocka.x at scale 0.4 must fit the open gripper")
        need(min(ext("rocka.x", i) for i in range(3)) > 1.0, "rocka.x too small to see")
    if "road.x" in s:
        r = s["road.x"]
        need(abs(r["hi"][1]) < 1e-6, "road.x top must be at y = 0 (the scenes place it at y = -10)")
        need(min(ext("road.x", 0), ext("road.x", 2)) * 5 >= 2 * 28.6 / 2 + 10,
             "road.x at scale 5 must fill the chair scene's view")
        need(min(ext("road.x", 0), ext("road.x", 2)) * 50 >= 600,
             "road.x at scale 50 must give the cars room for a couple of minutes")
        need(ext("road.x", 1) >= 0.5, "road.x must be thick enough not to be stepped through")
    if "chair.x" in s:
        c = s["chair.x"]
        need(c["lo"][1] > -10.0 + 1e-3 and c["hi"][1] < 10.0, "chair.x must start above the road")
        need(all(abs(c["lo"][i] + c["hi"][i]) < 2.5 for i in range(3)),
             "chair.x origin (its centre of mass) must lie inside it")
        if "lbox.x" in s:  # the box starts at (2, -4, 2), beside the falling chair
            need(c["hi"][0] < 2.0 + s["lbox.x"]["lo"][0] or c["hi"][2] < 2.0 + s["lbox.x"]["lo"][2],
                 "chair.x footprint must not overlap the box beside it")
    if "objects/leg.x" in s and "objects/leg3.x" in s and "objects/leg2.x" in s:
        # legs are scaled by 5: segments at 0, -10, -25 with joints at -5 and -17.5
        top1, bot1 = 5 * s["objects/leg.x"]["hi"][1], 5 * s["objects/leg.x"]["lo"][1]
        top2, bot2 = -10 + 5 * s["objects/leg3.x"]["hi"][1], -10 + 5 * s["objects/leg3.x"]["lo"][1]
        top3 = -25 + 5 * s["objects/leg2.x"]["hi"][1]
        need(bot1 > -5.0 > top2, "upper and middle leg must meet at the joint at -5 without touching")
        need(bot2 > -17.5 > top3, "middle and lower leg must meet at the joint at -17.5 without touching")
        need(top1 <= 5.0, "upper leg segment longer than the 10-unit link spacing")


def main(argv):
    root = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(HERE, "..", "data"))
    errors, summaries, bmps = [], {}, {"_root": root}
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames.sort()
        for name in sorted(filenames):
            full = os.path.join(dirpath, name)
            if name.endswith(".x"):
                check_x(full, errors, summaries)
            elif name.lower().endswith(".bmp"):
                check_bmp(full, errors, bmps)
    check_fit(summaries, errors)

    # the generator is deterministic and its output is what is in data/
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([sys.executable, os.path.join(HERE, "make_data.py"), tmp],
                       check=True, stdout=subprocess.DEVNULL)
        for dirpath, _, filenames in os.walk(tmp):
            for name in filenames:
                rel = os.path.relpath(os.path.join(dirpath, name), tmp)
                mine = os.path.join(root, rel)
                with open(os.path.join(tmp, rel), "rb") as a:
                    fresh = a.read()
                if not os.path.exists(mine):
                    errors.append("%s: missing (run tools/make_data.py)" % rel)
                    continue
                with open(mine, "rb") as b:
                    if b.read() != fresh:
                        errors.append("%s: differs from a fresh run of tools/make_data.py" % rel)

    print("%-20s %5s %5s %7s %6s  %-28s %s" % ("mesh", "verts", "faces", "corners", "pieces",
                                               "size (x y z)", "min corner gap"))
    for name in sorted(summaries):
        s = summaries[name]
        size = " ".join("%.2f" % (s["hi"][i] - s["lo"][i]) for i in range(3))
        print("%-20s %5d %5d %7d %6d  %-28s %.3f" % (name, s["vertices"], s["faces"], s["corners"],
                                                     s["pieces"], size, s["closest"]))
    for name in sorted(k for k in bmps if k != "_root"):
        w, h, bits, n = bmps[name]
        print("%-20s %dx%d, %d-bit, %d bytes" % (name, w, h, bits, n))
    if errors:
        print("\n%d fault(s):" % len(errors))
        for e in errors:
            print("  " + e)
        return 1
    print("\nall files closed, outward wound and fitting")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
