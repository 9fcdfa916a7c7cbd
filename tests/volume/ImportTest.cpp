// Opening scans of every kind: files written here (NIfTI by hand, NRRD and
// MetaImage with ITK, DICOM with GDCM, bare RAW) against the same voxels as a
// RAW dataset, the value rule, the sorting of a DICOM series, and bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <numbers>
#include <numeric>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include <gdcmAttribute.h>
#include <gdcmImageWriter.h>
#include <gdcmTrace.h>
#include <itkMetaImageIO.h>
#include <itkNrrdImageIO.h>

#include "headless/Headless.h"
#include "platform/Sync.h"
#include "support/TestFiles.h"
#include "transfer/TransferFunction.h"
#include "volume/Import.h"
#include "volume/ImportSteps.h"

// ITK's NRRD reader leaks its error message and stream when it gives up on a
// damaged file; that is its own affair.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libITKNrrdIO\n";
}

namespace {

using testfiles::ScratchDir;

constexpr int NX = 13, NY = 11, NZ = 9;

// Whole numbers that fill 0..4095 (so that they are kept).
int16_t Value(int x, int y, int z) {
    if (x == NX - 1 && y == NY - 1 && z == NZ - 1)
        return 4095;
    return static_cast<int16_t>((x * 301 + y * 173 + z * 97 + (x * y * z) % 50) % 4096);
}

// What each kind stores in its own order: 6 x 5 x 4 voxels of 1 x 1.5 x 2 in
// the patient's frame (x toward the left, y posterior, z superior), each of
// its own value, from -1024 to 3071: as stored, 0..4095.
constexpr int kLpsDim[3] = {6, 5, 4};
constexpr double kLpsSpacing[3] = {1.0, 1.5, 2.0};
int16_t Lps(int x, int y, int z) {
    return static_cast<int16_t>(std::lround((x + 6 * (y + 5 * z)) * 4095 / 119.0));
}

// An order of storage: file axis i runs along frame axis nAxis[i], the
// negative way for nSign[i] -1.
struct Storage {
    int nAxis[3], nSign[3];
    int Dim(int i) const { return kLpsDim[nAxis[i]]; }
    double Spacing(int i) const { return kLpsSpacing[nAxis[i]]; }
    // Component j of file axis i's direction in the frame (RAS for bRas) times dLength.
    double Axis(int i, int j, double dLength = 1.0, bool bRas = false) const {
        return j != nAxis[i] ? 0.0 : nSign[i] * dLength * (bRas && j < 2 ? -1 : 1);
    }
    // The file's values (the frame's - 1024) in its order.
    std::vector<int16_t> Values() const {
        return testfiles::Field(Dim(0), Dim(1), Dim(2), [this](int x, int y, int z) {
            const int f[3] = {x, y, z};
            int p[3];
            for (int i = 0; i < 3; ++i)
                p[nAxis[i]] = nSign[i] > 0 ? f[i] : Dim(i) - 1 - f[i];
            return Lps(p[0], p[1], p[2]) - 1024;
        });
    }
};

template <class T> std::string Bytes(const std::vector<T>& values) {
    return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

// A NIfTI-1 file: dims (up to 7), datatype code and bits per value, voxel size,
// scl_slope and scl_inter, then the values. Written through zlib for ".gz".
std::string WriteNifti(const ScratchDir& dir, const std::string& sName, std::vector<short> dims,
                       short nType, short nBits, const std::string& sData,
                       std::vector<float> spacing = {1, 1, 1}, float fSlope = 0, float fInter = 0,
                       std::vector<float> sform = {}) {
    std::string h(352, '\0');
    auto put = [&h](int nOffset, const auto& value) {
        std::memcpy(&h[nOffset], &value, sizeof(value));
    };
    put(0, 348);
    short dim[8] = {static_cast<short>(dims.size()), 1, 1, 1, 1, 1, 1, 1};
    std::copy(dims.begin(), dims.end(), dim + 1);
    put(40, dim);
    put(70, nType);
    put(72, nBits);
    const float pixdim[8] = {1, spacing[0], spacing[1], spacing[2], 1, 1, 1, 1};
    put(76, pixdim);
    put(108, 352.0f);
    put(112, fSlope);
    put(116, fInter);
    if (!sform.empty()) { // sform_code 1 and its rows
        put(254, short{1});
        std::memcpy(&h[280], sform.data(), 48);
    }
    std::memcpy(&h[344], "n+1", 4);
    const std::string sPath = dir.Path(sName);
    if (sName.ends_with(".gz")) {
        gzFile f = gzopen(sPath.c_str(), "wb");
        gzwrite(f, (h + sData).data(), static_cast<unsigned>(h.size() + sData.size()));
        gzclose(f);
    } else {
        testfiles::WriteFile(sPath, h + sData);
    }
    return sPath;
}

// A NRRD or MetaImage file of the field, in the given component type.
template <class T>
std::string WriteWithItk(itk::ImageIOBase& io, const std::string& sPath, const std::vector<T>& v,
                         bool bCompress = true) {
    io.SetNumberOfDimensions(3); // unit spacing, no offset, the identity's axes
    const size_t dims[3] = {NX, NY, NZ};
    itk::ImageIORegion region(3);
    for (unsigned i = 0; i < 3; ++i) {
        io.SetDimensions(i, dims[i]);
        region.SetSize(i, dims[i]);
    }
    io.SetPixelType(itk::IOPixelEnum::SCALAR);
    io.SetComponentType(itk::ImageIOBase::MapPixelType<T>::CType);
    io.SetNumberOfComponents(1);
    io.SetUseCompression(bCompress);
    io.SetFileName(sPath);
    io.SetIORegion(region);
    io.Write(v.data());
    return sPath;
}

// One DICOM slice of int16 values at height z (slice normal +z), or at
// pPosition with the row and column directions pCosines and pixel spacing.
void WriteDicom(const std::string& sPath, int nColumns, int nRows, double z, int nInstance,
                const char* pSeries, const std::vector<int16_t>& pixels, double dIntercept = 0,
                const double* pPosition = nullptr, const double* pCosines = nullptr,
                const double* pSpacing = nullptr) {
    gdcm::Trace::WarningOff(); // about the tags it fills in itself
    gdcm::ImageWriter writer;
    gdcm::Image& image = writer.GetImage();
    image.SetNumberOfDimensions(2);
    image.SetDimension(0, nColumns);
    image.SetDimension(1, nRows);
    image.SetPixelFormat(gdcm::PixelFormat::INT16);
    image.SetPhotometricInterpretation(gdcm::PhotometricInterpretation::MONOCHROME2);
    const double position[3] = {10.0, -5.0, z}, cosines[6] = {1, 0, 0, 0, 1, 0}, unit[2] = {1, 1};
    for (int i = 0; i < 3; ++i)
        image.SetOrigin(i, (pPosition ? pPosition : position)[i]);
    image.SetDirectionCosines(pCosines ? pCosines : cosines);
    image.SetSpacing(0, (pSpacing ? pSpacing : unit)[0]);
    image.SetSpacing(1, (pSpacing ? pSpacing : unit)[1]);
    image.SetIntercept(dIntercept);
    image.SetSlope(1.0);
    gdcm::DataElement pixelData(gdcm::Tag(0x7fe0, 0x0010));
    pixelData.SetByteValue(reinterpret_cast<const char*>(pixels.data()),
                           static_cast<uint32_t>(pixels.size() * 2));
    image.SetDataElement(pixelData);
    gdcm::DataSet& ds = writer.GetFile().GetDataSet();
    gdcm::Attribute<0x0020, 0x000e> series{pSeries};
    gdcm::Attribute<0x0020, 0x000d> study{"1.2.826.0.1.3680043.2.1125.1"};
    gdcm::Attribute<0x0020, 0x0013> instance{nInstance};
    gdcm::Attribute<0x0008, 0x0016> sopClass{"1.2.840.10008.5.1.4.1.1.2"};
    for (const gdcm::DataElement& e : {series.GetAsDataElement(), study.GetAsDataElement(),
                                       instance.GetAsDataElement(), sopClass.GetAsDataElement()})
        ds.Replace(e);
    writer.SetFileName(sPath.c_str());
    ASSERT_TRUE(writer.Write()) << sPath;
}

// Slice z of the field (or of any f(x, y, z)).
template <class F> std::vector<int16_t> SliceOf(int nColumns, int nRows, int z, F f) {
    std::vector<int16_t> pixels;
    for (int y = 0; y < nRows; ++y)
        for (int x = 0; x < nColumns; ++x)
            pixels.push_back(f(x, y, z));
    return pixels;
}

const char kSeriesA[] = "1.2.826.0.1.3680043.2.1125.7.1";
const char kSeriesB[] = "1.2.826.0.1.3680043.2.1125.7.2";

// A Levoy picture of a dataset through the headless viewer, with a ramp table;
// a .dat shown with voxels of pSpacing.
RgbImage Picture(const std::string& sPath, const RawParameters* pRaw,
                 const double* pSpacing = nullptr) {
    CHeadlessViewer viewer;
    std::string sError;
    EXPECT_TRUE(viewer.LoadDataset(sPath, sError, pRaw)) << sError;
    if (pSpacing && viewer.Volume())
        std::copy(pSpacing, pSpacing + 3, viewer.Volume()->m_dSpacing);
    for (int i = 0; i < TABLE_SIZE; ++i)
        viewer.TransferFunction().m_Table[i] = TableEntry{i / 16.0f, 255 - i / 16.0f, 90, i / 9e5f};
    viewer.SetVolumeSettings(48, 40, 0, 1, 30, 60, 0, 4095);
    EXPECT_TRUE(viewer.RunVolume(sError)) << sError;
    return viewer.VolumePicture();
}

ImportResult Import(const std::string& sPath, const RawParameters* pRaw = nullptr) {
    CDebugCapture quiet;
    return pRaw ? ImportRawVolume(sPath, *pRaw) : ImportVolume(sPath);
}

} // namespace

// The same content in the patient's frame, stored by each kind in an order of
// its own (a bare RAW file in the frame's), opens as the same voxels, spacing
// and picture as a .dat of them; without its direction a file keeps its order.
TEST(Import, EveryKindOpensInThePatientFrameAsTheVoxelsAndPictureOfTheSameDat) {
    ScratchDir dir;
    const Storage nifti{{0, 2, 1}, {-1, 1, -1}}, nrrd{{1, 0, 2}, {1, -1, -1}},
        meta{{2, 1, 0}, {1, -1, 1}}, dicom{{1, 2, 0}, {1, -1, -1}}, frame{{0, 1, 2}, {1, 1, 1}};
    std::vector<float> sform(12, 0.0f), spacing(3);
    std::string sNrrd =
                    "NRRD0004\ntype: short\ndimension: 3\nencoding: raw\nendian: little\nsizes:",
                sDirections = "space: right-anterior-superior\nspace directions:",
                sMeta = "NDims = 3\nElementType = MET_SHORT\nDimSize =", sSpacing, sMatrix;
    for (int i = 0; i < 3; ++i) {
        spacing[i] = static_cast<float>(nifti.Spacing(i));
        sNrrd += " " + std::to_string(nrrd.Dim(i));
        sMeta += " " + std::to_string(meta.Dim(i));
        sSpacing += " " + std::to_string(meta.Spacing(i));
        for (int j = 0; j < 3; ++j) {
            sform[4 * j + i] = static_cast<float>(nifti.Axis(i, j, nifti.Spacing(i), true));
            sDirections +=
                (j ? "," : " (") + std::to_string(nrrd.Axis(i, j, nrrd.Spacing(i), true));
            sMatrix += " " + std::to_string(meta.Axis(i, j));
        }
        sDirections += ")";
    }
    auto writeNifti = [&](const char* pName, std::vector<float> form) {
        return WriteNifti(dir, pName, {6, 4, 5}, 4, 16, Bytes(nifti.Values()), spacing, 0, 0, form);
    };
    sMeta += "\nElementSpacing =" + sSpacing + "\n";
    const std::string sMetaData = "ElementDataFile = LOCAL\n" + Bytes(meta.Values());
    std::filesystem::create_directory(dir.Path("series"));
    const std::vector<int16_t> slices = dicom.Values();
    const size_t nSlice = static_cast<size_t>(dicom.Dim(0)) * dicom.Dim(1);
    for (int k = 0; k < dicom.Dim(2); ++k) {
        double position[3], cosines[6];
        const double pixel[2] = {dicom.Spacing(0), dicom.Spacing(1)};
        for (int j = 0; j < 3; ++j) {
            position[j] = 10.0 * j + dicom.Axis(2, j, k * dicom.Spacing(2));
            cosines[j] = dicom.Axis(0, j);
            cosines[3 + j] = dicom.Axis(1, j);
        }
        // Named and numbered against their order in space.
        WriteDicom(dir.Path("series/im" + std::to_string((k * 5 + 1) % 6)), dicom.Dim(0),
                   dicom.Dim(1), 0, 6 - k, kSeriesA,
                   {slices.begin() + k * nSlice, slices.begin() + (k + 1) * nSlice}, 0, position,
                   cosines, pixel);
    }
    for (int z = 0; z < 3; ++z)
        WriteDicom(dir.Path("series/other" + std::to_string(z)), 4, 3, z, z + 1, kSeriesB,
                   SliceOf(4, 3, z, [](int x, int, int k) { return int16_t(x + 10 * k); }));
    RawParameters raw{6, 5, 4, VoxelType::Int16, false, 0, {1.0, 1.5, 2.0}};

    const struct {
        std::string sPath;
        const Storage& storage;
        std::string sUndirected; // the same file without its direction
        const RawParameters* pRaw = nullptr;
    } kinds[] = {
        {writeNifti("lps.nii.gz", sform), nifti, writeNifti("file.nii", {})},
        {dir.Write("lps.nrrd", sNrrd + "\n" + sDirections + "\n\n" + Bytes(nrrd.Values())), nrrd,
         dir.Write("file.nrrd", sNrrd + "\n\n" + Bytes(nrrd.Values()))},
        {dir.Write("lps.mha", sMeta + "TransformMatrix =" + sMatrix + "\n" + sMetaData), meta,
         dir.Write("file.mha", sMeta + sMetaData)},
        {dir.Path("series/im2"), dicom, ""},
        {dir.Path("series"), dicom, ""},
        {dir.Write("lps.raw", Bytes(frame.Values())), frame, "", &raw},
    };
    const std::vector<int16_t> lps = testfiles::Field(6, 5, 4, Lps);
    const RgbImage reference =
        Picture(dir.Write("lps.dat", testfiles::RawBytes(6, 5, 4, lps)), nullptr, kLpsSpacing);
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.sPath);
        const ImportResult r = Import(kind.sPath, kind.pRaw);
        ASSERT_EQ(r.eStatus, IMPORT_OK) << r.sError;
        const CVolume& v = *r.pVolume;
        ASSERT_EQ(v.m_nDimX * 100 + v.m_nDimY * 10 + v.m_nDimZ, 654);
        EXPECT_TRUE(std::equal(lps.begin(), lps.end(), v.m_pVoxels));
        EXPECT_EQ(std::vector<double>(v.m_dSpacing, v.m_dSpacing + 3),
                  std::vector<double>(kLpsSpacing, kLpsSpacing + 3));
        EXPECT_EQ(v.m_Source.bOriented, !kind.pRaw);
        EXPECT_EQ(v.m_Source.ToScan(0), -1024.0);
        EXPECT_EQ(Picture(kind.sPath, kind.pRaw).rgb, reference.rgb);
        if (kind.sUndirected.empty())
            continue;
        const ImportResult file = Import(kind.sUndirected);
        ASSERT_EQ(file.eStatus, IMPORT_OK) << file.sError;
        EXPECT_FALSE(file.pVolume->m_Source.bOriented);
        const std::vector<int16_t> stored = kind.storage.Values();
        EXPECT_TRUE(std::equal(stored.begin(), stored.end(), file.pVolume->m_pVoxels,
                               [](int16_t a, int16_t b) { return a + 1024 == b; }));
    }

    // Turned by 12.5 degrees about the patient's long axis: along its nearest axes.
    const double c = std::cos(12.5 * std::numbers::pi / 180),
                 s = std::sin(12.5 * std::numbers::pi / 180);
    std::vector<float> turned = sform;
    for (int i = 0; i < 3; ++i) {
        turned[i] = static_cast<float>(c * sform[i] - s * sform[4 + i]);
        turned[4 + i] = static_cast<float>(s * sform[i] + c * sform[4 + i]);
    }
    const std::string sTurned = writeNifti("turned.nii", turned);
    const ImportResult oblique = Import(sTurned);
    ASSERT_EQ(oblique.eStatus, IMPORT_OK) << oblique.sError;
    EXPECT_TRUE(std::equal(lps.begin(), lps.end(), oblique.pVolume->m_pVoxels));
    EXPECT_EQ(oblique.notices.at(0), "'" + sTurned +
                                         "': the scan is oblique (up to 12.5\u00b0 from its "
                                         "axes); it is shown along its nearest axes");

    // The folder names the series it shows; a file of the other series opens that.
    const ImportResult folder = Import(dir.Path("series"));
    ASSERT_EQ(folder.notices.size(), 1u);
    EXPECT_NE(folder.notices[0].find("holds 2 DICOM series"), std::string::npos);
    EXPECT_NE(folder.notices[0].find("(6 files)"), std::string::npos) << folder.notices[0];
    const ImportResult other = Import(dir.Path("series/other2"));
    ASSERT_EQ(other.eStatus, IMPORT_OK) << other.sError;
    EXPECT_EQ(other.pVolume->m_nDimZ, 3);
    EXPECT_DOUBLE_EQ(other.pVolume->m_Source.ToScan(other.pVolume->VoxelAt(3, 2, 2)), 23);
    EXPECT_TRUE(other.notices.empty());
}

