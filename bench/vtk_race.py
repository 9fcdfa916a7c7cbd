#!/usr/bin/python3
"""Times VTK's CPU ray caster on an Orvex dataset, in the view that Orvex shows.

Reads a RAW volume (*.dat) and a transfer function (*.trf) as Orvex does (or,
with --nifti, a NIfTI scan through VTK's own reader), renders
them with vtkFixedPointVolumeRayCastMapper in an offscreen window of the given
size, from Orvex's camera, and prints one RESULT line per case: the median, the
fastest and the slowest of several full-resolution frames after a warm-up frame
(then the warm-up frame, the mapper's own time and the processor time of the
process per frame, all threads, medians).
The warm-up frame carries VTK's one-time costs (context, gradients, tables) and is
reported apart. With --nifti the STARTUP line's read_ms is vtkNIFTIImageReader's
read of the file: read_ms plus the first case's warm-up frame is VTK's time from
the file to its first picture.

Run it with Debian's /usr/bin/python3 (python3-vtk9, python3-numpy) under an X
server, e.g. `xvfb-run -a`. bench/race drives it; see --help for the options.
"""

import time

T_START = time.perf_counter()

import argparse  # noqa: E402
import math  # noqa: E402
import os  # noqa: E402
import statistics  # noqa: E402
import struct  # noqa: E402
import sys  # noqa: E402

# Orvex's camera: the eye looks at the volume's centre from 2.2 half-diagonals,
# its image plane at 1.2 spans 1.0 across the shorter side, and every ray is
# sampled from 1.2 to 3.2 half-diagonals (the bounding sphere).
EYE_DISTANCE = 2.2
NEAR = 1.2
FAR = 3.2
VIEW_ANGLE = math.degrees(2.0 * math.atan(0.5 / NEAR))

# Orvex's Levoy opacity is the table opacity times the gradient length divided by
# 3547.5, its shading 0.7 diffuse plus 0.3 specular with exponent 30, no ambient.
OPACITY_GRADIENT = 3547.5
LEVOY_DIFFUSE = 0.7
LEVOY_SPECULAR = 0.3
LEVOY_POWER = 30.0

MODES = ("levoy", "xray", "firsthit")
SAMPLINGS = ("nearest", "trilinear")


class InputError(Exception):
    """A dataset or transfer function file that cannot be used."""


def read_raw(path):
    """Returns (dimX, dimY, dimZ, voxels) of a RAW dataset: three little-endian
    int16 dimensions, then dimX * dimY * dimZ little-endian int16 voxels, x fastest.
    Bytes after the last voxel are ignored, as Orvex ignores them."""
    import numpy

    try:
        size = os.path.getsize(path)
        with open(path, "rb") as f:
            header = f.read(6)
            if len(header) < 6:
                raise InputError(f"{path}: header cut short ({len(header)} of 6 bytes)")
            dims = struct.unpack("<3h", header)
            if min(dims) < 1:
                raise InputError(f"{path}: invalid dimensions {dims[0]} x {dims[1]} x {dims[2]}")
            count = dims[0] * dims[1] * dims[2]
            if 6 + 2 * count > size:
                raise InputError(
                    f"{path}: {size - 6} voxel bytes, but {dims[0]} x {dims[1]} x {dims[2]}"
                    f" needs {2 * count}")
            voxels = numpy.fromfile(f, dtype="<i2", count=count)
    except OSError as e:
        raise InputError(f"{path}: {e.strerror}") from e
    if voxels.size != count:
        raise InputError(f"{path}: read {voxels.size} of {count} voxels")
    return dims[0], dims[1], dims[2], voxels.astype("=i2", copy=False)


def read_trf(path):
    """Returns the control points of a .trf file as a list of (position, red, green,
    blue, opacity), ascending: 24-byte little-endian records of int16 position, two
    padding bytes, four floats and a link word. As in Orvex, a trailing partial
    record and records outside 0..4095 are ignored, and a later record at the same
    position replaces the earlier one. Infinite or NaN values are refused."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise InputError(f"{path}: {e.strerror}") from e
    points = {}
    for offset in range(0, len(data) - 23, 24):
        position, red, green, blue, opacity = struct.unpack_from("<h2x4f4x", data, offset)
        if not all(math.isfinite(v) for v in (red, green, blue, opacity)):
            raise InputError(f"{path}: record {offset // 24} holds a value that is not a number")
        if 0 <= position <= 4095:
            points[position] = (red, green, blue, opacity)
    if not points:
        raise InputError(f"{path}: no control points")
    return [(p,) + points[p] for p in sorted(points)]


def scan_points(points, low, high):
    """The .trf points moved from Orvex's 0..4095 onto a scan's own values: the
    import maps the scan's [low, high] linearly onto 0..4095."""
    scale = (high - low) / 4095.0 if high > low else 1.0
    return [(low + p * scale,) + tuple(rest) for p, *rest in points]


