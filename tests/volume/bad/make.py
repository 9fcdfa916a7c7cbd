#!/usr/bin/env python3
"""Writes the small damaged files of this folder (run once; the files are committed)."""
import os, struct

here = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(here, name), "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


def nifti(dims, datatype, bitpix, offset=352.0, srow=None, magic=b"n+1\0", data=b""):
    h = bytearray(348)
    struct.pack_into("<i", h, 0, 348)
    d = [len(dims)] + list(dims) + [1] * (7 - len(dims))
    struct.pack_into("<8h", h, 40, *d)
    struct.pack_into("<hh", h, 70, datatype, bitpix)
    struct.pack_into("<8f", h, 76, 1, 1, 1, 1, 1, 1, 1, 1)
    struct.pack_into("<f", h, 108, offset)
    if srow:
        struct.pack_into("<h", h, 254, 1)  # sform_code
        struct.pack_into("<12f", h, 280, *srow)
    h[344:348] = magic
    return bytes(h) + (b"\0" * 4 if magic == b"n+1\0" else b"") + data


nan = float("nan")
write("nifti-7d-wrap.nii", nifti([32, 1, 1, 16384, 16384, 16384, 16384], 64, 64, data=b"\0" * 40))
write("nifti-nan-sform.nii", nifti([2, 2, 2], 2, 8, srow=[nan, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0], data=b"\1" * 8))
write("nifti-4gb.nii", nifti([1024, 1024, 1024], 16, 32, data=b"\0" * 48))
write("nifti-bitpix-half.nii", nifti([4, 4, 2], 4, 8, data=bytes(range(32))))
write("nifti-offset-nan.nii", nifti([2, 2, 2], 2, 8, offset=nan, data=b"\1" * 8))
write("nifti-offset-huge.nii", nifti([2, 2, 2], 2, 8, offset=1e30, data=b"\1" * 8))
write("analyze-bitpix0.hdr", nifti([11879, 31235, 1], 4, 0, offset=0.0, magic=b"\0\0\0\0"))
write("analyze-bitpix0.img", b"\0" * 64)

meta = "ObjectType = Image\nNDims = {nd}\nDimSize = {ds}\nElementType = MET_UCHAR\n{extra}ElementDataFile = {df}\n"
write("meta-4d-zero-compressed.mha", meta.format(nd=4, ds="2 2 2 2", extra="CompressedData = True\nCompressedDataSize = 0\n", df="LOCAL") + "x" * 16)
write("meta-long-line.mha", "ObjectType = Image\nNDims = 3\nDimSize = 2 2 2\nElementType = MET_UCHAR\nComment = " + "c" * 380 + "\nElementDataFile = LOCAL\n" + "x" * 8)
write("meta-string-field.mha", "ObjectType = Image\nNDims = 3\nDimSize = 2 2 2\nElementType = MET_UCHAR\nAnatomicalOrientation = " + "RAI" * 100 + "\nElementDataFile = LOCAL\n" + "x" * 8)
write("meta-element-list.mha", meta.format(nd=3, ds="2 2 2", extra="", df="LIST"))
write("meta-spacing-zero.mha", meta.format(nd=3, ds="2 2 2", extra="ElementSpacing = 0 0 0\n", df="slice%d.raw 1 2 0"))
write("meta-ndims-negative.mha", meta.format(nd=-1, ds="2 2 2", extra="", df="LOCAL") + "x" * 8)
write("meta-size-negative.mha", meta.format(nd=3, ds="2 -5 2", extra="", df="LOCAL") + "x" * 8)

nrrd = "NRRD0004\ntype: {t}\ndimension: {d}\nsizes: {s}\nendian: little\nencoding: {e}\n\n"
write("nrrd-4gb-raw.nrrd", nrrd.format(t="float", d=3, s="1024 1024 1024", e="raw") + "\0" * 16)
write("nrrd-4gb-ascii.nrrd", nrrd.format(t="float", d=3, s="1024 1024 1024", e="ascii") + "1 2 3 4\n")
write("nrrd-4d-volumes.nrrd", nrrd.format(t="uchar", d=4, s="2 2 2 250000000", e="raw") + "\0" * 8)