// The finite values' range fills 0..4095 (distinct whole numbers stay
// distinct), and the scan units give every value back.
TEST(Import, ValuesFill0To4095AndTheirScanUnitsGiveThemBack) {
    ScratchDir dir;
    const double kNaN = std::numeric_limits<double>::quiet_NaN();
    const double kInf = std::numeric_limits<double>::infinity();
    std::vector<double> ramp(255);
    std::iota(ramp.begin(), ramp.end(), 0.0);
    const struct {
        VoxelType eType;
        std::vector<double> values;
        std::vector<int16_t> expected; // the first four stored values
        const char* pDescribed;
    } cases[] = {
        {VoxelType::UInt8, ramp, {0, 16, 32, 48}, "values mapped from [0, 254] onto 0..4095"},
        {VoxelType::UInt16, {0, 4095, 17, 4000}, {0, 4095, 17, 4000}, "values kept"},
        // Hounsfield units from -1024 to 3071: a shift by 1024.
        {VoxelType::Int16,
         {-1024, 0, 3071, -1000},
         {0, 1024, 4095, 24},
         "values shifted from [-1024, 3071] onto 0..4095"},
        {VoxelType::Float32, {0.25, 0.5, 1.25, 0.75}, {0, 1024, 4095, 2048}, nullptr},
        {VoxelType::Float32, {kNaN, 1, 3, kInf}, {0, 0, 4095, 4095}, nullptr},
        {VoxelType::UInt32, {5000, 5000, 5000, 5000}, {0, 0, 0, 0}, "all values 5000, stored as 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(VoxelTypeName(c.eType) + std::string(" ") + std::to_string(c.values[1]));
        std::string sBytes;
        WithValues(c.eType, nullptr, [&](const auto* pType) {
            using T = std::remove_cvref_t<decltype(*pType)>;
            sBytes = Bytes(std::vector<T>(c.values.begin(), c.values.end()));
        });
        const RawParameters raw{int(c.values.size()), 1, 1, c.eType};
        const ImportResult r = Import(dir.Write("v.raw", sBytes), &raw);
        ASSERT_EQ(r.eStatus, IMPORT_OK) << r.sError;
        const CVolume& v = *r.pVolume;
        EXPECT_EQ(std::vector<int16_t>(v.m_pVoxels, v.m_pVoxels + 4), c.expected);
        EXPECT_EQ(*std::max_element(v.m_pVoxels, v.m_pVoxels + v.m_nVoxelCount),
                  c.eType == VoxelType::UInt32 ? 0 : 4095);
        const bool bWhole = c.eType != VoxelType::Float32 || c.values[0] != 0.25;
        EXPECT_EQ(v.m_Source.bWholeScanValues, bWhole);
        for (int i = 0; i < v.m_nVoxelCount; ++i) {
            if (!std::isfinite(c.values[i]))
                continue;
            const double dScan = v.m_Source.ToScan(v.m_pVoxels[i]);
            EXPECT_NEAR(dScan, c.values[i], v.m_Source.dScanScale * 0.50001) << i;
            EXPECT_TRUE(!bWhole || std::round(dScan) == c.values[i]) << i;
        }
        EXPECT_EQ(DescribeValues(v), c.pDescribed ? c.pDescribed : DescribeValues(v));
    }
    // Every 16-bit value, the largest only in the first half and the smallest
    // only in the second (slabs of their own on a machine of several cores),
    // takes the same voxels as int16 and as float32, and all of 0..4095.
    std::vector<int16_t> every(1 << 17);
    for (size_t i = 0; i < every.size(); ++i)
        every[i] = static_cast<int16_t>(i < every.size() / 2 ? 32767 - i % 1000
                                                             : -32768 + i * 7919 % 65535);
    const std::vector<float> asFloat(every.begin(), every.end());
    RawParameters raw{256, 256, 2, VoxelType::Int16};
    const ImportResult int16 = Import(dir.Write("int16.raw", Bytes(every)), &raw);
    raw.eType = VoxelType::Float32;
    const ImportResult float32 = Import(dir.Write("float32.raw", Bytes(asFloat)), &raw);
    ASSERT_TRUE(int16.pVolume && float32.pVolume);
    const int16_t* pVoxels = int16.pVolume->m_pVoxels;
    EXPECT_EQ(int16.pVolume->m_Source.ToScan(0) + int16.pVolume->m_Source.ToScan(4095), -1);
    EXPECT_EQ(std::set<int16_t>(pVoxels, pVoxels + every.size()).size(), 4096u);
    EXPECT_TRUE(std::equal(pVoxels, pVoxels + every.size(), float32.pVolume->m_pVoxels));

    // The file's own rescale comes first: NIfTI scl_slope 1000 and scl_inter 100
    // make 0..3 into 100..3100; a DICOM intercept of -1024 makes stored 0..4095
    // into -1024..3071, shifted back.
    auto scaled = [&](const char* pName, std::vector<int16_t> values) {
        return Import(
            WriteNifti(dir, pName, {2, 2, 1}, 4, 16, Bytes(values), {0.5f, 0.5f, 2}, 1000, 100));
    };
    auto firstFour = [](const ImportResult& r) {
        return std::vector<int16_t>(r.pVolume->m_pVoxels, r.pVolume->m_pVoxels + 4);
    };
    const ImportResult nifti = scaled("scaled.nii", {0, 1, 2, 3});
    ASSERT_EQ(nifti.eStatus, IMPORT_OK) << nifti.sError;
    EXPECT_EQ(firstFour(nifti), std::vector<int16_t>({0, 1365, 2730, 4095}));
    EXPECT_DOUBLE_EQ(nifti.pVolume->m_Source.ToScan(1365), 1100);
    // NAME.nii.gz beside NAME.nii gives its own values, not those of NAME.nii.
    const ImportResult gz = scaled("scaled.nii.gz", {3, 2, 1, 0});
    ASSERT_EQ(gz.eStatus, IMPORT_OK) << gz.sError;
    EXPECT_EQ(firstFour(gz), std::vector<int16_t>({4095, 2730, 1365, 0}));
    std::filesystem::create_directory(dir.Path("ct"));
    for (int z = 0; z < 2; ++z)
        WriteDicom(dir.Path("ct/" + std::to_string(z)), 2, 1, z * 3.0, z + 1, kSeriesA,
                   {static_cast<int16_t>(z * 4095), 1000}, -1024);
    const ImportResult ct = Import(dir.Path("ct/1"));
    ASSERT_EQ(ct.eStatus, IMPORT_OK) << ct.sError;
    EXPECT_EQ(std::vector<int16_t>(ct.pVolume->m_pVoxels, ct.pVolume->m_pVoxels + 4),
              std::vector<int16_t>({0, 1000, 4095, 1000}));
    EXPECT_EQ(ct.pVolume->m_Source.ToScan(1000), -24.0);
}

// Bad input, also the damaged files of tests/volume/bad (written by its
// make.py) that crashed, froze or exhausted the viewer, claims of gigabytes
// and pipes where files belong: each ends in one line that names the file and
// says why, whatever the reader does, and no reader touches 64 MB for them.
TEST(Import, BadInputFailsWithOneLineThatNamesTheFile) {
    ScratchDir dir;
    const std::string sBad = ORVEX_BAD_FILES;
    // A .nii.gz of 4 GiB of zeros in 4 MiB (gzip members one after another):
    // more than the machine can show, refused before it is inflated.
    std::string sBomb =
        testfiles::ReadFile(WriteNifti(dir, "bomb.nii.gz", {1024, 1024, 2047}, 4, 16, ""));
    gzFile zeros = gzopen(dir.Path("zeros.gz").c_str(), "wb");
    gzwrite(zeros, std::string(64 << 20, '\0').data(), 64 << 20);
    gzclose(zeros);
    for (int i = 0; i < 64; ++i)
        sBomb += testfiles::ReadFile(dir.Path("zeros.gz"));
    dir.Write("bomb.nii.gz", sBomb);
    // Pipes without a writer, also as the data file of a header.
    for (const char* pName : {"pipe.nii", "pipe.dat", "pipe.raw", "pair.img", "d.raw"})
        ASSERT_EQ(mkfifo(dir.Path(pName).c_str(), 0600), 0);
    dir.Write("pair.hdr", testfiles::ReadFile(sBad + "/pair.hdr"));
    dir.Write("pipe.nhdr", "NRRD0004\ntype: uchar\ndimension: 3\nsizes: 2 2 2\nencoding: raw\n"
                           "data file: d.raw\n\n");
    dir.Write("pipe.mhd", "NDims = 3\nDimSize = 2 2 2\nElementType = MET_UCHAR\n"
                          "ElementDataFile = d.raw\n");
    const std::string sField = Bytes(testfiles::Field(NX, NY, NZ, Value));
    const std::string sNifti = dir.Path("cut.nii");
    WriteNifti(dir, "cut.nii", {NX, NY, NZ}, 4, 16, sField.substr(0, 100));
    const std::string sGz = WriteNifti(dir, "whole.nii.gz", {NX, NY, NZ}, 4, 16, sField);
    const std::string sGzBytes = testfiles::ReadFile(sGz);
    auto nrrd = itk::NrrdImageIO::New();
    const std::string sNrrd = testfiles::ReadFile(
        WriteWithItk(*nrrd, dir.Path("whole.nrrd"), testfiles::Field(NX, NY, NZ, Value), false));
    auto meta = itk::MetaImageIO::New();
    const std::string sMeta = testfiles::ReadFile(
        WriteWithItk(*meta, dir.Path("whole.mha"), testfiles::Field(NX, NY, NZ, Value), false));
    const std::string sPackedNrrd = testfiles::ReadFile(
        WriteWithItk(*nrrd, dir.Path("packed.nrrd"), testfiles::Field(NX, NY, NZ, Value), true));
    std::string sBigNrrd = sNrrd;
    sBigNrrd.replace(sBigNrrd.find("sizes: 13"), 9, "sizes: 40000");
    for (const char* pFolder : {"empty", "gap", "mixed", "cut"})
        std::filesystem::create_directory(dir.Path(pFolder));
    dir.Write("empty/notes.txt", "no pictures here");
    WriteDicom(dir.Path("cut/whole.dcm"), NX, NY, 0, 1, kSeriesA, SliceOf(NX, NY, 0, Value));
    const std::string sDicom = testfiles::ReadFile(dir.Path("cut/whole.dcm"));
    std::filesystem::remove(dir.Path("cut/whole.dcm"));
    for (int z : {0, 1, 2, 4, 5})
        WriteDicom(dir.Path("gap/" + std::to_string(z)), 2, 2, z * 1.5, z, kSeriesA, {1, 2, 3, 4});
    for (int z = 0; z < 3; ++z)
        WriteDicom(dir.Path("mixed/" + std::to_string(z)), z == 1 ? 3 : 2, 2, z, z, kSeriesA,
                   std::vector<int16_t>(z == 1 ? 6 : 4, 9));

    const char* kCrashed = "reader crashed on this file";
    const char* kShort = "the file is cut short";
    const struct {
        std::string sPath;
        ImportStatus eStatus;
        const char* pReason;
    } cases[] = {
        {dir.Path("missing.nii"), IMPORT_FAILED, "cannot be opened"},
        {dir.Write("notes.txt", "Dear diary"), IMPORT_NOT_RECOGNISED, "no reader recognises it"},
        {dir.Write("garbage.nii", std::string(400, 'x')), IMPORT_NOT_RECOGNISED,
         "not a readable NIfTI"},
        {sNifti, IMPORT_FAILED, "cut short"},
        {dir.Write("cut.nii.gz", sGzBytes.substr(0, sGzBytes.size() / 2)), IMPORT_FAILED,
         "cut short"},
        {WriteNifti(dir, "short.nii.gz", {NX, NY, NZ}, 4, 16, sField.substr(9)), IMPORT_FAILED,
         "cut short"},
        {WriteNifti(dir, "huge.nii", {32767, 32767, 32767}, 4, 16, ""), IMPORT_FAILED,
         "more than 2147483647"},
        {WriteNifti(dir, "rgb.nii", {2, 2, 2}, 128, 24, std::string(24, 'x')), IMPORT_FAILED,
         "3 values per voxel"},
        {dir.Write("garbage.nrrd", "NRRD0004\nsizes: banana\n\n"), IMPORT_FAILED,
         "header cannot be read"},
        {dir.Write("cut.nrrd", sNrrd.substr(0, sNrrd.size() - 9)), IMPORT_FAILED, "cut short"},
        {dir.Write("big.nrrd", sBigNrrd), IMPORT_FAILED, "each dimension must be 1 to 32767"},
        {dir.Write("cut.mha", sMeta.substr(0, sMeta.size() - 9)), IMPORT_FAILED, "cut short"},
        // A cut in compressed data that the sizes allow: the library's own reason.
        {dir.Write("cutpacked.nrrd", sPackedNrrd.substr(0, sPackedNrrd.size() / 2)), IMPORT_FAILED,
         "its image data cannot be read: expected 2574 bytes but received"},
        {dir.Write("garbage.dcm", std::string(1000, '\x07')), IMPORT_NOT_RECOGNISED,
         "not a readable DICOM"},
        {dir.Write("cut/cut.dcm", sDicom.substr(0, sDicom.size() - 50)), IMPORT_FAILED,
         "cut short"},
        {dir.Path("empty"), IMPORT_FAILED, "holds no DICOM series"},
        {dir.Path("gap"), IMPORT_FAILED, "slices are missing: 3 between '2' and '4'"},
        {dir.Path("mixed/0"), IMPORT_FAILED, "slices differ in size ('0' 2 x 2, '1' 3 x 2)"},
        {sBad + "/nifti-7d-wrap.nii", IMPORT_FAILED, "claims more values than can be counted"},
        {sBad + "/nifti-nan-sform.nii", IMPORT_FAILED, "holds a value that is not a number"},
        {sBad + "/nifti-4gb.nii", IMPORT_FAILED, kShort},
        {sBad + "/nifti-bitpix-half.nii", IMPORT_FAILED, "bits per value (8) disagree with its"},
        {sBad + "/nifti-offset-nan.nii", IMPORT_FAILED, "offset (vox_offset nan) is not a place"},
        {sBad + "/nifti-offset-huge.nii", IMPORT_FAILED, "is not a place in the file"},
        {sBad + "/analyze-bitpix0.hdr", IMPORT_FAILED, "bits per value (0)"},
        {dir.Path("bomb.nii.gz"), IMPORT_FAILED, "GiB of memory; the machine has"},
        {sBad + "/meta-4d-zero-compressed.mha", IMPORT_FAILED, kShort},
        {sBad + "/meta-long-line.mha", IMPORT_FAILED, kCrashed},
        {sBad + "/meta-element-list.mha", IMPORT_FAILED, "reader delivered fewer values than"},
        {sBad + "/meta-spacing-zero.mha", IMPORT_FAILED, kCrashed},
        {sBad + "/meta-ndims-negative.mha", IMPORT_FAILED,
         "did not finish within 1 s (its header)"},
        {sBad + "/meta-size-negative.mha", IMPORT_FAILED, "2 x -5 x 2 voxels"},
        {sBad + "/nrrd-4gb-raw.nrrd", IMPORT_FAILED, kShort},
        {sBad + "/nrrd-4gb-ascii.nrrd", IMPORT_FAILED, kShort},
        {sBad + "/nrrd-4d-volumes.nrrd", IMPORT_FAILED, kShort},
        {sBad + "/dicom-spp0.dcm", IMPORT_FAILED, kCrashed},
        {sBad + "/dicom-frames.dcm", IMPORT_FAILED, kShort},
        {sBad + "/dicom-rows-frames.dcm", IMPORT_FAILED, kShort},
        {sBad + "/dicom-nested.dcm", IMPORT_FAILED, kCrashed},
        {dir.Path("pipe.nii"), IMPORT_FAILED, "not a regular file"},
        {dir.Path("pipe.dat"), IMPORT_FAILED, "a pipe that no program writes to"},
        {dir.Path("pair.hdr"), IMPORT_FAILED, "data file 'pair.img' is not a regular file"},
        {dir.Path("pipe.nhdr"), IMPORT_FAILED, "data file 'd.raw' is not a regular file"},
        {dir.Path("pipe.mhd"), IMPORT_FAILED, "data file 'd.raw' is not a regular file"},
    };
    for (const auto& c : cases) {
        const ImportResult r = Import(c.sPath);
        EXPECT_EQ(r.eStatus, c.eStatus) << c.sPath << ": " << r.sError;
        EXPECT_EQ(r.pVolume, nullptr) << c.sPath;
        EXPECT_EQ(r.sError.find('\n'), std::string::npos) << r.sError;
        EXPECT_EQ(r.sError.find("'" + c.sPath + "'"), r.sError.find('\'')) << r.sError;
        EXPECT_NE(r.sError.find(c.pReason), std::string::npos) << r.sError;
    }
    RawParameters raw;
    raw.nDimX = raw.nDimY = raw.nDimZ = 2;
    {
        CDebugCapture quiet;
        EXPECT_NE(ImportRawVolume(dir.Path("pipe.raw"), raw).sError.find("no program writes to"),
                  std::string::npos);
    }
    rusage self{}, children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_LT(children.ru_maxrss, self.ru_maxrss + 64 * 1024);

    // A 4-D file opens its first volume and says so; an edge 100 times another
    // cannot be shown, and cubic voxels stand in.
    const ImportResult fourD =
        Import(WriteNifti(dir, "4d.nii", {2, 1, 1, 3}, 2, 8,
                          std::string("\x01\x02\x03\x04\x05\x06", 6), {0.5f, 0.5f, 50.5f}));
    ASSERT_EQ(fourD.eStatus, IMPORT_OK) << fourD.sError;
    EXPECT_EQ(std::vector<int16_t>(fourD.pVolume->m_pVoxels, fourD.pVolume->m_pVoxels + 2),
              std::vector<int16_t>({0, 4095}));
    const std::string sQuoted = "'" + dir.Path("4d.nii") + "'";
    EXPECT_EQ(fourD.notices,
              std::vector<std::string>({sQuoted + " holds 3 volumes; the first is shown",
                                        sQuoted + ": the voxel spacing 0.5 x 0.5 x 50.5 cannot be "
                                                  "shown; cubic voxels are used"}));
    EXPECT_EQ(fourD.pVolume->m_dSpacing[2], 1.0);
}

// A file a reader crashes on beside a good one of its series is left out,
// with a notice; a pipe that a program wrote a RAW dataset into opens.
TEST(Import, CrashedOnFilesAreLeftOutAndWrittenPipesOpen) {
    const std::string sBad = ORVEX_BAD_FILES;
    const ImportResult dicom = Import(sBad + "/dicom-beside/good.dcm");
    ASSERT_EQ(dicom.eStatus, IMPORT_OK) << dicom.sError;
    EXPECT_EQ(dicom.notices, std::vector<std::string>({"'" + sBad +
                                                       "/dicom-beside/cut.dcm' is left out: the "
                                                       "DICOM reader crashed on it"}));
    ScratchDir dir;
    const std::string sBytes = testfiles::FieldBytes(NX, NY, NZ, Value);
    for (const char* pName : {"pipe.dat", "pipe.raw"}) {
        ASSERT_EQ(mkfifo(dir.Path(pName).c_str(), 0600), 0);
        // The data waits in the pipe, its writer gone.
        const int nKeep = open(dir.Path(pName).c_str(), O_RDONLY | O_NONBLOCK);
        const int nWriter = open(dir.Path(pName).c_str(), O_WRONLY);
        ASSERT_EQ(write(nWriter, sBytes.data(), sBytes.size()), ssize_t(sBytes.size()));
        close(nWriter);
        RawParameters raw;
        raw.nDimX = NX, raw.nDimY = NY, raw.nDimZ = NZ;
        raw.eType = VoxelType::Int16;
        raw.nHeaderBytes = 6;
        CDebugCapture quiet;
        const ImportResult r = pName == std::string("pipe.dat")
                                   ? Import(dir.Path(pName))
                                   : ImportRawVolume(dir.Path(pName), raw);
        close(nKeep);
        ASSERT_EQ(r.eStatus, IMPORT_OK) << r.sError;
        EXPECT_TRUE(std::equal(r.pVolume->m_pVoxels, r.pVolume->m_pVoxels + NX * NY * NZ,
                               testfiles::Field(NX, NY, NZ, Value).begin()));
        EXPECT_EQ(r.pVolume->m_Source.sName, pName);
    }
}