def read_nifti(vtk, path):
    """Returns the scan as VTK's NIfTI reader gives it (on a grid of spacing 1
    from the origin, as the RAW datasets), the reader's time in seconds, and
    the scan's value range (found apart and not given to VTK: the mapper finds
    it itself in its first frame)."""
    from vtkmodules.util import numpy_support

    if not os.path.isfile(path):
        raise InputError(f"{path}: no such file")
    reader = vtk.vtkNIFTIImageReader()
    reader.SetFileName(path)
    t = time.perf_counter()
    reader.Update()
    seconds = time.perf_counter() - t
    image = reader.GetOutput()
    if image.GetNumberOfPoints() == 0:
        raise InputError(f"{path}: VTK's NIfTI reader read no voxels")
    values = numpy_support.vtk_to_numpy(image.GetPointData().GetScalars())
    image.SetOrigin(0.0, 0.0, 0.0)
    image.SetSpacing(1.0, 1.0, 1.0)
    return image, seconds, float(values.min()), float(values.max())


def table_functions(vtk, points):
    """The .trf points as VTK's colour and opacity functions, linear between the
    points and zero outside their span (Orvex leaves those table entries zero)."""
    color = vtk.vtkColorTransferFunction()
    opacity = vtk.vtkPiecewiseFunction()
    for position, red, green, blue, alpha in points:
        color.AddRGBPoint(position, red, green, blue)
        opacity.AddPoint(position, alpha)
    color.ClampingOff()
    opacity.ClampingOff()
    return color, opacity


def window_opacity(vtk, lower, upper):
    """Opacity 1 for the values strictly between the thresholds, 0 elsewhere: VTK's
    stand-in for First Hit's hit test (the fixed-point mapper has no isosurface)."""
    opacity = vtk.vtkPiecewiseFunction()
    opacity.AddPoint(0, 0.0)
    if upper - lower >= 2:
        opacity.AddPoint(lower, 0.0)
        opacity.AddPoint(lower + 1, 1.0)
        opacity.AddPoint(upper - 1, 1.0)
        opacity.AddPoint(upper, 0.0)
    opacity.ClampingOff()
    return opacity


def rotate_view(vector, longitude, latitude):
    """Rx(-latitude) Ry(-longitude) applied to an eye-frame vector (radians): the
    direction in voxel coordinates, as Orvex's view transformation turns it."""
    x, y, z = vector
    c, s = math.cos(-longitude), math.sin(-longitude)
    x, z = c * x + s * z, -s * x + c * z
    c, s = math.cos(-latitude), math.sin(-latitude)
    y, z = c * y - s * z, s * y + c * z
    return x, y, z


def set_camera(camera, dims, width, height, longitude_deg, latitude_deg):
    """Orvex's camera for the given angles. Voxel (i, j, k) sits at VTK's point
    (i, j, k) (origin 0, spacing 1), Orvex's continuous voxel coordinates; the
    picture's top row is Orvex's row 0, so the eye frame's +y points down."""
    diag = math.sqrt(sum(d * d for d in dims))
    half = diag / 2.0
    centre = [d / 2.0 for d in dims]
    longitude = math.radians(longitude_deg)
    latitude = math.radians(latitude_deg)
    forward = rotate_view((0.0, 0.0, 1.0), longitude, latitude)
    up = rotate_view((0.0, -1.0, 0.0), longitude, latitude)
    camera.SetFocalPoint(*centre)
    camera.SetPosition(*[c - EYE_DISTANCE * half * f for c, f in zip(centre, forward)])
    camera.SetViewUp(*up)
    # Orvex's image plane spans 1.0 across its shorter side.
    camera.SetUseHorizontalViewAngle(1 if width < height else 0)
    camera.SetViewAngle(VIEW_ANGLE)
    camera.SetClippingRange(NEAR * half, FAR * half)


