#!/usr/bin/env python3
"""Independent reference implementation of Quarvel's depth-mask road.

Reads a .3ds model, places it (turns and moves, in the order given on the
command line), rasterises it into an 8-bit depth mask and writes the mask as
a greyscale BMP.  It is written for clarity, not speed, and uses only the
Python standard library, so that its output can be compared byte for byte
with the C++ renderer.

Number handling mirrors the C++ core:
  * expressions are evaluated in IEEE double (Python floats), left to right;
  * every stored scene/render value is rounded to float32 (see f32());
  * float -> int conversion rounds half to even; NaN, infinities and values
    outside the signed 32-bit range become -2147483648 (see to_int()).

Usage:
  python3 quarvel_ref.py MODEL.3ds -o OUT.bmp [--size WxH] [operations...]

Operations (applied in the order given):
  --rotate AXIS:RADIANS   set the frame's rotation and tick once
                          (AXIS is x, y, z or ax,ay,az)
  --clicks AXIS:N         |N| ticks of +-0.05 radian about x, y or z
  --move-x S, --move-y S  translate the mesh's vertices along x or y
  --move-z S              move the model frame along the viewing axis
Other options:
  --dump                  print the scene and render values to stdout
On error the message goes to stderr and the exit code is 3.
"""

import math
import struct
import sys

INT_MIN = -2147483648
INT_MAX = 2147483647

_F32 = struct.Struct('<f')


# ---------------------------------------------------------------------------
# Numeric helpers
# ---------------------------------------------------------------------------

def f32(x):
    """Round a double to the nearest float32 (as a Python float).

    Values that round beyond the float32 range become +-inf; NaN stays NaN.
    struct raises OverflowError only when the rounded value is infinite.
    """
    try:
        return _F32.unpack(_F32.pack(x))[0]
    except OverflowError:
        return math.copysign(math.inf, x)


def fdiv(a, b):
    """IEEE double division: a / b, with x/0 giving +-inf or NaN."""
    if b == 0.0:
        if a == 0.0 or a != a:
            return math.nan
        neg = (math.copysign(1.0, a) < 0) != (math.copysign(1.0, b) < 0)
        return -math.inf if neg else math.inf
    return a / b


def to_int(v):
    """Round half to even to a signed 32-bit integer.

    NaN, infinities and results outside the 32-bit signed range give
    INT_MIN (the same result as the x86 conversion instruction).
    """
    if v != v or v == math.inf or v == -math.inf:
        return INT_MIN
    r = round(v)  # Python rounds floats half to even
    if r < INT_MIN or r > INT_MAX:
        return INT_MIN
    return r


def min3(a, b, c):
    m = a
    if b < m:
        m = b
    if c < m:
        m = c
    return m


def max3(a, b, c):
    m = a
    if b > m:
        m = b
    if c > m:
        m = c
    return m


# A double w rounds to a float32 that is >= 0 exactly when w >= -2**-150:
# every negative w down to -2**-150 (a tie, broken towards the even -0.0)
# underflows to -0.0, which compares >= 0; anything more negative stays
# negative (or -inf); NaN compares false either way.  The inside test uses
# this to decide "float32(w) >= 0" without packing each weight.
WEIGHT_LIMIT = -(2.0 ** -150)


class QuarvelError(Exception):
    """An error that ends the run with its text on stderr."""


# ---------------------------------------------------------------------------
# Scene: one mesh (vertex pool + faces) on one model frame
# ---------------------------------------------------------------------------

