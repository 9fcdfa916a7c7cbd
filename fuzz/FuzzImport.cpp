// A libFuzzer target per kind of volume file (built with -DORVEX_FUZZ=ON and
// clang): each input is written as a file of the kind (ORVEX_FUZZ_KIND) in a
// folder of its own and opened as the viewer opens it. Whatever the bytes,
// the import must come back, with a dataset or with one line that names the
// file; the readers' crashes, loops and appetites end in their child.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "platform/Sync.h"
#include "volume/Import.h"

namespace {

const std::string& Folder() {
    static const std::string s_sFolder = [] {
        const auto folder =
            std::filesystem::temp_directory_path() / ("orvex-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        return folder.string();
    }();
    return s_sFolder;
}

void Check(bool bHolds, const char* pWhat, const ImportResult& r) {
    if (!bHolds) {
        std::fprintf(stderr, "broken: %s (%s)\n", pWhat, r.sError.c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string sKind = ORVEX_FUZZ_KIND; // "nii", "nrrd", "mha", "dcm", "dat" or "raw"
    const std::string sPath = Folder() + "/input." + sKind;
    std::ofstream(sPath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(nSize));
    CDebugCapture quiet;
    ImportResult r;
    if (sKind == "raw") {
        // The layout from the first bytes: sizes 1..16, a type, a byte order and a header.
        RawParameters raw;
        const auto at = [&](size_t i) { return nSize > i ? pData[i] : 0; };
        raw.nDimX = 1 + at(0) % 16, raw.nDimY = 1 + at(1) % 16, raw.nDimZ = 1 + at(2) % 16;
        ParseVoxelType(std::vector<const char*>{"uint8", "int8", "uint16", "int16", "uint32",
                                                "int32", "float32", "float64"}[at(3) % 8],
                       raw.eType);
        raw.bBigEndian = at(4) % 2;
        raw.nHeaderBytes = at(5) % 8;
        r = ImportRawVolume(sPath, raw);
    } else {
        r = ImportVolume(sPath);
    }
    Check(r.eStatus == IMPORT_OK ? r.pVolume != nullptr : r.pVolume == nullptr, "dataset", r);
    Check(r.eStatus == IMPORT_OK ||
              (r.sError.find('\n') == std::string::npos &&
               r.sError.rfind("cannot read dataset '" + sPath + "': ", 0) == 0),
          "one line naming the file", r);
    if (r.pVolume) {
        const CVolume& v = *r.pVolume;
        Check(v.m_nDimX >= 1 && v.m_nDimY >= 1 && v.m_nDimZ >= 1 && v.m_pVoxels, "dimensions", r);
    }
    return 0;
}