def configure(vtk, mapper, prop, mode, sampling, points, dims, lower, upper):
    """Sets the mapper and the volume property for one compositing mode."""
    mapper.SetBlendModeToComposite()
    mapper.SetFinalColorWindow(1.0)
    mapper.SetFinalColorLevel(0.5)
    if sampling == "trilinear":
        prop.SetInterpolationTypeToLinear()
    else:
        prop.SetInterpolationTypeToNearest()
    prop.SetAmbient(0.0)
    prop.SetScalarOpacityUnitDistance(1.0)
    no_gradient = vtk.vtkPiecewiseFunction()
    no_gradient.AddPoint(0, 1.0)
    no_gradient.AddPoint(1e9, 1.0)
    prop.DisableGradientOpacityOff()

    if mode == "levoy":
        # Shaded compositing with gradient-weighted opacity.
        color, opacity = table_functions(vtk, points)
        gradient = vtk.vtkPiecewiseFunction()
        gradient.AddPoint(0.0, 0.0)
        gradient.AddPoint(OPACITY_GRADIENT, 1.0)
        prop.SetColor(color)
        prop.SetScalarOpacity(opacity)
        prop.SetGradientOpacity(gradient)
        prop.ShadeOn()
        prop.SetDiffuse(LEVOY_DIFFUSE)
        prop.SetSpecular(LEVOY_SPECULAR)
        prop.SetSpecularPower(LEVOY_POWER)
    elif mode == "xray":
        # Orvex averages the nearest voxel's value over its N samples. The
        # fixed-point mapper has no average-intensity blend (and renders "additive"
        # as composite), so: unshaded compositing of a grey ramp with the constant
        # opacity 1/N, an average weighted by the light left. Air (0) neither adds
        # nor absorbs, and no ray becomes opaque enough to end early. Orvex shows
        # five times the average: the final colour window 0.2 (level 0.1) scales
        # the picture by 5, once per pixel.
        samples = int(math.sqrt(sum(d * d for d in dims)))
        color = vtk.vtkColorTransferFunction()
        color.AddRGBPoint(0, 0.0, 0.0, 0.0)
        color.AddRGBPoint(4095, 1.0, 1.0, 1.0)
        opacity = vtk.vtkPiecewiseFunction()
        opacity.AddPoint(0, 0.0)
        opacity.AddPoint(1, 1.0 / samples)
        opacity.AddPoint(4095, 1.0 / samples)
        prop.SetColor(color)
        prop.SetScalarOpacity(opacity)
        prop.SetGradientOpacity(no_gradient)
        prop.DisableGradientOpacityOn()
        prop.ShadeOff()
        mapper.SetFinalColorWindow(0.2)
        mapper.SetFinalColorLevel(0.1)
    else:
        # First Hit: the first sample strictly between the thresholds, in the
        # table's colour with diffuse shading only. VTK composites an opacity of 1
        # inside the window and 0 outside, which ends the ray at that sample.
        color, _ = table_functions(vtk, points)
        prop.SetColor(color)
        prop.SetScalarOpacity(window_opacity(vtk, lower, upper))
        prop.SetGradientOpacity(no_gradient)
        prop.DisableGradientOpacityOn()
        prop.ShadeOn()
        prop.SetDiffuse(1.0)
        prop.SetSpecular(0.0)


def parse_size(text):
    try:
        w, h = (int(v) for v in text.lower().split("x"))
    except ValueError:
        raise argparse.ArgumentTypeError(f"expected WxH, not '{text}'")
    if not (1 <= w <= 8192 and 1 <= h <= 8192):
        raise argparse.ArgumentTypeError(f"size out of range: '{text}'")
    return w, h


def parse_list(kind, choices=None):
    def parse(text):
        values = [v for v in text.split(",") if v]
        if not values:
            raise argparse.ArgumentTypeError("empty list")
        out = []
        for v in values:
            if choices is not None:
                if v not in choices:
                    raise argparse.ArgumentTypeError(f"'{v}' is not one of {', '.join(choices)}")
                out.append(v)
            else:
                try:
                    n = kind(v)
                except ValueError:
                    raise argparse.ArgumentTypeError(f"'{v}' is not a number")
                if n < 1 or n > 256:
                    raise argparse.ArgumentTypeError(f"thread count out of range: {v}")
                out.append(n)
        return out
    return parse


