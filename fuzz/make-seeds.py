#!/usr/bin/env python3
"""Writes the small seed inputs of every harness into NAME/seeds/.

Each seed is a well-formed file of the kind the harness reads, a few
kilobytes at most, so the fuzzer starts from inputs that reach deep into the
parser. The real image files (PNG, JPEG, GIF, BMP, TGA, PNM) are written by
Pillow (Debian: python3-pil), the rest by hand. Run again after changing it;
the seeds are committed.
"""

import io
import os
import struct
import sys
import zipfile
import zlib

try:
    from PIL import Image, ImageDraw
except ImportError:
    sys.exit("make-seeds.py: needs Pillow (apt-get install python3-pil; run /usr/bin/python3)")

ROOT = os.path.dirname(os.path.abspath(__file__))


def write(harness, name, data):
    folder = os.path.join(ROOT, harness, "seeds")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def pattern(n, seed=7):
    out = bytearray()
    state = seed
    for _ in range(n):
        state = (state * 214013 + 2531011) & 0xFFFFFFFF
        out.append((state >> 16) & 0xFF)
    return bytes(out)


# --- XML ----------------------------------------------------------------------

def xml_seeds():
    write("xml", "game.xml", """<?xml version="1.0" encoding="utf-8" standalone="no" ?>
<game>
    <graphic>
        <display width="800" height="600" fullscreen="false"/>
    </graphic>
    <logging>
        <file enable="true" filename="log.txt"/>
        <stderr enable="false"/>
    </logging>
    <!-- a comment -->
    <text><![CDATA[raw <text> & more]]></text>
    <entity name="&lt;&amp;&#65;&#x42;"/>
</game>
""")
    write("xml", "utf8_bom.xml", b"\xef\xbb\xbf<game><name value=\"\xc3\xa4\xe2\x82\xac\"/></game>")
    write("xml", "declaration_only.xml", "<?xml version=\"1.0\"?><!DOCTYPE game><game/>")


# --- ZIP ----------------------------------------------------------------------

CRC_TABLE = [0] * 256
for i in range(256):
    c = i
    for _ in range(8):
        c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
    CRC_TABLE[i] = c


class ZipCrypto:
    """The traditional ZIP password scheme, to write encrypted entries."""

    def __init__(self, password):
        self.keys = [0x12345678, 0x23456789, 0x34567890]
        for b in password:
            self.update(b)

    def update(self, b):
        k0, k1, k2 = self.keys
        k0 = (k0 >> 8) ^ CRC_TABLE[(k0 ^ b) & 0xFF]
        k1 = (k1 + (k0 & 0xFF)) & 0xFFFFFFFF
        k1 = (k1 * 134775813 + 1) & 0xFFFFFFFF
        k2 = (k2 >> 8) ^ CRC_TABLE[(k2 ^ (k1 >> 24)) & 0xFF]
        self.keys = [k0, k1, k2]

    def encrypt(self, data):
        out = bytearray()
        for b in data:
            t = (self.keys[2] | 2) & 0xFFFF
            out.append(b ^ (((t * (t ^ 1)) >> 8) & 0xFF))
            self.update(b)
        return bytes(out)


def encrypted_zip(entries, password):
    """A ZIP archive of stored or deflated entries, each encrypted."""
    body = bytearray()
    central = bytearray()
    for name, data, deflate in entries:
        crc = zlib.crc32(data) & 0xFFFFFFFF
        if deflate:
            c = zlib.compressobj(9, zlib.DEFLATED, -15)
            payload = c.compress(data) + c.flush()
            method = 8
        else:
            payload, method = data, 0
        crypto = ZipCrypto(password)
        header = pattern(11, len(body)) + bytes([crc >> 24])
        payload = crypto.encrypt(header + payload)
        name_bytes = name.encode()
        local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 1, method, 0, 0x21, crc,
                            len(payload), len(data), len(name_bytes), 0)
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 1, method, 0, 0x21,
                               crc, len(payload), len(data), len(name_bytes), 0, 0, 0, 0, 0,
                               len(body)) + name_bytes
        body += local + name_bytes + payload
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                      len(body), 0)
    return bytes(body + central + end)


