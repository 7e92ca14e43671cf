#!/usr/bin/env python3
"""Self-checks of quarvel_ref.py against hand-worked values.

Builds small .3ds files with struct.pack, renders them through the
reference and checks reader, fit, rasteriser and BMP results.
Run:  python3 tests/reference/selfcheck_ref.py
"""

import os
import struct
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import quarvel_ref as q  # noqa: E402

FAILURES = []


def check(cond, what):
    print(('ok    ' if cond else 'FAIL  ') + what)
    if not cond:
        FAILURES.append(what)


def chunk(cid, payload):
    return struct.pack('<Hi', cid, 6 + len(payload)) + payload


def tri_file(vertices, faces, name=b'Tri'):
    """Main > editor > named object > triangle mesh > vertex + face list."""
    vl = struct.pack('<H', len(vertices))
    for v in vertices:
        vl += struct.pack('<fff', *v)
    fl = struct.pack('<H', len(faces))
    for f in faces:
        fl += struct.pack('<HHHH', f[0], f[1], f[2], 0)
    mesh = chunk(0x4100, chunk(0x4110, vl) + chunk(0x4120, fl))
    obj = chunk(0x4000, name + b'\0' + mesh)
    return chunk(0x4D4D, chunk(0x3D3D, obj))


def write(tmp, name, data):
    path = os.path.join(tmp, name)
    with open(path, 'wb') as f:
        f.write(data)
    return path


def render(path, w=640, h=480, ops=()):
    scene = q.load_model(path)
    for op, arg in ops:
        q.apply_operation(scene, op, arg)
    r = q.Renderer(scene, w, h)
    mask = r.render()
    return scene, r, mask


class LiteralRenderer(q.Renderer):
    """Per-pixel, word-for-word version of the face drawing.

    No values are hoisted out of the loops and every weight is rounded to
    float32 before it is tested; it must give the same mask as the faster
    loop of quarvel_ref.Renderer.
    """

    def draw_face(self, P0, P1, P2):
        f32, to_int = q.f32, q.to_int
        W, H, ps = self.W, self.H, self.pixel_scale
        (x0, y0, z0), (x1, y1, z1), (x2, y2, z2) = P0, P1, P2
        area2 = f32((x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0))
        if area2 == 0.0:
            return
        min_x, max_x = min(x0, x1, x2), max(x0, x1, x2)
        min_y, max_y = min(y0, y1, y2), max(y0, y1, y2)
        nx = f32((y1 - y0) * (z2 - z0) - (z1 - z0) * (y2 - y0))
        ny = f32((z1 - z0) * (x2 - x0) - (x1 - x0) * (z2 - z0))
        nz = f32((x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0))
        d = f32(nx * x0 + ny * y0 + nz * z0)
        r0 = max(to_int(min_y * ps + H * 0.5), 0)
        r1 = min(to_int(max_y * ps + H * 0.5), H - 1)
        if r1 < r0:
            return
        for i in range(r0, r1 + 1):
            if i <= 0:
                continue
            c0 = max(to_int(min_x * ps + W * 0.5), 0)
            c1 = min(to_int(max_x * ps + W * 0.5), W - 1)
            for j in range(c0, c1 + 1):
                x = f32(f32(j / ps) - (W * 0.5) / ps)
                y = f32(f32(i / ps) - (H * 0.5) / ps)
                w0 = f32(((x2 - x1) * (y - y1) - (y2 - y1) * (x - x1)) / area2)
                w1 = f32(((x0 - x2) * (y - y2) - (y0 - y2) * (x - x2)) / area2)
                w2 = f32(((x1 - x0) * (y - y0) - (y1 - y0) * (x - x0)) / area2)
                if not (w0 >= 0 and w1 >= 0 and w2 >= 0):
                    continue
                xd = (j - W * 0.5) / ps
                yd = (i - H * 0.5) / ps
                z = f32((d - nx * xd - ny * yd) / nz)
                value = to_int((z - self.near_z) * self.depth_scale)
                byte = 255 - (value & 0xFF)
                row = self.mask[H - i]
                if byte > row[j]:
                    row[j] = byte


def compare_literal(path, w, h, ops):
    scene = q.load_model(path)
    for op, arg in ops:
        q.apply_operation(scene, op, arg)
    fast = q.Renderer(scene, w, h).render()
    slow = LiteralRenderer(scene, w, h).render()
    return fast == slow, sum(1 for row in fast for b in row if b)