def default_sampling(mode):
    # X-Ray reads the nearest voxel in Orvex; the others default to trilinear.
    return "nearest" if mode == "xray" else "trilinear"


def main():
    ap = argparse.ArgumentParser(
        description="Time vtkFixedPointVolumeRayCastMapper on an Orvex dataset in Orvex's view.")
    ap.add_argument("dataset", help="RAW dataset (.dat), or with --nifti a NIfTI scan")
    ap.add_argument("--nifti", action="store_true",
                    help="read the dataset with vtkNIFTIImageReader; the table's 0..4095"
                    " span the scan's values as in Orvex's import")
    ap.add_argument("table", help="transfer function (.trf)")
    ap.add_argument("--modes", type=parse_list(str, MODES), default=list(MODES),
                    help="comma list of levoy, xray, firsthit (default all)")
    ap.add_argument("--sampling", choices=SAMPLINGS,
                    help="interpolation for Levoy and First Hit (default trilinear;"
                    " X-Ray is always nearest)")
    ap.add_argument("--threads", type=parse_list(int), default=[1, 2],
                    help="comma list of thread counts (default 1,2)")
    ap.add_argument("--size", type=parse_size, default=(692, 448), help="WxH, default 692x448")
    ap.add_argument("--frames", type=int, default=5, help="timed frames per case (default 5)")
    ap.add_argument("--longitude", type=float, default=0.0, help="degrees, default 0")
    ap.add_argument("--latitude", type=float, default=90.0, help="degrees, default 90")
    ap.add_argument("--lower", type=int, default=0, help="First Hit lower threshold (default 0)")
    ap.add_argument("--upper", type=int, default=4095,
                    help="First Hit upper threshold (default 4095)")
    ap.add_argument("--png-prefix",
                    help="write PREFIX-MODE-vtk.png; where PREFIX-MODE-orvex.png exists,"
                    " also PREFIX-MODE-side.png with Orvex left and VTK right")
    args = ap.parse_args()
    if args.frames < 1:
        ap.error("--frames must be at least 1")

    try:
        points = read_trf(args.table)
        t0 = time.perf_counter()
        if args.nifti:
            import vtk

            t_import = time.perf_counter()
            image, read_seconds, low, high = read_nifti(vtk, args.dataset)
            dims = image.GetDimensions()
            points = scan_points(points, low, high)
            # What precedes the first frame: VTK's import, then its reader.
            print(f"STARTUP\tpython_ms={1000 * (t0 - T_START):.0f}"
                  f"\timport_vtk_ms={1000 * (t_import - t0):.0f}"
                  f"\tread_ms={1000 * read_seconds:.0f}", flush=True)
        else:
            dims_x, dims_y, dims_z, voxels = read_raw(args.dataset)
    except InputError as e:
        print(f"vtk_race: {e}", file=sys.stderr)
        return 2

    if not args.nifti:
        t_read = time.perf_counter()
        import vtk
        from vtkmodules.util import numpy_support

        t_import = time.perf_counter()
        dims = (dims_x, dims_y, dims_z)
        image = vtk.vtkImageData()
        image.SetDimensions(*dims)
        image.SetOrigin(0.0, 0.0, 0.0)
        image.SetSpacing(1.0, 1.0, 1.0)
        scalars = numpy_support.numpy_to_vtk(voxels, deep=False, array_type=vtk.VTK_SHORT)
        image.GetPointData().SetScalars(scalars)
        t_loaded = time.perf_counter()
        # What precedes the first frame, and is not timed as a frame.
        print(f"STARTUP\tpython_ms={1000 * (t0 - T_START):.0f}\tread_ms={1000 * (t_read - t0):.0f}"
              f"\timport_vtk_ms={1000 * (t_import - t_read):.0f}"
              f"\timage_data_ms={1000 * (t_loaded - t_import):.0f}", flush=True)

    errors = []

    def on_error(caller, event):
        errors.append(caller.GetClassName())

    mapper = vtk.vtkFixedPointVolumeRayCastMapper()
    mapper.SetInputData(image)
    mapper.AutoAdjustSampleDistancesOff()
    mapper.LockSampleDistanceToInputSpacingOff()
    mapper.SetSampleDistance(1.0)
    mapper.SetInteractiveSampleDistance(1.0)
    mapper.SetImageSampleDistance(1.0)
    mapper.IntermixIntersectingGeometryOff()
    mapper.AddObserver("ErrorEvent", on_error)

    prop = vtk.vtkVolumeProperty()
    volume = vtk.vtkVolume()
    volume.SetMapper(mapper)
    volume.SetProperty(prop)

    renderer = vtk.vtkRenderer()
    renderer.SetBackground(0.0, 0.0, 0.0)
    renderer.AddVolume(volume)
    width, height = args.size
    window = vtk.vtkRenderWindow()
    window.SetOffScreenRendering(1)
    window.SetSize(width, height)
    window.AddRenderer(renderer)
    window.AddObserver("ErrorEvent", on_error)
    # A headlight: Orvex's light is its viewing axis.
    renderer.SetAutomaticLightCreation(1)
    set_camera(renderer.GetActiveCamera(), dims, width, height, args.longitude, args.latitude)

    for mode in args.modes:
        sampling = "nearest" if mode == "xray" else (args.sampling or default_sampling(mode))
        configure(vtk, mapper, prop, mode, sampling, points, dims, args.lower, args.upper)
        for threads in args.threads:
            mapper.SetNumberOfThreads(threads)
            if mapper.GetNumberOfThreads() != threads:
                print(f"vtk_race: VTK refused {threads} threads", file=sys.stderr)
                return 1
            t = time.perf_counter()
            window.Render()
            first_ms = 1000 * (time.perf_counter() - t)
            frames, mapper_ms, cpu_ms = [], [], []
            for _ in range(args.frames):
                t, cpu = time.perf_counter(), time.process_time()
                window.Render()
                frames.append(1000 * (time.perf_counter() - t))
                cpu_ms.append(1000 * (time.process_time() - cpu))
                mapper_ms.append(1000 * mapper.GetTimeToDraw())
            if errors:
                print(f"vtk_race: VTK reported errors ({', '.join(sorted(set(errors)))})",
                      file=sys.stderr)
                return 1
            print(f"RESULT\t{mode}\t{sampling}\t{threads}\t{statistics.median(frames):.1f}"
                  f"\t{min(frames):.1f}\t{max(frames):.1f}\t{first_ms:.1f}"
                  f"\t{statistics.median(mapper_ms):.1f}\t{statistics.median(cpu_ms):.1f}",
                  flush=True)
        if args.png_prefix:
            save_pictures(vtk, window, f"{args.png_prefix}-{mode}")
    return 0