def zip_seeds():
    text = b"return { value = 42 }\n" * 4
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        z.writestr(zipfile.ZipInfo("scripts/"), b"")
        z.writestr("scripts/main.lua", text, compress_type=zipfile.ZIP_DEFLATED)
        z.writestr("textures/Logo.TXT", b"stored entry", compress_type=zipfile.ZIP_STORED)
        z.writestr("empty.bin", b"", compress_type=zipfile.ZIP_STORED)
    write("zip", "plain.zip", buffer.getvalue())
    write("zip", "encrypted.zip",
          encrypted_zip([("a.txt", b"secret text\n" * 3, False), ("b/c.txt", text, True)],
                        b"Qm7TzR2xLp9VfK4d"))
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        z.writestr("a.txt", b"one")
        z.writestr("A.txt", b"two")
        z.comment = b"archive comment"
    write("zip", "case_duplicates_comment.zip", buffer.getvalue())


# --- DDS ----------------------------------------------------------------------

def dds(width, height, mips, fourcc=b"", bits=0, masks=(0, 0, 0, 0), pf_flags=0, cube=False,
        data=b""):
    flags = 0x1 | 0x2 | 0x4 | 0x1000 | (0x20000 if mips > 1 else 0)
    pixel_format = struct.pack("<II4sIIIII", 32, pf_flags | (0x4 if fourcc else 0),
                               fourcc.ljust(4, b"\0"), bits, *masks)
    caps2 = 0xFE00 if cube else 0
    header = struct.pack("<IIIIIII", 124, flags, height, width, 0, 0, mips) + b"\0" * 44
    header += pixel_format + struct.pack("<IIII", 0x1000 | (0x400008 if mips > 1 else 0), caps2,
                                         0, 0) + b"\0" * 4
    return b"DDS " + header + data


def dxt_size(width, height, mips, block):
    total = 0
    for _ in range(mips):
        total += max(1, (width + 3) // 4) * max(1, (height + 3) // 4) * block
        width, height = max(1, width // 2), max(1, height // 2)
    return total


def dds_seeds():
    write("dds", "dxt1_mips.dds", dds(8, 8, 4, b"DXT1", data=pattern(dxt_size(8, 8, 4, 8))))
    write("dds", "dxt3.dds", dds(4, 4, 1, b"DXT3", data=pattern(16)))
    write("dds", "dxt5_6x10_mips.dds",
          dds(6, 10, 4, b"DXT5", data=pattern(dxt_size(6, 10, 4, 16))))
    write("dds", "dxt1_cube.dds", dds(4, 4, 1, b"DXT1", cube=True, data=pattern(6 * 8)))
    write("dds", "bgra.dds", dds(3, 2, 2, bits=32, pf_flags=0x41,
                                 masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                                 data=pattern(4 * (6 + 1))))
    write("dds", "rgb24.dds", dds(2, 2, 1, bits=24, pf_flags=0x40,
                                  masks=(0xFF, 0xFF00, 0xFF0000, 0), data=pattern(12)))


# --- Images -------------------------------------------------------------------

def png(width, height, color_type, bit_depth, rows, extra=b""):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bit_depth, color_type, 0, 0,
                                       0)) +
            extra + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(
        ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def jpeg_gray(width, height):
    """A baseline grey JPEG whose blocks are all mid-grey: one-code Huffman
    tables, every block coded as DC difference 0 and end of block."""
    out = b"\xff\xd8"
    out += b"\xff\xdb" + struct.pack(">HB", 67, 0) + bytes([1] * 64)
    out += b"\xff\xc0" + struct.pack(">HBHHB", 11, 8, height, width, 1) + bytes([1, 0x11, 0])
    counts = bytes([1] + [0] * 15)
    out += b"\xff\xc4" + struct.pack(">HB", 20, 0x00) + counts + b"\x00"
    out += b"\xff\xc4" + struct.pack(">HB", 20, 0x10) + counts + b"\x00"
    out += b"\xff\xda" + struct.pack(">HB", 8, 1) + bytes([1, 0x00, 0, 63, 0])
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    bits = "00" * blocks
    bits += "1" * (-len(bits) % 8)
    out += bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
    return out + b"\xff\xd9"


def tga(width, height, bpp, pixels, rle=False, top_left=False):
    kind = 10 if rle else 2
    descriptor = (0x20 if top_left else 0) | (8 if bpp == 32 else 0)
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, kind, 0, 0, 0, 0, 0, width, height, bpp,
                         descriptor)
    if rle:
        size = bpp // 8
        body = bytearray()
        body += bytes([0x80 | (width - 1)]) + pixels[:size]  # a run
        for _ in range(height - 1):
            body += bytes([width - 1]) + pixels[:size * width]  # raw packets
        pixels = bytes(body)
    return header + pixels