def el(g, e, vr, v):
    if isinstance(v, str):
        v = v.encode()
        if len(v) % 2:
            v += b"\0" if vr == "UI" else b" "
    if vr in ("OB", "OW", "OF", "SQ", "UT", "UN"):
        return struct.pack("<HH2sHI", g, e, vr.encode(), 0, len(v)) + v
    return struct.pack("<HH2sH", g, e, vr.encode(), len(v)) + v


serial = 0


def us(v):
    return struct.pack("<H", v)


def dicom(rows=2, cols=2, frames=None, bits=16, spp=1, pixels=None, extra=b"", meta_cut=None,
          series=None, z=0):
    global serial
    serial += 1
    series = series or "1.2.826.0.1.3680043.2.1125.9.1.%d" % serial
    ts = "1.2.840.10008.1.2.1"
    m = el(2, 1, "OB", b"\0\1") + el(2, 2, "UI", "1.2.840.10008.5.1.4.1.1.2") + \
        el(2, 3, "UI", "1.2.826.0.1.3680043.2.1125.9.2.%d" % z) + el(2, 0x10, "UI", ts)
    m = el(2, 0, "UL", struct.pack("<I", len(m))) + m
    ds = el(8, 0x16, "UI", "1.2.840.10008.5.1.4.1.1.2") + el(8, 0x18, "UI", "1.2.826.0.1.3680043.2.1125.9.2.%d" % z)
    ds += el(8, 0x60, "CS", "CT") + el(0x20, 0xD, "UI", "1.2.826.0.1.3680043.2.1125.9") + el(0x20, 0xE, "UI", series)
    ds += el(0x20, 0x13, "IS", str(z + 1)) + el(0x20, 0x32, "DS", "0\\0\\%d" % z) + el(0x20, 0x37, "DS", "1\\0\\0\\0\\1\\0")
    ds += el(0x28, 2, "US", us(spp)) + el(0x28, 4, "CS", "MONOCHROME2")
    if frames is not None:
        ds += el(0x28, 8, "IS", str(frames))
    ds += el(0x28, 0x10, "US", us(rows)) + el(0x28, 0x11, "US", us(cols)) + el(0x28, 0x30, "DS", "1\\1")
    ds += el(0x28, 0x100, "US", us(bits)) + el(0x28, 0x101, "US", us(bits)) + el(0x28, 0x102, "US", us(bits - 1))
    ds += el(0x28, 0x103, "US", us(0)) + extra
    if pixels is None:
        pixels = b"\1" * (rows * cols * max(1, spp) * bits // 8)
    ds += el(0x7FE0, 0x10, "OW", pixels)
    out = b"\0" * 128 + b"DICM" + m + ds
    if meta_cut is not None:
        out = out[:132 + meta_cut]
    return out


os.makedirs(os.path.join(here, "dicom-beside"), exist_ok=True)
write("dicom-32bit-overlay.dcm", dicom(bits=32, extra=el(0x6000, 0x10, "US", us(2)) + el(0x6000, 0x11, "US", us(2)) +
                                       el(0x6000, 0x100, "US", us(32)) + el(0x6000, 0x102, "US", us(31))))
write("dicom-beside/good.dcm", dicom(series="1.2.826.0.1.3680043.2.1125.9.1"))
write("dicom-beside/cut.dcm", dicom(series="1.2.826.0.1.3680043.2.1125.9.1", meta_cut=30, z=1))
write("dicom-spp0.dcm", dicom(spp=0, pixels=b"\1" * 8))
write("dicom-frames.dcm", dicom(frames=32767, pixels=b"\1" * 8))
write("dicom-rows-frames.dcm", dicom(rows=32767, frames=2, pixels=b"\1" * 8))
nest = b""
for _ in range(5000):
    nest += struct.pack("<HH2sHI", 8, 0x1115, b"SQ", 0, 0xFFFFFFFF) + struct.pack("<HHI", 0xFFFE, 0xE000, 0xFFFFFFFF)
for _ in range(5000):
    nest += struct.pack("<HHI", 0xFFFE, 0xE00D, 0) + struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)
plain = dicom()
write("dicom-nested.dcm", plain.replace(el(8, 0x60, "CS", "CT"), el(8, 0x60, "CS", "CT") + nest))
write("pair.hdr", nifti([2, 2, 2], 2, 8, offset=0.0, magic=b"ni1\0"))