def save_pictures(vtk, window, prefix):
    """Writes the window as PREFIX-vtk.png and, next to Orvex's PREFIX-orvex.png,
    both side by side as PREFIX-side.png."""
    grab = vtk.vtkWindowToImageFilter()
    grab.SetInput(window)
    grab.SetInputBufferTypeToRGB()
    grab.ReadFrontBufferOff()
    grab.Update()
    writer = vtk.vtkPNGWriter()
    writer.SetFileName(prefix + "-vtk.png")
    writer.SetInputConnection(grab.GetOutputPort())
    writer.Write()
    orvex_path = prefix + "-orvex.png"
    if not os.path.exists(orvex_path):
        return
    reader = vtk.vtkPNGReader()
    reader.SetFileName(orvex_path)
    reader.Update()
    left = reader.GetOutput()
    if left.GetNumberOfScalarComponents() != 3:
        rgb = vtk.vtkImageExtractComponents()
        rgb.SetInputData(left)
        rgb.SetComponents(0, 1, 2)
        rgb.Update()
        left = rgb.GetOutput()
    if left.GetDimensions()[:2] != grab.GetOutput().GetDimensions()[:2]:
        print(f"vtk_race: {orvex_path} has another size; no side-by-side picture",
              file=sys.stderr)
        return
    append = vtk.vtkImageAppend()
    append.SetAppendAxis(0)
    append.AddInputData(left)
    append.AddInputData(grab.GetOutput())
    side = vtk.vtkPNGWriter()
    side.SetFileName(prefix + "-side.png")
    side.SetInputConnection(append.GetOutputPort())
    side.Write()


if __name__ == "__main__":
    sys.exit(main())
