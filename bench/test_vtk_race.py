#!/usr/bin/python3
"""Checks of the race's VTK side: its dataset and transfer-function readers, the
camera that must reproduce Orvex's view, and VTK's stand-in tables. Run by hand
(not part of the test suite, which does not install VTK):

    /usr/bin/python3 bench/test_vtk_race.py

With an X server (e.g. under `xvfb-run -a`) and ORVEX_RENDER naming a built
orvex-render, it also renders one off-centre block with both renderers and checks
that it lands on the same pixels.
"""

import math
import os
import random
import struct
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vtk_race  # noqa: E402


def raw_bytes(dims, values, extra=b""):
    return struct.pack("<3h", *dims) + struct.pack(f"<{len(values)}h", *values) + extra


def trf_record(position, red, green, blue, opacity, padding=b"\0\0", link=0):
    return struct.pack("<h", position) + padding + struct.pack("<4fI", red, green, blue,
                                                               opacity, link)


class TempFiles(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path


class ReadRaw(TempFiles):
    def test_values_byte_order_and_layout(self):
        values = [0, 1, -1, 4095, 256, -32768, 32767, 2, 3, 4, 5, 6]
        path = self.write("v.dat", raw_bytes((3, 2, 2), values))
        dims_x, dims_y, dims_z, voxels = vtk_race.read_raw(path)
        self.assertEqual((dims_x, dims_y, dims_z), (3, 2, 2))
        self.assertEqual(voxels.tolist(), values)
        self.assertEqual(voxels.dtype.itemsize, 2)

    def test_bytes_after_the_last_voxel_are_ignored(self):
        path = self.write("v.dat", raw_bytes((2, 1, 1), [7, 8], extra=b"\x01\x02\x03"))
        *_, voxels = vtk_race.read_raw(path)
        self.assertEqual(voxels.tolist(), [7, 8])

    def test_truncated_files_are_refused(self):
        whole = raw_bytes((2, 2, 2), list(range(8)))
        for length in (0, 1, 5, 6, 7, len(whole) - 1):
            with self.subTest(length=length):
                path = self.write("t.dat", whole[:length])
                with self.assertRaises(vtk_race.InputError):
                    vtk_race.read_raw(path)

    def test_bad_dimensions_are_refused(self):
        for dims in ((0, 2, 2), (2, -1, 2), (2, 2, -32768)):
            with self.subTest(dims=dims):
                path = self.write("d.dat", struct.pack("<3h", *dims) + b"\0" * 64)
                with self.assertRaises(vtk_race.InputError):
                    vtk_race.read_raw(path)

    def test_garbage_is_refused_or_read_whole(self):
        rng = random.Random(7)
        for i in range(50):
            data = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 200)))
            path = self.write("g.dat", data)
            try:
                dims_x, dims_y, dims_z, voxels = vtk_race.read_raw(path)
            except vtk_race.InputError:
                continue
            # Accepted only when the header's voxels are all there.
            self.assertEqual(voxels.size, dims_x * dims_y * dims_z)
            self.assertLessEqual(6 + 2 * voxels.size, len(data))

    def test_missing_file(self):
        with self.assertRaises(vtk_race.InputError):
            vtk_race.read_raw(os.path.join(self.dir.name, "none.dat"))


class ReadTrf(TempFiles):
    def test_records_padding_and_link_word(self):
        data = (trf_record(0, 0.0, 0.0, 0.0, 0.0, padding=b"\xab\xcd", link=0xDEADBEEF) +
                trf_record(4095, 1.0, 0.5, 0.25, 0.75))
        points = vtk_race.read_trf(self.write("a.trf", data))
        self.assertEqual(points, [(0, 0.0, 0.0, 0.0, 0.0), (4095, 1.0, 0.5, 0.25, 0.75)])

    def test_order_duplicates_and_range(self):
        data = (trf_record(300, 1, 1, 1, 1) + trf_record(100, 0.5, 0, 0, 0) +
                trf_record(300, 0.25, 0.5, 0.75, 0.5) + trf_record(-1, 1, 1, 1, 1) +
                trf_record(4096, 1, 1, 1, 1))
        points = vtk_race.read_trf(self.write("b.trf", data))
        self.assertEqual(points, [(100, 0.5, 0.0, 0.0, 0.0), (300, 0.25, 0.5, 0.75, 0.5)])

    def test_trailing_partial_record_is_ignored(self):
        data = trf_record(0, 0, 0, 0, 0) + trf_record(4095, 1, 1, 1, 1) + b"\x01" * 12
        self.assertEqual(len(vtk_race.read_trf(self.write("c.trf", data))), 2)

    def test_short_empty_and_missing_files_are_refused(self):
        for data in (b"", b"\0" * 23):
            with self.subTest(length=len(data)):
                with self.assertRaises(vtk_race.InputError):
                    vtk_race.read_trf(self.write("e.trf", data))
        with self.assertRaises(vtk_race.InputError):
            vtk_race.read_trf(os.path.join(self.dir.name, "none.trf"))

    def test_values_that_are_not_numbers_are_refused(self):
        for bad in (math.nan, math.inf, -math.inf):
            with self.subTest(value=bad):
                data = trf_record(0, 0, 0, 0, 0) + trf_record(10, 1, bad, 1, 1)
                with self.assertRaises(vtk_race.InputError):
                    vtk_race.read_trf(self.write("n.trf", data))

    def test_garbage_never_escapes_as_another_error(self):
        rng = random.Random(11)
        for i in range(50):
            data = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 150)))
            try:
                points = vtk_race.read_trf(self.write("g.trf", data))
            except vtk_race.InputError:
                continue
            positions = [p[0] for p in points]
            self.assertEqual(positions, sorted(set(positions)))
            self.assertTrue(all(0 <= p <= 4095 for p in positions))


