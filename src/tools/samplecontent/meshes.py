"""Meshes of the sample game as i3d "IndexedFaceSet" text: each builder
returns a Mesh of positions and faces (3 or 4 corners, each corner with a
normal and texture coordinates), written by `to_i3d`."""

import math


class Mesh:
    def __init__(self, name):
        self.name = name
        self.positions = []
        # (vertex indices, normals per corner, uvs per corner, material index)
        self.faces = []

    def vertex(self, p):
        self.positions.append(tuple(p))
        return len(self.positions) - 1

    def face(self, indices, normals, uvs, material=0):
        self.faces.append((list(indices), [tuple(n) for n in normals], [tuple(t) for t in uvs],
                           material))

    def flat_face(self, corners, uvs, material=0):
        """A planar face from positions (counter-clockwise seen from the
        front), its normal from the first three corners."""
        indices = [self.vertex(c) for c in corners]
        n = normalize(cross(sub(corners[1], corners[0]), sub(corners[2], corners[0])))
        self.face(indices, [n] * len(corners), uvs, material)

    def to_i3d(self, materials):
        def fmt(values):
            return " ".join("%.4g" % v for v in values)

        lines = ['<IndexedFaceSet name="%s">' % self.name, "  <Vertices>"]
        for p in self.positions:
            lines.append('    <v c="%s"/>' % fmt(p))
        lines.append("  </Vertices>")
        lines.append('  <Faces shaderlist="%s">' % ",".join(materials))
        for indices, normals, uvs, material in self.faces:
            lines.append('    <f vi="%s" n="%s" t0="%s"%s/>' % (
                " ".join(str(i) for i in indices), fmt(sum(normals, ())), fmt(sum(uvs, ())),
                ' ci="%d"' % material if material else ""))
        lines.append("  </Faces>")
        lines.append("</IndexedFaceSet>")
        return "\n".join(lines)


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def normalize(a):
    length = math.sqrt(a[0] ** 2 + a[1] ** 2 + a[2] ** 2) or 1.0
    return (a[0] / length, a[1] / length, a[2] / length)


QUAD_UV = [(0, 0), (1, 0), (1, 1), (0, 1)]


def box(name, size, centre=(0.0, 0.0, 0.0), material=0, mesh=None):
    """An axis-aligned box; into `mesh` when given (several boxes, one mesh)."""
    m = mesh or Mesh(name)
    hx, hy, hz = size[0] / 2, size[1] / 2, size[2] / 2
    cx, cy, cz = centre
    corners = [(cx + sx * hx, cy + sy * hy, cz + sz * hz)
               for sz in (-1, 1) for sy in (-1, 1) for sx in (-1, 1)]
    # Faces as corner numbers (x bit 0, y bit 1, z bit 2), counter-clockwise
    # seen from outside.
    for quad in ((4, 5, 7, 6), (1, 0, 2, 3), (5, 1, 3, 7), (0, 4, 6, 2), (6, 7, 3, 2),
                 (0, 1, 5, 4)):
        m.flat_face([corners[i] for i in quad], QUAD_UV, material)
    return m


def wedge(name, length, width, height):
    """A ramp rising along +z from 0 to `height` over `length`."""
    m = Mesh(name)
    hw = width / 2
    a, b = (-hw, 0, 0), (hw, 0, 0)
    c, d = (hw, 0, length), (-hw, 0, length)
    e, f = (hw, height, length), (-hw, height, length)
    m.flat_face([b, a, f, e], QUAD_UV)  # slope, facing up and towards -z
    m.flat_face([a, b, c, d], QUAD_UV)  # bottom
    m.flat_face([e, f, d, c], QUAD_UV)  # back, facing +z
    m.flat_face([e, c, b], [(1, 1), (1, 0), (0, 0)])  # side, facing +x
    m.flat_face([f, a, d], [(0, 1), (1, 0), (0, 0)])  # side, facing -x
    return m


def cylinder(name, radius, width, segments=20, axis="x"):
    """A wheel: a cylinder around the x axis, centred on the origin."""
    m = Mesh(name)
    hw = width / 2

    def point(x, angle, r):
        return (x, r * math.cos(angle), r * math.sin(angle))

    for i in range(segments):
        a0 = 2 * math.pi * i / segments
        a1 = 2 * math.pi * (i + 1) / segments
        quad = [point(-hw, a0, radius), point(-hw, a1, radius), point(hw, a1, radius),
                point(hw, a0, radius)]
        indices = [m.vertex(p) for p in quad]
        n0 = (0, math.cos(a0), math.sin(a0))
        n1 = (0, math.cos(a1), math.sin(a1))
        u0, u1 = i / segments, (i + 1) / segments
        m.face(indices[::-1], [n0, n1, n1, n0][::-1], [(u0, 0), (u1, 0), (u1, 1), (u0, 1)][::-1])
        for x, sign in ((-hw, -1), (hw, 1)):
            tri = [(x, 0, 0), point(x, a0, radius), point(x, a1, radius)]
            if sign < 0:
                tri = [tri[0], tri[2], tri[1]]
            uv = [(0.5 + 0.5 * p[1] / radius, 0.5 + 0.5 * p[2] / radius) for p in tri]
            m.face([m.vertex(p) for p in tri], [(sign, 0, 0)] * 3, uv)
    return m


def rock(name, radius, seed, rings=6, segments=10):
    """A lumpy sphere, squashed a little; smooth normals from the lumps."""
    from content import Random
    rng = Random(seed)
    bumps = [[1.0 + 0.25 * (rng.uniform() - 0.5) for _ in range(segments)]
             for _ in range(rings + 1)]
    for j in range(segments):  # the poles are single points
        bumps[0][j] = bumps[0][0]
        bumps[rings][j] = bumps[rings][0]

    def at(i, j):
        theta = math.pi * i / rings
        phi = 2 * math.pi * (j % segments) / segments
        r = radius * bumps[i][j % segments]
        d = (math.sin(theta) * math.cos(phi), math.cos(theta), math.sin(theta) * math.sin(phi))
        return (r * d[0], 0.7 * r * d[1], r * d[2]), d

    m = Mesh(name)
    for i in range(rings):
        for j in range(segments):
            quad = [at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)]
            if i == 0:
                quad = quad[1:]
            elif i == rings - 1:
                quad = quad[:3]
            # Counter-clockwise from outside.
            quad = quad[::-1]
            m.face([m.vertex(p) for p, _ in quad], [normalize(n) for _, n in quad],
                   [(0.5 + 0.5 * n[0], 0.5 + 0.5 * n[2]) for _, n in quad])
    return m


def dome(name, radius, rings=8, segments=24):
    """A sky dome seen from inside: the upper half of a sphere with normals
    pointing in; v runs from the horizon (0) to the zenith (1)."""
    m = Mesh(name)

    def at(i, j):
        theta = 0.5 * math.pi * i / rings
        phi = 2 * math.pi * (j % segments) / segments
        d = (math.cos(theta) * math.cos(phi), math.sin(theta), math.cos(theta) * math.sin(phi))
        return (radius * d[0], radius * d[1] - 0.1 * radius, radius * d[2]), d, i / rings

    for i in range(rings):
        for j in range(segments):
            # Counter-clockwise seen from inside.
            quad = [at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)]
            if i == rings - 1:
                quad = [quad[0], quad[1], quad[2]]
            m.face([m.vertex(p) for p, _, _ in quad], [(-n[0], -n[1], -n[2]) for _, n, _ in quad],
                   [(j / segments, v) for _, _, v in quad])
    return m
