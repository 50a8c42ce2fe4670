#!/usr/bin/env python3
"""Makes the sample game's scene (committed; building needs no tools).

  data/scenes/sample.i3d   the world: the terrain over data/terrain/height.png
      with two detail layers (grass; dirt with the track and the slopes), grass
      painted by a foliage density map, static (a height field in the
      physics world), rocks, a hut, a
      ramp, a four-wheeled vehicle, a lamp, the sun, a sky dome, rain and
      birds.
  data/terrain/weight_grass.png, weight_dirt.png   256 x 256 weights of the
      detail layers.
  data/terrain/grass_density.png   512 x 512 density map of the grass.
  data/textures/drop.png   a rain streak.

Run make_terrain.py and make_props.py first (they write the heightmap and
the textures this scene refers to). Standard library only. Run from the
repository root: src/tools/samplecontent/make_scene.py
"""

import math
import os
import struct
import zlib

from content import Random, fractal, octaves, write_png
import meshes

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))

# The terrain: one world unit per heightmap pixel, centred on the origin;
# a height sample of 65535 is HEIGHT_SCALE units high.
HEIGHT_SCALE = 48.0
UNITS_PER_PIXEL = 1.0
WEIGHT_SIZE = 256
DENSITY_SIZE = 512

# The track the scripted drive follows: a circle through the start that
# bends toward +x, the way a positive steering angle turns the vehicle.
TRACK_CENTRE = (34.0, 0.0)
TRACK_RADIUS = 34.0
TRACK_HALF_WIDTH = 3.0

# Objects: (x, z) in world units.
HUT = (-18.0, 26.0)
RAMP = (14.0, -20.0)
LAMP = (-10.0, 20.0)
ROCKS = [(-26.0, -8.0, 2.2), (22.0, 42.0, 1.6), (-8.0, -30.0, 1.8), (40.0, -12.0, 2.6),
         (-34.0, 30.0, 1.4), (6.0, 56.0, 2.0), (60.0, 20.0, 2.4)]
VEHICLE = (0.0, 0.0)