class Mesh:
    def __init__(self):
        self.vertices = []   # [x, y, z] float32 values, the vertex pool
        self.faces = []      # (i0, i1, i2) indices into the vertex pool

    def add_faces(self, vertex_list, faces):
        """Append a whole vertex list to the pool and faces indexing it."""
        base = len(self.vertices)
        for v in vertex_list:
            self.vertices.append(list(v))
        for a, b, c in faces:
            self.faces.append((base + a, base + b, base + c))

    def box(self):
        """Axis-aligned box of the vertex pool: (min, max)."""
        if not self.vertices:
            return [0.0, 0.0, 0.0], [0.0, 0.0, 0.0]
        mn = list(self.vertices[0])
        mx = list(self.vertices[0])
        for v in self.vertices[1:]:
            for k in range(3):
                if v[k] < mn[k]:
                    mn[k] = v[k]
                if v[k] > mx[k]:
                    mx[k] = v[k]
        return mn, mx

    def translate(self, ox, oy, oz):
        ox, oy, oz = f32(ox), f32(oy), f32(oz)
        for v in self.vertices:
            v[0] = f32(v[0] + ox)
            v[1] = f32(v[1] + oy)
            v[2] = f32(v[2] + oz)

    def scale(self, sx, sy, sz):
        sx, sy, sz = f32(sx), f32(sy), f32(sz)
        for v in self.vertices:
            v[0] = f32(v[0] * sx)
            v[1] = f32(v[1] * sy)
            v[2] = f32(v[2] * sz)


class Frame:
    """The model frame: float32 orientation R (row vectors) and position."""

    def __init__(self):
        self.R = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
        self.pos = [0.0, 0.0, 15.0]
        self.axis = (0.0, 1.0, 0.0)
        self.theta = f32(0.05)

    def set_rotation(self, ax, ay, az, theta):
        self.axis = (f32(ax), f32(ay), f32(az))
        self.theta = f32(theta)

    def tick(self):
        """Turn the orientation once by theta about the scene-frame axis."""
        x, y, z = self.axis
        length = math.sqrt(x * x + y * y + z * z)
        if length == 0.0:
            return
        x = x / length
        y = y / length
        z = z / length
        c = math.cos(self.theta)
        s = math.sin(self.theta)
        t = 1.0 - c
        rot = [
            [t * x * x + c, t * x * y + s * z, t * x * z - s * y],
            [t * x * y - s * z, t * y * y + c, t * y * z + s * x],
            [t * x * z + s * y, t * y * z - s * x, t * z * z + c],
        ]
        R = self.R
        self.R = [[f32(R[i][0] * rot[0][j] + R[i][1] * rot[1][j]
                       + R[i][2] * rot[2][j])
                   for j in range(3)]
                  for i in range(3)]

    def transform(self):
        """4x4 transform, M[row][column], translation in the fourth row."""
        R = self.R
        return [[R[0][0], R[0][1], R[0][2], 0.0],
                [R[1][0], R[1][1], R[1][2], 0.0],
                [R[2][0], R[2][1], R[2][2], 0.0],
                [self.pos[0], self.pos[1], self.pos[2], 1.0]]


class Scene:
    def __init__(self):
        self.mesh = Mesh()
        self.frame = Frame()
        self.face_counter = 0
        self.extents = (0.0, 0.0, 0.0)
        self.fit_scale = 1.0
        self.reference_depth = 15.0

    def fit(self):
        """Centre the mesh on the frame origin, scale largest side to 9."""
        mn, mx = self.mesh.box()
        ex = f32(abs(mx[0] - mn[0]))
        ey = f32(abs(mx[1] - mn[1]))
        ez = f32(abs(mx[2] - mn[2]))
        self.extents = (ex, ey, ez)
        self.mesh.translate(f32(ex * 0.5 - mx[0]),
                            f32(ey * 0.5 - mx[1]),
                            f32(ez * 0.5 - mx[2]))
        largest = ex
        if ey > largest:
            largest = ey
        if ez > largest:
            largest = ez
        if largest == 0.0:
            # Nothing to scale by (no faces, or all vertices coincide).
            self.fit_scale = 1.0
            return
        self.fit_scale = f32(9.0 / largest)
        self.mesh.scale(self.fit_scale, self.fit_scale, self.fit_scale)


# ---------------------------------------------------------------------------
# .3ds reader
# ---------------------------------------------------------------------------