def rotation(axis, angle):
    """The viewer's right-handed rotation matrices, rows as they are defined."""
    c, s = math.cos(angle), math.sin(angle)
    if axis == 0:
        return [[1, 0, 0], [0, c, -s], [0, s, c]]
    if axis == 1:
        return [[c, 0, s], [0, 1, 0], [-s, 0, c]]
    return [[c, -s, 0], [s, c, 0], [0, 0, 1]]


def apply(m, v):
    return [sum(m[r][k] * v[k] for k in range(3)) for r in range(3)]


class Camera(unittest.TestCase):
    def assertVector(self, got, expected):
        for g, e in zip(got, expected):
            self.assertAlmostEqual(g, e, places=9)

    def test_default_view_looks_along_y_with_z_up(self):
        lon, lat = 0.0, math.radians(90)
        self.assertVector(vtk_race.rotate_view((0, 0, 1), lon, lat), (0, 1, 0))
        self.assertVector(vtk_race.rotate_view((0, -1, 0), lon, lat), (0, 0, 1))
        self.assertVector(vtk_race.rotate_view((1, 0, 0), lon, lat), (1, 0, 0))

    def test_rotation_matches_the_view_matrices(self):
        for lon_deg, lat_deg in ((0, 0), (30, 0), (0, -45), (125, 70), (-200, 15)):
            lon, lat = math.radians(lon_deg), math.radians(lat_deg)
            for v in ((1, 0, 0), (0, 1, 0), (0, 0, 1), (0.3, -0.5, 0.8)):
                expected = apply(rotation(0, -lat), apply(rotation(1, -lon), v))
                with self.subTest(lon=lon_deg, lat=lat_deg, v=v):
                    self.assertVector(vtk_race.rotate_view(v, lon, lat), expected)

    def test_camera_placement(self):
        import vtk
        dims = (256, 256, 128)  # diagonal 384
        camera = vtk.vtkCamera()
        vtk_race.set_camera(camera, dims, 692, 448, 0, 90)
        self.assertVector(camera.GetFocalPoint(), (128, 128, 64))
        self.assertVector(camera.GetPosition(), (128, 128 - 2.2 * 192, 64))
        self.assertVector(camera.GetViewUp(), (0, 0, 1))
        self.assertAlmostEqual(camera.GetViewAngle(), 45.2397299, places=6)
        self.assertFalse(camera.GetUseHorizontalViewAngle())
        near, far = camera.GetClippingRange()
        self.assertAlmostEqual(near, 1.2 * 192, places=6)
        self.assertAlmostEqual(far, 3.2 * 192, places=6)
        # A tall image keeps the horizontal extent, as the viewer does.
        vtk_race.set_camera(camera, dims, 300, 500, 0, 90)
        self.assertTrue(camera.GetUseHorizontalViewAngle())


class Tables(unittest.TestCase):
    def test_window_opacity(self):
        import vtk
        f = vtk_race.window_opacity(vtk, 100, 200)
        for value, expected in ((0, 0), (99, 0), (100, 0), (101, 1), (150, 1), (199, 1),
                                (200, 0), (201, 0), (4095, 0)):
            with self.subTest(value=value):
                self.assertAlmostEqual(f.GetValue(value), expected)
        for lower, upper in ((200, 100), (150, 150), (150, 151)):
            f = vtk_race.window_opacity(vtk, lower, upper)
            for value in range(0, 400, 7):
                self.assertEqual(f.GetValue(value), 0.0, (lower, upper, value))
        f = vtk_race.window_opacity(vtk, 150, 152)
        self.assertEqual([f.GetValue(v) for v in (150, 151, 152)], [0.0, 1.0, 0.0])

    def test_colours_are_zero_outside_the_points(self):
        import vtk
        color, opacity = vtk_race.table_functions(
            vtk, [(100, 0.0, 0.2, 1.0, 0.0), (200, 1.0, 0.4, 0.0, 0.5)])
        self.assertEqual(color.GetColor(50), (0.0, 0.0, 0.0))
        self.assertEqual(color.GetColor(250), (0.0, 0.0, 0.0))
        self.assertEqual(opacity.GetValue(250), 0.0)
        for got, expected in zip(color.GetColor(150), (0.5, 0.3, 0.5)):
            self.assertAlmostEqual(got, expected)
        self.assertAlmostEqual(opacity.GetValue(150), 0.25)


