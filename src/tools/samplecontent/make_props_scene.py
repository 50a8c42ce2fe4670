#!/usr/bin/env python3
"""Makes the prop kinds of the sample's crowded scene (committed; building
needs no tools).

  data/scenes/props.i3d   one shape of each prop kind under an invisible
      group "propKinds": three rocks, a fence post, a crate, a fir (trunk
      and needle cone) and a broadleaf tree (trunk and leaf crown), in six
      materials; each tree an LOD group whose far child is its crown alone. The sample script scatters copies of them over the terrain
      when SAMPLE_PROPS asks for a number of props (tools/bench-sample's
      second scene), so the file stays small.

Uses the textures make_props.py and make_terrain.py wrote. Standard library
only. Run from the repository root:
src/tools/samplecontent/make_props_scene.py
"""

import math
import os

import meshes

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))


def cone(name, radius, height, base, segments=10, mesh=None, material=0):
    """A cone around the y axis from y = base to base + height, open at the
    bottom; smooth normals."""
    m = mesh or meshes.Mesh(name)
    slope = radius / height
    for i in range(segments):
        a0 = 2 * math.pi * i / segments
        a1 = 2 * math.pi * (i + 1) / segments
        am = 0.5 * (a0 + a1)

        def normal(a):
            return meshes.normalize((math.cos(a), slope, math.sin(a)))

        tip = (0.0, base + height, 0.0)
        p0 = (radius * math.cos(a0), base, radius * math.sin(a0))
        p1 = (radius * math.cos(a1), base, radius * math.sin(a1))
        # Counter-clockwise seen from outside.
        m.face([m.vertex(tip), m.vertex(p1), m.vertex(p0)], [normal(am), normal(a1), normal(a0)],
               [(0.5, 1.0), ((i + 1) / segments, 0.0), (i / segments, 0.0)], material)
    return m


def tree(name, conifer):
    """A trunk (material 0) and a crown (material 1) in one mesh."""
    m = meshes.box(name, (0.35, 2.4, 0.35), centre=(0.0, 1.2, 0.0))
    if conifer:
        cone(name, 1.6, 3.2, 1.4, mesh=m, material=1)
        cone(name, 1.1, 2.4, 3.2, mesh=m, material=1)
    else:
        crown(m, name, 4, 7, 1)
    return m


def crown(m, name, rings, segments, material):
    """A broadleaf crown (a lumpy sphere) 3.6 units up, into mesh `m`."""
    lump = meshes.rock(name + "Crown", 1.8, 97, rings=rings, segments=segments)
    for indices, normals, uvs, _ in lump.faces:
        moved = [m.vertex((lump.positions[i][0], lump.positions[i][1] + 3.6,
                           lump.positions[i][2])) for i in indices]
        m.face(moved, normals, uvs, material)
    return m


def far_tree(name, conifer):
    """The tree seen from afar: its crown alone, in few triangles (material
    0 the needles or leaves)."""
    if conifer:
        return cone(name, 1.6, 4.2, 1.4, segments=6)
    return crown(meshes.Mesh(name), name, 3, 5, 0)


def main():
    rocks = [meshes.rock("propRock%d" % i, 0.8, 131 + i, rings=4, segments=7) for i in range(3)]
    post = meshes.box("propPost", (0.18, 1.4, 0.18), centre=(0.0, 0.7, 0.0))
    crate = meshes.box("propCrate", (0.9, 0.9, 0.9), centre=(0.0, 0.45, 0.0))
    fir = tree("propFir", True)
    broadleaf = tree("propBroadleaf", False)
    far_fir = far_tree("propFirFar", True)
    far_broadleaf = far_tree("propBroadleafFar", False)
    shapes = [r.to_i3d(["propRock"]) for r in rocks] + [
        post.to_i3d(["propWood"]), crate.to_i3d(["propCrate"]),
        fir.to_i3d(["propBark", "propNeedles"]), broadleaf.to_i3d(["propBark", "propLeaves"]),
        far_fir.to_i3d(["propNeedles"]), far_broadleaf.to_i3d(["propLeaves"]),
    ]
    files = {"rockTex": "../textures/rock.png", "woodTex": "../textures/wood.png"}
    materials = [
        '<Material name="propRock"><Texture file="rockTex"/></Material>',
        '<Material name="propWood"><Texture file="woodTex"/></Material>',
        '<Material name="propCrate" ambientColor="0.9 0.8 0.6" diffuseColor="0.9 0.8 0.6 1">'
        '<Texture file="woodTex"/></Material>',
        '<Material name="propBark" ambientColor="0.45 0.35 0.3" diffuseColor="0.45 0.35 0.3 1">'
        '<Texture file="woodTex"/></Material>',
        '<Material name="propNeedles" ambientColor="0.12 0.3 0.14" '
        'diffuseColor="0.12 0.3 0.14 1"/>',
        '<Material name="propLeaves" ambientColor="0.3 0.5 0.16" diffuseColor="0.3 0.5 0.16 1" '
        'specularColor="0.1 0.1 0.1" cosPower="12"/>',
    ]
    # Small props vanish beyond 60 units and throw no shadow, trees vanish
    # beyond 160 (the fog thickens from 90 on); all receive the sun's shadow.
    # Trees are LOD groups: the whole tree within 45 units, its crown in few
    # triangles beyond.
    kinds = [("rock%d" % i, ["propRock%d" % i], 60, False) for i in range(3)] + [
        ("post", ["propPost"], 60, False), ("crate", ["propCrate"], 60, False),
        ("fir", ["propFir", "propFirFar"], 160, True),
        ("broadleaf", ["propBroadleaf", "propBroadleafFar"], 160, True)]
    nodes = ['<TransformGroup name="propKinds" visibility="false">']

    def shape(name, ref, clip, casts, indent):
        return ('%s<Shape name="%s" ref="%s" clipDistance="%d" castsShadows="%s" '
                'receiveShadows="true"/>' % (indent, name, ref, clip, "true" if casts else "false"))

    for name, refs, clip, casts in kinds:
        if len(refs) == 1:
            nodes.append(shape(name, refs[0], clip, casts, "  "))
            continue
        nodes.append('  <TransformGroup name="%s" lodDistance="0 45">' % name)
        for level, ref in zip(("Near", "Far"), refs):
            nodes.append(shape(name + level, ref, clip, casts, "    "))
        nodes.append("  </TransformGroup>")
    nodes.append("</TransformGroup>")

    out = ['<?xml version="1.0" encoding="iso-8859-1"?>',
           "<!-- Written by src/tools/samplecontent/make_props_scene.py; do not edit. -->",
           '<i3D name="props" version="1.5">', "<Files>"]
    out += ['  <File name="%s" filename="%s"/>' % item for item in sorted(files.items())]
    out += ["</Files>", "<Materials>"] + ["  " + m for m in materials] + ["</Materials>"]
    out += ["<Shapes>"] + shapes + ["</Shapes>", "<Scene>"] + nodes + ["</Scene>", "</i3D>", ""]
    with open(os.path.join(ROOT, "data/scenes/props.i3d"), "w") as f:
        f.write("\n".join(out))


if __name__ == "__main__":
    main()