CHUNK_EDITOR = 0x3D3D
CHUNK_OBJECT = 0x4000
CHUNK_TRIMESH = 0x4100
CHUNK_VERTICES = 0x4110
CHUNK_FACES = 0x4120


def is_supported_file(name):
    """True when the extension (after the last '/') is .3ds, any case."""
    base = name[name.rfind('/') + 1:]
    dot = base.rfind('.')
    ext = base[dot:] if dot >= 0 else ''
    return ext.lower() == '.3ds'


class Reader:
    """Walks the chunk tree of a .3ds file held in memory."""

    def __init__(self, data, mesh):
        self.data = data
        self.size = len(data)
        self.mesh = mesh
        self.face_counter = 0
        self.vertex_list = None

    def read(self, pos, n):
        if pos < 0 or pos + n > self.size:
            raise QuarvelError('Stream read error')
        return self.data[pos:pos + n]

    def header(self, pos):
        """Chunk id (unsigned 16) and length (signed 32) at pos."""
        return struct.unpack('<Hi', self.read(pos, 6))

    def import_file(self):
        _, length = self.header(0)
        if length != self.size:
            raise QuarvelError('Error parsing 3DS file')
        pos = 6
        while True:
            start = pos
            cid, length = self.header(start)
            if length < 6:
                break
            if cid == CHUNK_EDITOR:
                pos = start + 6
            else:
                pos = start + length
                if cid == CHUNK_OBJECT:
                    self.read_named_object(start, pos)
            if not pos < self.size:
                break
        return self.face_counter

    def read_named_object(self, start, end):
        p = start + 6
        while self.read(p, 1) != b'\0':    # the name, up to its zero byte
            p += 1
        p += 1
        while p < end:
            cid, length = self.header(p)
            if length < 6:
                break
            if cid == CHUNK_TRIMESH:
                self.read_triangle_mesh(p, p + length)
            p += length

    def read_triangle_mesh(self, start, end):
        self.vertex_list = None
        p = start + 6
        while p < end:
            if not self.size - p > 6:
                break
            cid, length = self.header(p)
            if length < 6:
                break
            if cid == CHUNK_VERTICES:
                self.read_vertex_list(p + 6)
            elif cid == CHUNK_FACES:
                self.read_face_list(p + 6)
            p += length

    def read_vertex_list(self, p):
        (count,) = struct.unpack('<H', self.read(p, 2))
        p += 2
        raw = self.read(p, 12 * count)
        vertices = []
        for k in range(count):
            x, y, z = struct.unpack_from('<fff', raw, 12 * k)
            vertices.append((x, z, y))     # file y is depth, file z is up
        self.vertex_list = vertices

    def read_face_list(self, p):
        if self.vertex_list is None:
            return                         # nothing to index: list skipped
        (count,) = struct.unpack('<H', self.read(p, 2))
        p += 2
        raw = self.read(p, 8 * count)
        n = len(self.vertex_list)
        faces = []
        for k in range(count):
            a, b, c, _flags = struct.unpack_from('<HHHH', raw, 8 * k)
            if a >= n or b >= n or c >= n:
                continue                   # index outside the vertex list
            faces.append((c, b, a))        # reversed order keeps the front
        self.mesh.add_faces(self.vertex_list, faces)
        self.face_counter += len(faces)
        self.vertex_list = None


def load_model(name):
    """Check the type, read the file and fit the model; returns a Scene."""
    if not is_supported_file(name):
        raise QuarvelError('Unsupported input file type')
    try:
        with open(name, 'rb') as f:
            data = f.read()
    except OSError:
        raise QuarvelError('Cannot open file %s' % name)
    scene = Scene()
    reader = Reader(data, scene.mesh)
    scene.face_counter = reader.import_file()
    scene.fit()
    scene.reference_depth = scene.frame.transform()[3][2]
    return scene