@unittest.skipUnless(os.environ.get("ORVEX_RACE_VOLUME"),
                     "needs ORVEX_RACE_VOLUME=path/to/orvex-race-volume")
class CtScan(TempFiles):
    def test_vtk_reads_the_voxels_and_values_of_the_import(self):
        """The CT-like scan: VTK's NIfTI reader gives the voxels of the import in
        the same order; the scan spans the 12 bits -1024..3071, so the import's
        values are HU + 1024, and the table's positions move onto the same HU."""
        import vtk
        from vtkmodules.util import numpy_support
        tool = os.environ["ORVEX_RACE_VOLUME"]
        nii, dat = (os.path.join(self.dir.name, name) for name in ("ct.nii", "ct.dat"))
        subprocess.run([tool, nii, "--ct", "64", "56", "48"], check=True)
        subprocess.run([tool, dat, "--import", nii], check=True, capture_output=True)
        image, _, low, high = vtk_race.read_nifti(vtk, nii)
        *dims, voxels = vtk_race.read_raw(dat)
        self.assertEqual(image.GetDimensions(), tuple(dims))
        self.assertEqual((low, high), (-1024, 3071))
        scan = numpy_support.vtk_to_numpy(image.GetPointData().GetScalars()).astype(int)
        self.assertEqual((scan + 1024).tolist(), voxels.tolist())
        points = vtk_race.scan_points([(0, 0, 0, 0, 0), (2048, 1, 0.5, 0, 1)], low, high)
        self.assertEqual(points, [(-1024, 0, 0, 0, 0), (1024, 1, 0.5, 0, 1)])


@unittest.skipUnless(os.environ.get("DISPLAY") and os.environ.get("ORVEX_RENDER"),
                     "needs an X server and ORVEX_RENDER=path/to/orvex-render")
class SameView(TempFiles):
    """An off-centre block, shown by First Hit in both renderers, must cover the
    same pixels: right of the centre (+x) and above it (+z), seen along +y."""

    def lit_box(self, path):
        import vtk
        from vtkmodules.util import numpy_support
        reader = vtk.vtkPNGReader()
        reader.SetFileName(path)
        reader.Update()
        image = reader.GetOutput()
        w, h, _ = image.GetDimensions()
        pixels = numpy_support.vtk_to_numpy(image.GetPointData().GetScalars())
        lit = pixels.reshape(h, w, -1)[::-1, :, :3].max(axis=2) > 100  # row 0 at the top
        rows = lit.any(axis=1).nonzero()[0]
        cols = lit.any(axis=0).nonzero()[0]
        self.assertTrue(rows.size and cols.size, f"{path} shows nothing")
        return cols[0], cols[-1], rows[0], rows[-1], w, h

    def test_block_lands_on_the_same_pixels(self):
        dims = (64, 48, 40)
        values = []
        for z in range(dims[2]):
            for y in range(dims[1]):
                for x in range(dims[0]):
                    inside = 40 <= x < 56 and 10 <= y < 30 and 25 <= z < 35
                    values.append(2000 if inside else 0)
        dataset = self.write("block.dat", raw_bytes(dims, values))
        table = self.write("white.trf", trf_record(0, 1, 1, 1, 0) + trf_record(4095, 1, 1, 1, 1))
        prefix = os.path.join(self.dir.name, "block")
        subprocess.run([os.environ["ORVEX_RENDER"], dataset, "--tf", table, "--type",
                        "firsthit", "--lower", "1000", "--upper", "3000", "-o",
                        prefix + "-firsthit-orvex.png"], check=True, capture_output=True)
        subprocess.run([sys.executable, os.path.join(os.path.dirname(vtk_race.__file__),
                                                     "vtk_race.py"),
                        dataset, table, "--modes", "firsthit", "--threads", "1", "--frames",
                        "1", "--lower", "1000", "--upper", "3000", "--png-prefix", prefix],
                       check=True, capture_output=True)
        orvex = self.lit_box(prefix + "-firsthit-orvex.png")
        vtk_box = self.lit_box(prefix + "-firsthit-vtk.png")
        left, right, top, bottom, w, h = orvex
        self.assertGreater(left, w // 2, "the block lies right of the centre")
        self.assertLess(bottom, h // 2, "the block lies above the centre")
        for a, b, edge in zip(orvex[:4], vtk_box[:4], ("left", "right", "top", "bottom")):
            self.assertLessEqual(abs(int(a) - int(b)), 2, f"{edge}: Orvex {a}, VTK {b}")


if __name__ == "__main__":
    unittest.main()