def bmp(width, height):
    row = (width * 3 + 3) & ~3
    pixels = pattern(row * height)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0,
                       0)
    return header + info + pixels


def picture(width=16, height=12, mode="RGB"):
    """A small picture with edges, gradients and flat areas, the kind of
    content real encoders meet."""
    image = Image.new("RGB", (width, height))
    pixels = image.load()
    for y in range(height):
        for x in range(width):
            pixels[x, y] = (x * 255 // max(1, width - 1), y * 255 // max(1, height - 1),
                            (x * y * 7) % 256)
    draw = ImageDraw.Draw(image)
    draw.ellipse((width // 4, height // 4, width * 3 // 4, height * 3 // 4), fill=(250, 40, 30))
    draw.line((0, height - 1, width - 1, 0), fill=(255, 255, 255))
    if mode == "RGBA":
        image = image.convert("RGBA")
        alpha = Image.new("L", (width, height))
        alpha.putdata([(x * 37 + y * 11) % 256 for y in range(height) for x in range(width)])
        image.putalpha(alpha)
        return image
    return image.convert(mode)


def saved(image, kind, **options):
    out = io.BytesIO()
    image.save(out, kind, **options)
    return out.getvalue()


def psd(width, height, channels, planes, rle, depth=8):
    """A Photoshop file in RGB mode (with alpha for four channels), no
    layers, the merged image raw or (8-bit) PackBits-compressed per row."""
    header = struct.pack(">4sH6sHIIHH", b"8BPS", 1, b"", channels, height, width, depth, 3)
    body = struct.pack(">I", 0) + struct.pack(">I", 0) + struct.pack(">I", 0)
    if not rle:
        return header + body + struct.pack(">H", 0) + b"".join(planes)
    rows = []
    for plane in planes:
        for y in range(height):
            row = plane[y * width:(y + 1) * width]
            packed = bytearray()
            x = 0
            while x < len(row):
                run = 1
                while x + run < len(row) and run < 128 and row[x + run] == row[x]:
                    run += 1
                if run > 1:
                    packed += bytes([257 - run, row[x]])
                    x += run
                else:
                    literal = row[x:x + min(128, len(row) - x)]
                    packed += bytes([len(literal) - 1]) + literal
                    x += len(literal)
            rows.append(bytes(packed))
    counts = b"".join(struct.pack(">H", len(r)) for r in rows)
    return header + body + struct.pack(">H", 1) + counts + b"".join(rows)


def real_image_seeds():
    rgb = picture()
    rgba = picture(mode="RGBA")
    write("image", "real_rgb.png", saved(rgb, "PNG", optimize=True))
    write("image", "real_rgba_interlaced.png", saved(rgba, "PNG", interlace=1))
    write("image", "real_palette.png", saved(rgb.quantize(16), "PNG", transparency=3))
    write("image", "real_grey_alpha.png", saved(rgba.convert("LA"), "PNG"))
    write("image", "real_grey16.png", saved(picture(mode="L").convert("I;16"), "PNG"))
    write("image", "real_baseline.jpg", saved(rgb, "JPEG", quality=80))
    write("image", "real_444.jpg", saved(rgb, "JPEG", quality=95, subsampling=0))
    write("image", "real_progressive.jpg",
          saved(picture(24, 20), "JPEG", quality=60, progressive=True, optimize=True))
    write("image", "real_grey.jpg", saved(picture(mode="L"), "JPEG", quality=70))
    write("image", "real_rgb.tga", saved(rgb, "TGA"))
    write("image", "real_rgba_rle.tga", saved(rgba, "TGA", compression="tga_rle"))
    write("image", "real_grey.tga", saved(picture(mode="L"), "TGA"))
    write("image", "real_rgb.bmp", saved(rgb, "BMP"))
    write("image", "real_palette.bmp", saved(rgb.quantize(16), "BMP"))
    write("image", "real.gif", saved(rgb.quantize(32), "GIF", transparency=1))
    write("image", "real_interlaced.gif", saved(rgb.quantize(8), "GIF", interlace=True))
    write("image", "real.ppm", saved(rgb, "PPM"))
    write("image", "real.pgm", saved(picture(mode="L"), "PPM"))
    # The seed's alpha is 0 or 255, so that its pixels are the same through
    # any reader; partial alpha (the white matte the reader takes out) is in
    # the regression inputs and the textures tests.
    planes = [bytes(rgba.getchannel(c).tobytes()) for c in "RGB"]
    planes.append(bytes(255 if (i // 5) % 2 else 0 for i in range(16 * 12)))
    write("image", "real_rgb_raw.psd", psd(16, 12, 3, planes[:3], rle=False))
    write("image", "real_rgba_rle.psd", psd(16, 12, 4, planes, rle=True))
    wide = [b"".join(struct.pack(">H", v * 257) for v in plane) for plane in planes[:3]]
    write("image", "real_rgb16_raw.psd", psd(16, 12, 3, wide, rle=False, depth=16))


def image_seeds():
    real_image_seeds()
    write("image", "rgba.png", png(4, 4, 6, 8, [pattern(16, r) for r in range(4)]))
    write("image", "gray16.png", png(3, 2, 0, 16, [pattern(6, r) for r in range(2)]))
    palette = png_chunk(b"PLTE", pattern(12)) + png_chunk(b"tRNS", b"\x00\x80")
    write("image", "palette4.png", png(5, 3, 3, 4, [bytes([0x01, 0x23, 0x20])] * 3, palette))
    write("image", "gray.jpg", jpeg_gray(16, 8))
    write("image", "bgr.tga", tga(3, 2, 24, pattern(18)))
    write("image", "bgra_rle_top.tga", tga(4, 3, 32, pattern(64), rle=True, top_left=True))
    write("image", "rgb.bmp", bmp(3, 2))
    write("image", "gray.pgm", b"P5\n# comment\n3 2\n255\n" + pattern(6))
    write("image", "rgb.ppm", b"P6 2 2 65535\n" + pattern(24))
    write("image", "dot.gif", bytes.fromhex(
        "474946383961010001008000 00ffffff000000 21f90401000000002c000000000100010000020244010 03b"
        .replace(" ", "")))


# --- Shader preprocessor ------------------------------------------------------

def preprocessor_seeds():
    write("preprocessor", "directives.cg", """#define SCALE 2
#define MUL(a, b) ((a) * (b))
#ifdef NUM_BONES
#if NUM_BONES > 10 && defined(SCALE)
float bones[NUM_BONES];
#elif SCALE == 2
#else
#endif
#endif
#ifndef MISSING
#undef SCALE
#endif
/* block
   comment */ float x = MUL(1, MAX(2, 3)); // line comment
const char* s = "a string MUL(1,2)";
char c = '\\'';
#define LONG first \\
    second
""")
    write("preprocessor", "meta.cg", """#define COUNT 0
#defeval COUNT #eval(COUNT + 1)
#defeval COUNT #eval(COUNT * 7 % 5 - (3 << 2) / 2)
float v = COUNT;
#define ARGS(a, b, c) #1 #2 #3
ARGS(x, (y, z), w)
""")
    write("preprocessor", "include.cg", """#ifndef ONCE
#define ONCE 1
#include "other.cg"
#endif
float4 after;
""")


# --- Shader compiler ----------------------------------------------------------

def shader_compiler_seeds():
    write("shadercompiler", "both_stages.cg", """struct VOut {
    float4 pos : POSITION;
    float2 uv : TEXCOORD0;
};
uniform float4x4 mvp;
VOut main_vp(float4 pos : POSITION, float4 uv : TEXCOORD0)
{
    VOut o;
    o.pos = mul(mvp, pos);
    o.uv = uv.xy * 0.5 + 0.5;
    return o;
}
float4 main_fp(VOut In, uniform sampler2D tex, uniform float4 tint) : COLOR
{
    float4 c = tex2D(tex, In.uv) * tint;
    if (c.a < 0.5) discard;
    for (int i = 0; i < 3; i++) c.rgb += c.gbr * 0.1;
    return saturate(c);
}
""")
    write("shadercompiler", "statics_arrays.cg", """static const float weights[3] = { 0.25, 0.5, 0.25 };
float helper(float3 a, out float b) { b = dot(a, a); return length(a); }
float4 main_fp(float4 t : TEXCOORD0, uniform float3x4 rows[2], uniform samplerCUBE env) : COLOR
{
    float b;
    float l = helper(t.xyz, b);
    float3 r = mul(rows[1], t);
    int i = (int)t.x;
    return texCUBE(env, r) * weights[i % 3] + l * b + (i > 1 ? t : t.wzyx);
}
""")
    write("shadercompiler", "line_marker.cg", """//include shared/shader/a.cg(1):1
float4 main_vp(float4 p : POSITION, uniform float4 k) : POSITION { return p * k.x; }
//include shader(3):2
""")


# --- HTTP responses -----------------------------------------------------------

def http_seeds():
    # The first byte is the block size less one.
    write("http", "content_length.bin",
          b"\x07HTTP/1.1 200 OK\r\nContent-Length: 5\r\nServer: x\r\n\r\nhello")
    write("http", "chunked.bin",
          b"\x02HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
          b"4;ext=1\r\nwiki\r\n5\r\npedia\r\nA\n0123456789\n0\r\nTrailer: x\r\n\r\n")
    write("http", "until_close.bin", b"\xffHTTP/1.0 200 OK\r\nX: y\r\n\r\nbody until close")
    write("http", "cut_short.bin", b"\x00HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nshort")


# --- i3d scene files ----------------------------------------------------------

# The harness serves height.tga, weights.tga, detail.tga, tone.wav and
# shader.xml as real files; every other name gets the scene's own bytes.
I3D_SECTIONS = """<Files>
  <File name="height" filename="height.tga"/>
  <File name="rain" filename="tone.wav"/>
  <File name="t" filename="detail.tga"/>
  <File name="w" filename="weights.tga"/>
  <File name="shader" filename="shader.xml"/>
  <File name="self" filename="scene.png"/>
</Files>
<Materials>
  <Material name="m" diffuseColor="1 0.5 0.25 1" customShader="shader" alphaBlending="true">
    <Texture fileId="t"/>
    <Custommap name="dirt" texture="t"/>
    <CustomParameter name="tint" value="0.5 0.25 1 1"/>
  </Material>
  <Material name="drop"/>
</Materials>
<Shapes>
  <IndexedFaceSet name="tri" normal="true" texCoords0="true">
    <Vertices><v c="0 0 0" n="0 1 0" t0="0 0"/><v c="1 0 0" n="0 1 0" t0="1 0"/><v c="0 1 0" n="0 1 0" t0="0 1"/></Vertices>
    <Faces shaderlist="m,drop"><f vi="0 1 2" ci="0"/><f vi="2 1 0" ci="1"/></Faces>
    <SkinWeights><cv w="1" bi="0"/><cv w="0.5" bi="1"/><cv w="1" bi="0"/></SkinWeights>
  </IndexedFaceSet>
  <NurbsCurve name="c" degree="3"><cv c="0 0 0"/><cv c="1 1 1"/></NurbsCurve>
  <Precipitation name="storm" dropMaterial="drop" maxNumDrops="500" dropMinVelocity="3" dropMaxVelocity="9"/>
</Shapes>
<Dynamics>
  <ParticleSystem name="smoke" rate="4" maxCount="100" material="m" emitterShape="tri">
    <Gravity force="0 -9.8 0"/><Air force="1 0 0"/>
  </ParticleSystem>
</Dynamics>
<Scene>
  <TransformGroup name="group" translation="1 2 3" rotation="90 0 0" scale="2 2 2" objectMask="0xff">
    <Shape name="mesh" ref="tri" castsShadows="true" clipDistance="50" skinBindNodes="arm lod" onCreate="made"/>
    <Shape name="curve" ref="c"/>
  </TransformGroup>
  <TransformGroup name="lod" lodDistance="0 10 20"><TransformGroup/><TransformGroup/></TransformGroup>
  <Camera name="cam" fov="60" nearClip="0.5" farClip="900"/>
  <Light name="sun" type="directional" diffuseColor="1 1 1" castShadowMap="true"/>
  <Light name="spot" type="spot" coneAngle="30" range="12" depthMapResolution="1024"/>
  <TerrainTransformGroup name="land" heightMap="height" patchSize="17" heightScale="100" unitsPerPixel="2">
    <Layers>
      <Layer detailMap="t" unitSize="4" weightMap="w"/>
      <Layer detailMap="self" unitSize="8" weightMap="w"/>
      <FoliageLayer name="grass" growthNumStates="2" densityMapChannelOffset="0" densityMap="w" material="m" numDensityMapChannels="4" cellSize="8"/>
      <DetailLayer name="rocks" densityMap="w" material="m" cellSize="8"/>
    </Layers>
  </TerrainTransformGroup>
  <Dynamic name="chimney" ref="smoke"/>
  <AudioSource name="ambience" file="rain" range="30" loops="0"/>
  <Shape name="weather" ref="storm"/>
  <TransformGroup name="crate" dynamic="true" density="2.5" compound="true">
    <Shape name="part" ref="tri" compoundChild="true"/>
  </TransformGroup>
  <Shape name="floor" ref="tri" static="true" translation="0 -1 0"/>
  <Shape name="ball" ref="tri" kinematic="true" collisionMask="0xff"/>
  <TransformGroup name="hinge" joint="true" rotMaxY="45" breakable="true" breakForce="10"/>
  <TransformGroup name="arm"><UserAttribute name="speed" type="float" value="2.5"/></TransformGroup>
</Scene>
<Animation><CharacterSets>
  <CharacterSet name="robot">
    <Clip name="wave" duration="1000">
      <Keyframes node="arm">
        <Keyframe time="0" rotation="0 90 0" iprout="linear"/>
        <Keyframe time="1000" rotation="0 0 0" translation="1 0 0"/>
      </Keyframes>
    </Clip>
  </CharacterSet>
</CharacterSets></Animation>
<UserAttributes>
  <UserAttribute nodeId="1"><Attribute name="a" type="string" value="x"/></UserAttribute>
</UserAttributes>"""


def i3d_seeds():
    write("i3d", "sections.i3d", '<?xml version="1.0" encoding="iso-8859-1"?>\n'
          '<i3D name="seed" version="1.5">\n' + I3D_SECTIONS + "\n</i3D>\n")
    write("i3d", "minimal.i3d", '<i3D name="m" version="1.5"><Scene><TransformGroup name="a">'
          '<TransformGroup name="b"/></TransformGroup></Scene></i3D>')


# --- sound files --------------------------------------------------------------
# The Ogg Vorbis seeds (mono.ogg, stereo.ogg) were encoded once with
# libvorbisenc from short sine tones and are kept as they are.

def wave(data, channels, rate, bits, extensible=False):
    block = channels * bits // 8
    if extensible:
        fmt = struct.pack("<HHIIHHHHI16s", 0xFFFE, channels, rate, rate * block, block, bits,
                          22, bits, 0, b"\x01\x00" + b"\x00" * 14)
    else:
        fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * block, block, bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"LIST" + struct.pack("<I", 4) + b"INFO"
    body += b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def sound_seeds():
    write("sound", "mono16.wav", wave(pattern(64), 1, 8000, 16))
    write("sound", "stereo8.wav", wave(pattern(32), 2, 11025, 8))
    write("sound", "extensible.wav", wave(pattern(64), 2, 22050, 16, extensible=True))


# --- physics.xml --------------------------------------------------------------

def physics_seeds():
    # Every key the settings reader knows, spelt as it reads them.
    write("physicsxml", "physics.xml", """<?xml version="1.0" encoding="utf-8"?>
<physics>
  <default_skin_width>0.02</default_skin_width>
  <gravity>0 -9.81 0</gravity>
  <world_bounds><min>-1000 -100 -1000</min><max>1000 500 1000</max></world_bounds>
  <visual_remote_debugger enable="true" hostname="localhost" portnumber="5425"/>
  <multithreading enable="true" threads="2"/>
  <simulation><timestep>0.016666668</timestep><maxiter>4</maxiter></simulation>
  <memory_stats enable="true"/>
</physics>
""")
    write("physicsxml", "out_of_range.xml", """<physics>
  <default_skin_width>-1</default_skin_width>
  <gravity>0 nan 0</gravity>
  <world_bounds><min>1 2</min><max>1e39 0 0</max></world_bounds>
  <visual_remote_debugger enable="false" portnumber="99999999999"/>
  <multithreading enable="true" threads="many"/>
  <simulation><timestep>100</timestep><maxiter>1000</maxiter></simulation>
</physics>
""")


# --- shader cache and custom shader files -------------------------------------

def shader_cache_seeds():
    write("shadercache", "vertex.xml", """<?xml version="1.0" encoding="utf-8"?>
<ShaderCache>
  <ShaderCode type="glsl" registers="6"><![CDATA[#version 330 core
uniform vec4 r[6];
void main() { gl_Position = r[0]; }
]]></ShaderCode>
  <Parameters>
    <Parameter name="In.modelMatrix" index="0" count="3" type="15"/>
    <Parameter name="In.tint" index="3" count="1" type="3" init="1 0.5 0 1"/>
    <Parameter name="In.lights.colors" index="4" count="2" type="2"/>
  </Parameters>
  <Samplers>
    <Sampler name="In.samplers.baseMap" glsl="s_baseMap" unit="0" kind="0"/>
    <Sampler name="In.samplers.env" glsl="s_env" unit="3" kind="1"/>
  </Samplers>
</ShaderCache>
""")


def custom_shader_seeds():
    write("customshader", "two_levels.xml", """<CustomShader>
  <LodLevel startDistance="0">
    <Textures><Texture name="dirt"/><Texture name="mask"/></Textures>
    <Parameters>
      <Parameter name="tint" target="In.custom.tint"/>
    </Parameters>
    <CodeInjections>
      <CodeInjection position="FS_ALBEDO">albedo *= In.custom.tint;</CodeInjection>
      <CodeInjection position="VS_END"><![CDATA[Out.pos.x += 0.0;]]></CodeInjection>
    </CodeInjections>
  </LodLevel>
  <LodLevel startDistance="50">
    <Parameters><Parameter name="tint" target="In.custom.farTint"/></Parameters>
  </LodLevel>
</CustomShader>
""")


# --- terrain heightmaps, weight maps and density maps -------------------------

def grey_tga(width, height, pixels):
    """An uncompressed grey TGA, first row at the top."""
    return struct.pack("<BBBHHBHHHHBB", 0, 0, 3, 0, 0, 0, 0, 0, width, height, 8, 0x20) + pixels


def image_rows(width, height, channels, value, bytes_per_sample=1):
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            for c in range(channels):
                v = value(x, y, c)
                row += struct.pack(">H", v) if bytes_per_sample == 2 else bytes([v & 0xFF])
        rows.append(bytes(row))
    return rows


def terrain_seeds():
    # Heightmaps: a side of 2^n + 1 is used as it is, 2^n gets a copied
    # border; 16-bit grey, 8-bit grey and colour (first channel x 256 +
    # second) are read.
    write("heightmap", "grey16_33.png",
          png(33, 33, 0, 16, image_rows(33, 33, 1, lambda x, y, c: x * 1500 + y * 40, 2)))
    write("heightmap", "grey8_32.png",
          png(32, 32, 0, 8, image_rows(32, 32, 1, lambda x, y, c: (x * y) % 256)))
    write("heightmap", "rgb_33.png",
          png(33, 33, 2, 8, image_rows(33, 33, 3, lambda x, y, c: (x + y * 3 + c * 50) % 256)))
    write("heightmap", "grey_64.tga", grey_tga(64, 64, pattern(64 * 64)))
    # DDS heightmaps (named .dds by the harness): colour and DXT1.
    write("heightmap", "bgr_33.dds",
          dds(33, 33, 1, bits=24, pf_flags=0x40, masks=(0xFF0000, 0xFF00, 0xFF, 0),
              data=bytes(v for x in range(33 * 33) for v in (x % 7, x // 33, x % 33))))
    write("heightmap", "dxt1_32.dds", dds(32, 32, 1, b"DXT1", data=pattern(dxt_size(32, 32, 1, 8))))
    write("heightmap", "grey_33.jpg", saved(picture(33, 33, "L"), "JPEG", quality=90))
    # Weight maps (two layers and the global layer map read the same file).
    write("weightmap", "grey_32.png",
          png(32, 32, 0, 8, image_rows(32, 32, 1, lambda x, y, c: 255 if x < 16 else (y * 8) % 256)))
    write("weightmap", "grey_4.png", png(4, 4, 0, 8, image_rows(4, 4, 1, lambda x, y, c: x * 60)))
    write("weightmap", "rgb_16.png",
          png(16, 16, 2, 8, image_rows(16, 16, 3, lambda x, y, c: (x * 16 + c * 80) % 256)))
    write("weightmap", "grey_zero_8.tga", grey_tga(8, 8, bytes(64)))
    # Density maps: bit k of a pixel's first byte is channel k.
    write("densitymap", "grey_64.png",
          png(64, 64, 0, 8, image_rows(64, 64, 1, lambda x, y, c: (x ^ y) if (x + y) % 3 else 0)))
    write("densitymap", "grey_16.tga", grey_tga(16, 16, pattern(256)))
    write("densitymap", "rgba_8.png",
          png(8, 8, 6, 8, image_rows(8, 8, 4, lambda x, y, c: (x * 37 + y * 11 + c) % 256)))
    write("densitymap", "grey16_32.png",
          png(32, 32, 0, 16, image_rows(32, 32, 1, lambda x, y, c: (x * y * 97) % 65536, 2)))


if __name__ == "__main__":
    xml_seeds()
    zip_seeds()
    dds_seeds()
    image_seeds()
    preprocessor_seeds()
    shader_compiler_seeds()
    http_seeds()
    i3d_seeds()
    sound_seeds()
    physics_seeds()
    shader_cache_seeds()
    custom_shader_seeds()
    terrain_seeds()