# ---------------------------------------------------------------------------
# Depth rasteriser
# ---------------------------------------------------------------------------

def transform_point(M, p):
    x, y, z = p
    return (f32(M[0][0] * x + M[1][0] * y + M[2][0] * z + M[3][0]),
            f32(M[0][1] * x + M[1][1] * y + M[2][1] * z + M[3][1]),
            f32(M[0][2] * x + M[1][2] * y + M[2][2] * z + M[3][2]))


def transform_box(M, mn, mx):
    corners = [transform_point(M, (cx, cy, cz))
               for cx in (mn[0], mx[0])
               for cy in (mn[1], mx[1])
               for cz in (mn[2], mx[2])]
    nmn = list(corners[0])
    nmx = list(corners[0])
    for c in corners[1:]:
        for k in range(3):
            if c[k] < nmn[k]:
                nmn[k] = c[k]
            if c[k] > nmx[k]:
                nmx[k] = c[k]
    return nmn, nmx


class Renderer:
    def __init__(self, scene, width, height):
        self.scene = scene
        self.W = width
        self.H = height
        self.mask = None
        self.info = {}

    def render(self):
        scene = self.scene
        W, H = self.W, self.H
        M = scene.frame.transform()
        self.M = M
        bmn, bmx = transform_box(M, *scene.mesh.box())
        ex = f32(abs(bmx[0] - bmn[0]))
        ey = f32(abs(bmx[1] - bmn[1]))
        ez = f32(abs(bmx[2] - bmn[2]))
        near_z = bmn[2]
        depth_scale = f32(fdiv(255.0, ez))

        # Row 0 is the top of the picture.
        self.mask = [bytearray(W) for _ in range(H)]

        E = ex
        if ey > E:
            E = ey
        if ez > E:
            E = ez
        if W < H:
            ps = f32(fdiv(W, E) * 0.8)
        else:
            ps = f32(fdiv(H, E) * 0.8)
        ps = f32(fdiv(ps * scene.reference_depth, M[3][2]))

        self.near_z = near_z
        self.depth_scale = depth_scale
        self.pixel_scale = ps
        self.info = {
            'RenderBox.min': bmn, 'RenderBox.max': bmx,
            'ExtentX': ex, 'ExtentY': ey, 'ExtentZ': ez,
            'NearZ': near_z, 'DepthScale': depth_scale, 'PixelScale': ps,
        }

        # Sample points depend only on the column or row, so they are
        # worked out once per render.  The inside test uses the float32
        # point (quotient rounded, then the difference rounded); the
        # plane depth uses the unrounded double point.
        half_w = W * 0.5
        half_h = H * 0.5
        hw_q = fdiv(half_w, ps)
        hh_q = fdiv(half_h, ps)
        self.sx = [f32(f32(fdiv(j, ps)) - hw_q) for j in range(W)]
        self.sy = [f32(f32(fdiv(i, ps)) - hh_q) for i in range(H)]
        self.dx = [fdiv(j - half_w, ps) for j in range(W)]
        self.dy = [fdiv(i - half_h, ps) for i in range(H)]

        verts = scene.mesh.vertices
        for (i0, i1, i2) in scene.mesh.faces:
            self.draw_face(transform_point(M, verts[i0]),
                           transform_point(M, verts[i1]),
                           transform_point(M, verts[i2]))
        return self.mask

    def draw_face(self, P0, P1, P2):
        W, H = self.W, self.H
        ps = self.pixel_scale
        x0, y0, z0 = P0
        x1, y1, z1 = P1
        x2, y2, z2 = P2

        area2 = f32((x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0))
        if area2 == 0.0:
            return      # seen edge-on: nothing to draw
        if area2 != area2:
            return      # NaN area: every weight is NaN, nothing is inside

        min_x = min3(x0, x1, x2)
        max_x = max3(x0, x1, x2)
        min_y = min3(y0, y1, y2)
        max_y = max3(y0, y1, y2)

        # Plane through the three points: n = (P1 - P0) x (P2 - P0),
        # d = n . P0; depth z(x, y) = (d - nx*x - ny*y) / nz.
        nx = f32((y1 - y0) * (z2 - z0) - (z1 - z0) * (y2 - y0))
        ny = f32((z1 - z0) * (x2 - x0) - (x1 - x0) * (z2 - z0))
        nz = f32((x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0))
        d = f32(nx * x0 + ny * y0 + nz * z0)

        # Rows counted from the bottom of the picture.
        r0 = to_int(min_y * ps + H * 0.5)
        if r0 < 0:
            r0 = 0
        r1 = to_int(max_y * ps + H * 0.5)
        if r1 > H - 1:
            r1 = H - 1
        if r1 < r0:
            return
        c0 = to_int(min_x * ps + W * 0.5)
        if c0 < 0:
            c0 = 0
        c1 = to_int(max_x * ps + W * 0.5)
        if c1 > W - 1:
            c1 = W - 1

        near_z = self.near_z
        depth_scale = self.depth_scale
        sx, sy, dx, dy = self.sx, self.sy, self.dx, self.dy
        mask = self.mask
        lim = WEIGHT_LIMIT
        pack, unpack = _F32.pack, _F32.unpack

        # Edge function E(a, b) = (xb - xa)*(y - ya) - (yb - ya)*(x - xa);
        # w0 = E(1,2)/Area2, w1 = E(2,0)/Area2, w2 = E(0,1)/Area2.
        e0x, e0y = x2 - x1, y2 - y1
        e1x, e1y = x0 - x2, y0 - y2
        e2x, e2y = x1 - x0, y1 - y0

        for i in range(max(r0, 1), r1 + 1):
            row = mask[H - i]
            y = sy[i]
            t0 = e0x * (y - y1)
            t1 = e1x * (y - y2)
            t2 = e2x * (y - y0)
            ny_y = ny * dy[i]
            for j in range(c0, c1 + 1):
                x = sx[j]
                if not ((t0 - e0y * (x - x1)) / area2 >= lim):
                    continue
                if not ((t1 - e1y * (x - x2)) / area2 >= lim):
                    continue
                if not ((t2 - e2y * (x - x0)) / area2 >= lim):
                    continue
                zd = ((d - nx * dx[j]) - ny_y) / nz
                try:
                    z = unpack(pack(zd))[0]
                except OverflowError:
                    z = math.copysign(math.inf, zd)
                value = to_int((z - near_z) * depth_scale)
                byte = 255 - (value & 0xFF)
                if byte > row[j]:
                    row[j] = byte