def read_png_grey16(path):
    """The heights of a 16-bit grey PNG as rows of ints (every filter)."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at = 8
    idat = b""
    width = height = 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, bits, colour = struct.unpack(">IIBB", body[:10])
            assert bits == 16 and colour == 0
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 2
    rows = []
    previous = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 2] if i >= 2 else 0
            b = previous[i]
            c = previous[i - 2] if i >= 2 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([line[2 * x] << 8 | line[2 * x + 1] for x in range(width)])
        previous = line
    return rows


class Heights:
    """World heights of the terrain: pixel (col, row) lies at
    x = (col - half) * units, z = (row - half) * units."""

    def __init__(self, rows):
        self.rows = rows
        self.size = len(rows)
        self.half = (self.size - 1) / 2.0

    def grid(self, col, row):
        col = min(max(col, 0), self.size - 1)
        row = min(max(row, 0), self.size - 1)
        return self.rows[row][col] * HEIGHT_SCALE / 65535.0

    def at(self, x, z):
        px = x / UNITS_PER_PIXEL + self.half
        pz = z / UNITS_PER_PIXEL + self.half
        col, row = int(math.floor(px)), int(math.floor(pz))
        fx, fz = px - col, pz - row
        h00, h10 = self.grid(col, row), self.grid(col + 1, row)
        h01, h11 = self.grid(col, row + 1), self.grid(col + 1, row + 1)
        top = h00 + (h10 - h00) * fx
        bottom = h01 + (h11 - h01) * fx
        return top + (bottom - top) * fz

    def slope(self, x, z):
        """Rise per unit of the steepest direction."""
        d = UNITS_PER_PIXEL
        gx = (self.at(x + d, z) - self.at(x - d, z)) / (2 * d)
        gz = (self.at(x, z + d) - self.at(x, z - d)) / (2 * d)
        return math.hypot(gx, gz)


def map_to_world(x, y, size, heights):
    """Centre of pixel (x, y) of a map of `size` pixels covering the terrain."""
    extent = (heights.size - 1) * UNITS_PER_PIXEL
    return ((x + 0.5) / size - 0.5) * extent, ((y + 0.5) / size - 0.5) * extent


def track_distance(x, z):
    return abs(math.hypot(x - TRACK_CENTRE[0], z - TRACK_CENTRE[1]) - TRACK_RADIUS)


def near_object(x, z, margin):
    objects = [(HUT[0], HUT[1], 5.0), (RAMP[0], RAMP[1] + 4, 6.0), (LAMP[0], LAMP[1], 1.0),
               (VEHICLE[0], VEHICLE[1], 4.0)] + [(rx, rz, r) for rx, rz, r in ROCKS]
    return any(math.hypot(x - ox, z - oz) < r + margin for ox, oz, r in objects)


def grey_png(name, size, value_at):
    rows = [bytes(max(0, min(255, int(value_at(x, y)))) for x in range(size))
            for y in range(size)]
    write_png(os.path.join(ROOT, "data/terrain", name), size, size, 1, rows)


def maps(heights):
    """Weights of the grass and dirt layers (they need not sum to one: the
    terrain normalises them; the dirt holds the track and the steep ground)
    and the grass density."""
    patches = octaves(4, 4, seed=53)
    cache = {}

    def sample(x, y):
        key = (x, y)
        if key not in cache:
            wx, wz = map_to_world(x, y, WEIGHT_SIZE, heights)
            slope = heights.slope(wx, wz)
            rock = min(max((slope - 0.35) / 0.25, 0.0), 1.0)
            n = fractal(patches, x / WEIGHT_SIZE * 4.0, y / WEIGHT_SIZE * 4.0)
            dirt = min(max((n - 0.15) / 0.2, 0.0), 1.0)
            # The track: dirt with soft edges.
            edge = track_distance(wx, wz) - TRACK_HALF_WIDTH
            dirt = max(dirt, min(max(1.0 - edge / 1.5, 0.0), 1.0)) * (1.0 - rock)
            cache[key] = (rock, dirt)
        return cache[key]

    # Two layers keep the terrain's pixel work low enough for software
    # rendering (each layer is two more texture reads per pixel): steep
    # ground shows the dirt layer rather than a rock layer of its own.
    grey_png("weight_dirt.png", WEIGHT_SIZE,
             lambda x, y: 255 * max(sample(x, y)[0], sample(x, y)[1]))
    grey_png("weight_grass.png", WEIGHT_SIZE,
             lambda x, y: 255 * max(0.0, 1.0 - sample(x, y)[0] - sample(x, y)[1]))

    rng = Random(61)

    def grass(x, y):
        wx, wz = map_to_world(x, y, DENSITY_SIZE, heights)
        # Only near the middle: the foliage is drawn a short way around the
        # camera, and the drive stays on the meadow.
        if math.hypot(wx, wz) > 110 or heights.slope(wx, wz) > 0.3:
            return 0
        if track_distance(wx, wz) < TRACK_HALF_WIDTH + 1.0 or near_object(wx, wz, 1.0):
            return 0
        return 255 if rng.uniform() < 0.55 else 0

    grey_png("grass_density.png", DENSITY_SIZE, grass)


def drop_texture():
    """8 x 32 RGBA: a pale streak, transparent at the sides and the ends."""
    rows = []
    for y in range(32):
        row = bytearray()
        for x in range(8):
            across = 1.0 - abs(x - 3.5) / 4.0
            along = math.sin(math.pi * (y + 0.5) / 32)
            row.extend((200, 210, 225, int(255 * across * along * 0.8)))
        rows.append(bytes(row))
    write_png(os.path.join(ROOT, "data/textures/drop.png"), 8, 32, 4, rows)


def hut_mesh():
    """Walls (wood) and a gabled roof (wood, darker by its faces' light)."""
    m = meshes.Mesh("hut")
    w, d, h = 5.0, 4.0, 2.6
    for centre, size in (((0, h / 2, -d / 2), (w, h, 0.2)), ((-w / 2, h / 2, 0), (0.2, h, d)),
                         ((w / 2, h / 2, 0), (0.2, h, d))):
        meshes.box("wall", size, centre, mesh=m)
    # The front wall with a door: two pieces and a lintel.
    meshes.box("front", (1.8, h, 0.2), (-1.6, h / 2, d / 2), mesh=m)
    meshes.box("front", (1.8, h, 0.2), (1.6, h / 2, d / 2), mesh=m)
    meshes.box("lintel", (1.4, 0.6, 0.2), (0, h - 0.3, d / 2), mesh=m)
    ridge = h + 1.6
    eave = 0.4
    hw, hd = w / 2 + eave, d / 2 + eave
    uv = meshes.QUAD_UV
    m.flat_face([(-hw, h - 0.2, hd), (hw, h - 0.2, hd), (hw, ridge, 0), (-hw, ridge, 0)], uv)
    m.flat_face([(hw, h - 0.2, -hd), (-hw, h - 0.2, -hd), (-hw, ridge, 0), (hw, ridge, 0)], uv)
    m.flat_face([(-w / 2, h, d / 2), (-w / 2, ridge - 0.2, 0), (-w / 2, h, -d / 2)],
                [(0, 0), (0.5, 1), (1, 0)])
    m.flat_face([(w / 2, h, -d / 2), (w / 2, ridge - 0.2, 0), (w / 2, h, d / 2)],
                [(0, 0), (0.5, 1), (1, 0)])
    return m


def vehicle_meshes():
    body = meshes.Mesh("carBody")
    meshes.box("chassis", (1.8, 0.6, 4.0), (0, 0, 0), mesh=body)
    cabin = meshes.Mesh("carCabin")
    meshes.box("cabin", (1.6, 0.6, 1.9), (0, 0, 0), mesh=cabin)
    wheel = meshes.cylinder("wheel", 0.4, 0.3, segments=14)
    return body, cabin, wheel


def walker_mesh():
    """A figure 1.7 units tall around its centre, the controller's capsule:
    legs, a coat and a head."""
    m = meshes.Mesh("walker")
    meshes.box("legs", (0.42, 0.75, 0.25), (0, -0.47, 0), mesh=m)
    meshes.box("coat", (0.5, 0.75, 0.32), (0, 0.28, 0), material=1, mesh=m)
    meshes.box("head", (0.26, 0.26, 0.26), (0, 0.75, 0), material=1, mesh=m)
    return m


def lamp_meshes():
    post = meshes.box("lampPost", (0.16, 3.2, 0.16), (0, 1.6, 0))
    head = meshes.box("lampHead", (0.5, 0.35, 0.5), (0, 3.35, 0))
    return post, head


def ground_y(heights, x, z, radius=0.0):
    """Lowest height around (x, z): an object set there sits in the ground
    rather than floating over a slope."""
    points = [(x, z)] + [(x + radius * math.cos(a), z + radius * math.sin(a))
                         for a in (0, 1.57, 3.14, 4.71)]
    return min(heights.at(px, pz) for px, pz in points)


def scene(heights):
    body, cabin, wheel = vehicle_meshes()
    post, head = lamp_meshes()
    ramp = meshes.wedge("ramp", 8.0, 4.0, 1.2)
    sky = meshes.dome("skyDome", 420.0, rings=6, segments=16)
    rock_meshes = [meshes.rock("rock%d" % i, 1.0, 71 + i) for i in range(3)]

    shapes = [
        body.to_i3d(["paint"]), cabin.to_i3d(["glass"]), wheel.to_i3d(["tyre"]),
        hut_mesh().to_i3d(["wood"]), ramp.to_i3d(["wood"]), post.to_i3d(["wood"]),
        head.to_i3d(["lampGlass"]), sky.to_i3d(["sky"]),
        walker_mesh().to_i3d(["glass", "paint"]),
    ] + [r.to_i3d(["rock"]) for r in rock_meshes]

    vx, vz = VEHICLE
    vy = heights.at(vx, vz) + 1.0
    hx, hz = HUT
    rx, rz = RAMP
    lx, lz = LAMP
    nodes = []
    nodes.append('<Shape name="hut" ref="hut" translation="%.2f %.2f %.2f" rotation="0 20 0" '
                 'static="true" castsShadows="true" receiveShadows="true"/>'
                 % (hx, ground_y(heights, hx, hz, 3.0), hz))
    nodes.append('<Shape name="ramp" ref="ramp" translation="%.2f %.2f %.2f" rotation="0 -15 0" '
                 'static="true" castsShadows="true" receiveShadows="true"/>'
                 % (rx, ground_y(heights, rx, rz, 4.0), rz))
    for i, (x, z, size) in enumerate(ROCKS):
        nodes.append('<Shape name="rock%d" ref="rock%d" translation="%.2f %.2f %.2f" '
                     'rotation="0 %d 0" scale="%.2f %.2f %.2f" static="true" castsShadows="true" '
                     'receiveShadows="true"/>'
                     % (i, i % 3, x, heights.at(x, z) + 0.2 * size, z, 37 * i, size, size, size))
    nodes.append('<TransformGroup name="lamp" translation="%.2f %.2f %.2f">\n'
                 '  <Shape name="lampPost" ref="lampPost" static="true" castsShadows="true"/>\n'
                 '  <Shape name="lampHead" ref="lampHead"/>\n'
                 '  <Light name="lampLight" type="point" translation="0 3.0 0" '
                 'diffuseColor="1.0 0.8 0.5" specularColor="0.5 0.4 0.3" range="14" '
                 'decayRate="1"/>\n'
                 '</TransformGroup>' % (lx, ground_y(heights, lx, lz, 0.2), lz))
    nodes.append('<AudioSource name="birds" file="birds" translation="%.2f %.2f %.2f" '
                 'range="45" innerRange="12" volume="0.8" loops="0"/>'
                 % (hx, ground_y(heights, hx, hz) + 4.0, hz))
    # The body's y axis is up and it rolls along +z. The drawn wheels are
    # not part of the body (its children would add their hulls to it): they
    # hang below a group the script puts on the body every frame, at the
    # wheel shapes' positions.
    nodes.append('<Shape name="vehicle" ref="carBody" translation="%.2f %.2f %.2f" '
                 'dynamic="true" density="180" castsShadows="true" receiveShadows="true">\n'
                 '  <Shape name="cabin" ref="carCabin" translation="0 0.6 -0.3" '
                 'castsShadows="true"/>\n</Shape>' % (vx, vy, vz))
    wheel_nodes = "\n".join(
        '  <Shape name="wheel%d" ref="wheel" translation="%.2f -0.55 %.2f" castsShadows="true"/>'
        % (i, x, z) for i, (x, z) in enumerate(((-0.95, 1.4), (0.95, 1.4), (-0.95, -1.4),
                                               (0.95, -1.4))))
    nodes.append('<TransformGroup name="vehicleWheels" translation="%.2f %.2f %.2f">\n%s\n'
                 '</TransformGroup>' % (vx, vy, vz, wheel_nodes))
    nodes.append('<Light name="sun" type="directional" rotation="-55 35 0" '
                 'diffuseColor="0.95 0.9 0.8" specularColor="0.4 0.4 0.4" castShadowMap="true" '
                 'depthMapResolution="1024" shadowFarDistance="60"/>')
    nodes.append('<Shape name="sky" ref="skyDome"/>')
    nodes.append('<Shape name="rain" ref="rain"/>')
    nodes.append('<TransformGroup name="cameraRig" translation="%.2f %.2f %.2f">\n'
                 '  <Camera name="camera" fov="60" nearClip="0.3" farClip="450"/>\n'
                 '</TransformGroup>' % (vx, vy + 3.0, vz - 8.0))
    nodes.append('<TransformGroup name="walker" translation="%.2f %.2f %.2f" visibility="false">\n'
                 '  <Shape name="walkerBody" ref="walker" castsShadows="true"/>\n'
                 '</TransformGroup>' % (vx + 3.0, vy + 1.0, vz))

    files = {
        "heightMap": "../terrain/height.png",
        "grassTex": "../textures/grass.png", "dirtTex": "../textures/dirt.png",
        "rockTex": "../textures/rock.png", "grassAtlas": "../textures/grass_atlas.png",
        "weightGrass": "../terrain/weight_grass.png", "weightDirt": "../terrain/weight_dirt.png",
        "grassDensity": "../terrain/grass_density.png",
        "paintTex": "../textures/paint.png", "glassTex": "../textures/glass.png",
        "tyreTex": "../textures/tyre.png", "woodTex": "../textures/wood.png",
        "skyTex": "../textures/sky.png", "lampTex": "../textures/lamp.png",
        "dropTex": "../textures/drop.png", "birds": "../sounds/birds.wav",
    }
    materials = [
        '<Material name="ground"/>',
        '<Material name="paint" specularColor="0.5 0.5 0.5" cosPower="30">'
        '<Texture file="paintTex"/></Material>',
        '<Material name="glass" specularColor="0.8 0.8 0.8" cosPower="60">'
        '<Texture file="glassTex"/></Material>',
        '<Material name="tyre"><Texture file="tyreTex"/></Material>',
        '<Material name="wood"><Texture file="woodTex"/></Material>',
        '<Material name="rock"><Texture file="rockTex"/></Material>',
        '<Material name="lampGlass" emissiveCoeff="1"><Texture file="lampTex"/>'
        '<Emissivemap file="lampTex"/></Material>',
        '<Material name="sky" allowFog="false" emissiveCoeff="1"><Emissivemap file="skyTex"/>'
        '</Material>',
        '<Material name="grassBlades" alphaTest="0.5"><Texture file="grassAtlas"/>'
        '</Material>',
        '<Material name="drops" alphaBlending="true"><Texture file="dropTex"/></Material>',
    ]
    terrain = (
        '<TerrainTransformGroup name="terrain" heightMap="heightMap" patchSize="65" static="true" '
        'heightScale="%g" unitsPerPixel="%g" maxLODDistance="70" lodTextureSize="256" '
        'lodBlendStart="90" lodBlendEnd="120">\n'
        '  <Layers>\n'
        '    <Layer detailMap="grassTex" unitSize="6" weightMap="weightGrass" '
        'distanceColor="0.3 0.45 0.2"/>\n'
        '    <Layer detailMap="dirtTex" unitSize="5" weightMap="weightDirt" '
        'distanceColor="0.45 0.36 0.25"/>\n'
        '    <FoliageLayer name="grass" densityMap="grassDensity" material="grassBlades" '
        'cellSize="16" numBlocksPerUnit="1" atlasSize="4" width="0.9" height="0.7" '
        'heightVariance="0.3" horizontalPositionVariance="0.8" viewDistance="18"/>\n'
        '  </Layers>\n'
        '</TerrainTransformGroup>' % (HEIGHT_SCALE, UNITS_PER_PIXEL))

    out = ['<?xml version="1.0" encoding="iso-8859-1"?>',
           "<!-- Written by src/tools/samplecontent/make_scene.py; do not edit. -->",
           '<i3D name="sample" version="1.5">', "<Files>"]
    out += ['  <File name="%s" filename="%s"/>' % item for item in sorted(files.items())]
    out += ["</Files>", "<Materials>"] + ["  " + m for m in materials] + ["</Materials>"]
    out += ["<Shapes>"] + shapes
    out.append('<Precipitation name="rain" dropMaterial="drops" maxNumDrops="2000" '
               'boundsWidth="36" boundsHeight="22" dropWidth="0.03" dropHeight="0.7" '
               'dropMinVelocity="0.018" dropMaxVelocity="0.024"/>')
    out += ["</Shapes>", "<Scene>", terrain] + nodes + ["</Scene>", "</i3D>", ""]
    with open(os.path.join(ROOT, "data/scenes/sample.i3d"), "w") as f:
        f.write("\n".join(out))


def main():
    os.makedirs(os.path.join(ROOT, "data/scenes"), exist_ok=True)
    heights = Heights(read_png_grey16(os.path.join(ROOT, "data/terrain/height.png")))
    maps(heights)
    drop_texture()
    scene(heights)


if __name__ == "__main__":
    main()