def sphere_file(nu=24, nv=14):
    import math
    import random
    rnd = random.Random(7)
    verts = []
    for i in range(nv + 1):
        th = math.pi * i / nv
        for j in range(nu):
            ph = 2 * math.pi * j / nu
            r = 1 + 0.2 * rnd.random()
            verts.append((r * math.sin(th) * math.cos(ph),
                          1.5 * r * math.sin(th) * math.sin(ph), r * math.cos(th)))
    faces = []
    for i in range(nv):
        for j in range(nu):
            a, b = i * nu + j, i * nu + (j + 1) % nu
            c, d = (i + 1) * nu + j, (i + 1) * nu + (j + 1) % nu
            faces += [(a, b, c), (b, d, c)]
    return tri_file(verts, faces)


def error_of(path):
    try:
        q.load_model(path)
    except q.QuarvelError as e:
        return str(e)
    return None


def run_checks(tmp):
    # --- numeric helpers -------------------------------------------------
    check(q.f32(0.05) == 0.05000000074505806, 'f32(0.05) is the float32 nearest 0.05')
    check(q.f32(1e39) == float('inf') and q.f32(-1e39) == float('-inf'),
          'f32 overflows to +-inf')
    nan = q.f32(float('nan'))
    check(nan != nan, 'f32 keeps NaN')
    check(q.to_int(2.5) == 2 and q.to_int(3.5) == 4 and q.to_int(-2.5) == -2,
          'to_int rounds half to even')
    check(q.to_int(float('nan')) == q.INT_MIN and q.to_int(float('inf')) == q.INT_MIN
          and q.to_int(2147483647.5) == q.INT_MIN and q.to_int(-2147483648.4) == q.INT_MIN,
          'to_int: non-finite and out-of-range give -2147483648')
    # The inside test's shortcut for "float32(w) >= 0".
    samples = [-2.0 ** -150, -2.0 ** -150 * (1 + 2.0 ** -52), -2.0 ** -149,
               -1e-46, -7.1e-46, 0.0, -0.0, 1e-50, -1e-30, -1e300, 1e300,
               float('nan'), float('inf'), float('-inf')]
    check(all((q.f32(w) >= 0) == (w >= q.WEIGHT_LIMIT) for w in samples),
          'weight threshold matches float32 rounding then >= 0')

    # --- the 88-byte file --------------------------------------------------
    data = tri_file([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(0, 1, 2)])
    check(len(data) == 88, 'smallest complete file is 88 bytes')
    p88 = write(tmp, 'tri.3ds', data)
    scene = q.Scene()
    rd = q.Reader(data, scene.mesh)
    n = rd.import_file()
    check(n == 1, '88-byte file: 1 face imported')
    face = [tuple(scene.mesh.vertices[k]) for k in scene.mesh.faces[0]]
    check(face == [(0, 0, 1), (1, 0, 0), (0, 0, 0)],
          '88-byte file: face vertices (0,0,1),(1,0,0),(0,0,0): %r' % face)
    scene.fit()
    check(scene.extents == (1.0, 0.0, 1.0), 'fit extents 1, 0, 1')
    check(scene.fit_scale == 9.0, 'FitScale 9')
    face = [tuple(scene.mesh.vertices[k]) for k in scene.mesh.faces[0]]
    check(face == [(-4.5, 0, 4.5), (4.5, 0, -4.5), (-4.5, 0, -4.5)],
          'fitted vertices (-4.5,0,4.5),(4.5,0,-4.5),(-4.5,0,-4.5)')

    sc, r, mask = render(p88)
    check(abs(r.pixel_scale - 42.6667) < 1e-3 and r.pixel_scale == q.f32(480 / 9 * 0.8),
          'PixelScale at 640x480 = %r' % r.pixel_scale)
    check(sc.reference_depth == 15.0, 'ReferenceDepth 15')
    check(all(b == 0 for row in mask for b in row),
          'unturned flat triangle seen edge-on (Area2 = 0) draws nothing')
    _, r2, _ = render(p88, 480, 640)
    check(r2.pixel_scale == r.pixel_scale, '480x640 gets the same PixelScale')

    # Turned about x: the triangle faces the viewer and gets drawn.
    sc, r, mask = render(p88, ops=[('--rotate', 'x:1.2')])
    check(any(b for row in mask for b in row), 'turned 88-byte model draws pixels')
    check(all(b == 0 for b in mask[0]), 'top row is 0')

    # BMP sizes
    for (w, h, size) in ((641, 480, 310198), (640, 480, 308278), (101, 100, 1078 + 104 * 100)):
        _, _, m = render(p88, w, h, ops=[('--rotate', 'x:1.2')])
        bmp = q.bmp_bytes(m, w, h)
        check(len(bmp) == size, 'BMP %dx%d is %d bytes (got %d)' % (w, h, size, len(bmp)))
        check(struct.unpack_from('<I', bmp, 2)[0] == size and bmp[:2] == b'BM'
              and struct.unpack_from('<I', bmp, 10)[0] == 1078
              and struct.unpack_from('<IiiHH', bmp, 14) == (40, w, h, 1, 8),
              'BMP %dx%d header fields' % (w, h))
        stride = ((8 * w + 31) // 32) * 4
        # The top row is the last stored row.
        top = bmp[1078 + (h - 1) * stride:1078 + (h - 1) * stride + w]
        check(top == bytes(m[0]), 'BMP %dx%d: top row stored last' % (w, h))
    check(bmp[54:58] == b'\0\0\0\0' and bmp[54 + 4 * 200:54 + 4 * 201] == bytes((200, 200, 200, 0)),
          'grey colour table')

    # --- a triangle facing the viewer: nearest vertex 255, farthest 0 ------
    # File (0,0,0),(1,0,0),(0,1,1) -> scene (0,0,0),(1,0,0),(0,1,1); after the
    # fit (-4.5,-4.5,-4.5),(4.5,-4.5,-4.5),(-4.5,4.5,4.5).  At 640x480 with
    # PixelScale 42.67 the vertices land on columns 128 / 512 and picture
    # rows 48 (bottom) / 432 (top), i.e. mask rows 432 and 48 from the top.
    ptilt = write(tmp, 'tilt.3DS', tri_file([(0, 0, 0), (1, 0, 0), (0, 1, 1)], [(0, 1, 2)]))
    sc, r, mask = render(ptilt)
    check(mask[432][128] == 255 and mask[432][511] == 255,
          'nearest vertices get 255 (%d, %d)' % (mask[432][128], mask[432][511]))
    check(mask[48][128] == 0 and 0 < mask[49][128] < 4,
          'farthest vertex gets 0 (%d, below it %d)' % (mask[48][128], mask[49][128]))
    check(max(max(row) for row in mask) == 255, 'maximum byte 255')
    check(all(b == 0 for b in mask[0]), 'top row is 0')
    check(r.near_z == 10.5 and r.depth_scale == q.f32(255 / 9),
          'NearZ 10.5, DepthScale 255/9')
    # Doubling the frame's depth halves PixelScale.
    _, r3, _ = render(ptilt, ops=[('--move-z', '15')])
    check(r3.pixel_scale == q.f32(r.pixel_scale * 15 / 30), 'doubling z halves PixelScale')
    # Clockwise and counter-clockwise give the same mask.
    pcw = write(tmp, 'cw.3ds', tri_file([(0, 0, 0), (1, 0, 0), (0, 1, 1)], [(2, 1, 0)]))
    _, _, mask_cw = render(pcw)
    check(mask_cw == mask, 'both windings draw alike')
    # A flat square seen face-on: ExtentZ = 0, every covered pixel is 255.
    pflat = write(tmp, 'flat.3ds', tri_file([(0, 0, 0), (1, 0, 0), (0, 0, 1), (1, 0, 1)],
                                            [(0, 1, 2), (1, 3, 2)]))
    _, rf, m = render(pflat)
    covered = [b for row in m for b in row if b]
    check(rf.depth_scale == float('inf') and len(covered) > 100000
          and all(b == 255 for b in covered),
          'flat model face-on: all %d covered pixels 255' % len(covered))
    # Moving the model far behind the viewer draws nothing.
    _, _, m = render(ptilt, ops=[('--move-z', '-20')])
    check(all(b == 0 for row in m for b in row), 'frame behind viewer: empty mask')

    # --- reader rules ------------------------------------------------------
    scene = q.Scene()
    q.Reader(tri_file([(1, 2, 3), (0, 0, 0), (5, 5, 5)], [(0, 1, 2)]), scene.mesh).import_file()
    check(tuple(scene.mesh.vertices[0]) == (1, 3, 2), 'file vertex (1,2,3) -> (1,3,2)')
    check(scene.mesh.faces[0] == (2, 1, 0), 'file face (0,1,2) -> (2,1,0)')
    check(error_of(write(tmp, 'MODEL.3DS', data)) is None, 'MODEL.3DS passes the type check')
    for bad in ('model.3ds.bak', 'model', 'a.3ds/model'):
        check(error_of(os.path.join(tmp, bad)) == 'Unsupported input file type',
              '%s is rejected' % bad)
    longer = bytearray(data + b'\0')
    check(error_of(write(tmp, 'long.3ds', bytes(longer))) == 'Error parsing 3DS file',
          'file one byte longer than main chunk')
    check(error_of(write(tmp, 'short.3ds', data[:-1])) == 'Error parsing 3DS file',
          'file one byte shorter than main chunk')
    check(error_of(write(tmp, 'tiny.3ds', b'MM\0')) == 'Stream read error',
          'file shorter than 6 bytes')
    check(error_of(os.path.join(tmp, 'missing.3ds')).startswith('Cannot open file'),
          'missing file')
    # Face with an index past the vertex list is dropped, the rest kept.
    scene = q.Scene()
    n = q.Reader(tri_file([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(0, 1, 3), (0, 1, 2)]),
                 scene.mesh).import_file()
    check(n == 1 and len(scene.mesh.faces) == 1, 'out-of-range face dropped, the other kept')
    # Two objects: counts add up, first object's faces first.
    vl = struct.pack('<H', 3) + struct.pack('<9f', 0, 0, 0, 1, 0, 0, 0, 1, 0)
    fl = struct.pack('<H', 1) + struct.pack('<4H', 0, 1, 2, 0)
    fl2 = struct.pack('<H', 2) + struct.pack('<8H', 0, 1, 2, 0, 2, 1, 0, 0)
    o1 = chunk(0x4000, b'A\0' + chunk(0x4100, chunk(0x4110, vl) + chunk(0x4120, fl)))
    o2 = chunk(0x4000, b'B\0' + chunk(0x4100, chunk(0x4110, vl) + chunk(0x4120, fl2)))
    scene = q.Scene()
    n = q.Reader(chunk(0x4D4D, chunk(0x3D3D, o1 + o2)), scene.mesh).import_file()
    check(n == 3 and len(scene.mesh.vertices) == 6 and scene.mesh.faces[1] == (5, 4, 3),
          'two objects: 3 faces, 6 vertices, second object after the first')
    # A face list before any vertex list, and a second face list, are skipped.
    o3 = chunk(0x4000, b'C\0' + chunk(0x4100, chunk(0x4120, fl) + chunk(0x4110, vl)
                                      + chunk(0x4120, fl) + chunk(0x4120, fl2)))
    scene = q.Scene()
    n = q.Reader(chunk(0x4D4D, chunk(0x3D3D, o3)), scene.mesh).import_file()
    check(n == 1 and len(scene.mesh.vertices) == 3,
          'face lists without a current vertex list are skipped')
    # Zero-length chunk ends the walk without looping.
    scene = q.Scene()
    bad = chunk(0x4D4D, chunk(0x3D3D, struct.pack('<Hi', 0x1234, 0) + o1))
    n = q.Reader(bad, scene.mesh).import_file()
    check(n == 0, 'chunk length 0 ends the walk')
    # Vertices running past the end of the file.
    trunc = chunk(0x4D4D, chunk(0x3D3D, chunk(0x4000, b'T\0' + chunk(
        0x4100, chunk(0x4110, struct.pack('<H', 5) + struct.pack('<3f', 0, 0, 0))))))
    try:
        q.Reader(trunc, q.Mesh()).import_file()
        err = None
    except q.QuarvelError as e:
        err = str(e)
    check(err == 'Stream read error', 'vertex list past end of file: %r' % err)

    # --- fit step edge cases --------------------------------------------------
    scene = q.Scene()
    scene.mesh.add_faces([(-1, 0, 5), (3, 2, 5)], [])
    scene.fit()
    check(scene.fit_scale == 2.25 and scene.mesh.box() == ([-4.5, -2.25, 0], [4.5, 2.25, 0]),
          'fit: box (-1,0,5)-(3,2,5) -> scale 2.25, box (-4.5,-2.25,0)-(4.5,2.25,0)')
    scene = q.Scene()
    scene.mesh.add_faces([(9, 9, 9), (11, 11, 11)], [])
    scene.fit()
    check(scene.fit_scale == 4.5 and scene.mesh.box() == ([-4.5] * 3, [4.5] * 3),
          'fit: cube of side 2 at (10,10,10)')
    scene = q.Scene()
    scene.mesh.add_faces([(2, 3, 4)], [])
    scene.fit()
    check(scene.fit_scale == 1.0 and scene.mesh.box() == ([0, 0, 0], [0, 0, 0]),
          'fit: largest extent 0 -> translated, unscaled, FitScale 1')

    # --- rotation ------------------------------------------------------------
    f = q.Frame()
    for _ in range(126):
        f.set_rotation(0, 1, 0, q.f32(0.05))
        f.tick()
    import math
    ang = 126 * q.f32(0.05)
    check(abs(f.R[0][0] - math.cos(ang)) < 1e-5 and abs(f.R[0][2] + math.sin(ang)) < 1e-5,
          '126 clicks about y turn by 6.3 radians (R00=%r R02=%r)' % (f.R[0][0], f.R[0][2]))
    f = q.Frame()
    f.set_rotation(0, 0, 0, 1.0)
    f.tick()
    check(f.R == [[1, 0, 0], [0, 1, 0], [0, 0, 1]], 'zero axis: tick does nothing')
    f = q.Frame()
    f.set_rotation(0, 1, 0, math.pi / 2)
    f.tick()
    # v' = v R: the +x axis turns to -z... check against the matrix formula.
    check(abs(f.R[0][2] + 1) < 1e-6 and abs(f.R[2][0] - 1) < 1e-6, 'Rot about y by 90 degrees')

    # --- fast face loop against the word-for-word one ----------------------
    psph = write(tmp, 'sphere.3ds', sphere_file())
    for path, w, h, ops in (
            (psph, 160, 120, []),
            (psph, 120, 160, [('--clicks', 'x:7'), ('--clicks', 'y:-3')]),
            (psph, 200, 150, [('--rotate', '1,2,3:0.7'), ('--move-x', '2'),
                              ('--move-y', '-1.5'), ('--move-z', '-3')]),
            (psph, 101, 100, [('--move-x', '-3'), ('--move-z', '-9')]),
            (ptilt, 131, 97, [('--rotate', 'z:0.3')]),
            (p88, 100, 100, [('--clicks', 'x:20')])):
        same, covered = compare_literal(path, w, h, ops)
        check(same and covered > 0,
              'fast loop = literal loop: %s %dx%d %r (%d pixels covered)'
              % (os.path.basename(path), w, h, ops, covered))

    # --- command line --------------------------------------------------------
    out = os.path.join(tmp, 'out.bmp')
    script = os.path.join(HERE, 'quarvel_ref.py')
    res = subprocess.run([sys.executable, script, ptilt, '-o', out, '--size', '641x480',
                          '--clicks', 'y:3', '--move-x', '-0.5', '--move-z=2'],
                         capture_output=True, text=True)
    check(res.returncode == 0 and os.path.getsize(out) == 310198, 'CLI writes a 641x480 BMP')
    res = subprocess.run([sys.executable, script, os.path.join(tmp, 'long.3ds'), '-o', out],
                         capture_output=True, text=True)
    check(res.returncode == 3 and res.stderr.strip() == 'Error parsing 3DS file',
          'CLI error exit 3 with the error text')
    # --clicks y:-2 equals two ticks of -0.05; --rotate=y:-0.05 twice the same.
    a = subprocess.run([sys.executable, script, ptilt, '-o', out + 'a', '--clicks', 'y:-2'])
    b = subprocess.run([sys.executable, script, ptilt, '-o', out + 'b',
                        '--rotate=y:-0.05', '--rotate', '0,1,0:-0.05'])
    with open(out + 'a', 'rb') as fa, open(out + 'b', 'rb') as fb:
        check(a.returncode == 0 and b.returncode == 0 and fa.read() == fb.read(),
              'clicks and rotate agree')

    print()
    if FAILURES:
        print('%d check(s) failed' % len(FAILURES))
        return 1
    print('all checks passed')
    return 0


def main():
    # The files the checks write go to a private folder, removed whatever the checks find.
    with tempfile.TemporaryDirectory(prefix='quarvel_ref_') as tmp:
        return run_checks(tmp)


if __name__ == '__main__':
    sys.exit(main())