# ---------------------------------------------------------------------------
# BMP writer
# ---------------------------------------------------------------------------

def bmp_bytes(mask, width, height):
    stride = ((8 * width + 31) // 32) * 4
    image_size = stride * height
    out = bytearray()
    out += struct.pack('<2sIHHI', b'BM', 14 + 1064 + image_size, 0, 0, 1078)
    out += struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0,
                       image_size, 0, 0, 0, 0)
    for i in range(256):
        out += bytes((i, i, i, 0))
    pad = bytes(stride - width)
    for r in range(height - 1, -1, -1):   # bottom row first
        out += mask[r]
        out += pad
    return bytes(out)


# ---------------------------------------------------------------------------
# View operations and command line
# ---------------------------------------------------------------------------

CLICK_ANGLE = f32(0.05)
AXES = {'x': (1.0, 0.0, 0.0), 'y': (0.0, 1.0, 0.0), 'z': (0.0, 0.0, 1.0)}


def parse_axis(text):
    t = text.strip().lower()
    if t in AXES:
        return AXES[t]
    parts = t.split(',')
    if len(parts) != 3:
        raise ValueError('bad axis: %r' % text)
    return tuple(f32(float(p)) for p in parts)


def apply_operation(scene, op, arg):
    if op == '--rotate':
        axis_text, _, angle_text = arg.rpartition(':')
        ax, ay, az = parse_axis(axis_text)
        scene.frame.set_rotation(ax, ay, az, f32(float(angle_text)))
        scene.frame.tick()
    elif op == '--clicks':
        axis_text, _, n_text = arg.rpartition(':')
        if axis_text.strip().lower() not in AXES:
            raise ValueError('bad axis: %r' % axis_text)
        ax, ay, az = AXES[axis_text.strip().lower()]
        n = int(n_text)
        angle = CLICK_ANGLE if n > 0 else -CLICK_ANGLE
        for _ in range(abs(n)):
            scene.frame.set_rotation(ax, ay, az, angle)
            scene.frame.tick()
    elif op == '--move-x':
        scene.mesh.translate(f32(float(arg)), 0.0, 0.0)
    elif op == '--move-y':
        scene.mesh.translate(0.0, f32(float(arg)), 0.0)
    elif op == '--move-z':
        scene.frame.pos[2] = f32(scene.frame.pos[2] + f32(float(arg)))
    else:
        raise ValueError('unknown operation %s' % op)


USAGE = ('usage: quarvel_ref.py MODEL.3ds -o OUT.bmp [--size WxH] '
         '[--rotate AXIS:RAD] [--clicks AXIS:N] [--move-x S] [--move-y S] '
         '[--move-z S] [--dump]')

VALUE_OPTIONS = ('-o', '--size', '--rotate', '--clicks',
                 '--move-x', '--move-y', '--move-z')


def parse_args(argv):
    model = None
    out = None
    width, height = 640, 480
    ops = []
    dump = False
    k = 0
    while k < len(argv):
        a = argv[k]
        k += 1
        name, eq, val = a.partition('=')
        if a.startswith('-') and name in VALUE_OPTIONS:
            if not eq:
                if k >= len(argv):
                    raise ValueError('%s needs a value' % name)
                val = argv[k]
                k += 1
            if name == '-o':
                out = val
            elif name == '--size':
                w, _, h = val.lower().partition('x')
                width, height = int(w), int(h)
                if width < 1 or height < 1:
                    raise ValueError('bad size %r' % val)
            else:
                ops.append((name, val))
        elif a == '--dump':
            dump = True
        elif a in ('-h', '--help'):
            print(USAGE)
            sys.exit(0)
        elif model is None:
            model = a
        else:
            raise ValueError('unexpected argument %r' % a)
    if model is None or out is None:
        raise ValueError('a model and -o OUT.bmp are needed')
    return model, out, width, height, ops, dump


def print_dump(scene, renderer):
    print('faces imported: %d' % scene.face_counter)
    print('mesh faces: %d, vertices: %d' % (len(scene.mesh.faces),
                                            len(scene.mesh.vertices)))
    print('fit extents: %r' % (scene.extents,))
    print('FitScale: %r' % scene.fit_scale)
    print('ReferenceDepth: %r' % scene.reference_depth)
    for r, row in enumerate(renderer.M):
        print('M[%d]: %r' % (r, row))
    for key, value in renderer.info.items():
        print('%s: %r' % (key, value))


def main(argv):
    try:
        model, out, width, height, ops, dump = parse_args(argv)
    except ValueError as e:
        sys.stderr.write('%s\n%s\n' % (e, USAGE))
        return 2
    try:
        scene = load_model(model)
        for op, arg in ops:
            try:
                apply_operation(scene, op, arg)
            except ValueError as e:
                sys.stderr.write('%s %s: %s\n' % (op, arg, e))
                return 2
        renderer = Renderer(scene, width, height)
        mask = renderer.render()
        data = bmp_bytes(mask, width, height)
        try:
            with open(out, 'wb') as f:
                f.write(data)
        except OSError:
            raise QuarvelError('Cannot create file %s' % out)
    except QuarvelError as e:
        sys.stderr.write('%s\n' % e)
        return 3
    if dump:
        print_dump(scene, renderer)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
