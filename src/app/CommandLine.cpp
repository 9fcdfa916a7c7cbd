#include "app/CommandLine.h"

#include <algorithm>

namespace {

const char kUsage[] =
    "usage: orvex [FILE]\n"
    "Starts the viewer; FILE, when given, is opened at start-up as if it had been chosen\n"
    "with \"Load Dataset\": a RAW dataset (.dat), NIfTI (.nii, .nii.gz, .hdr/.img), NRRD\n"
    "(.nrrd, .nhdr), MetaImage (.mha, .mhd), any file of a DICOM series or its folder\n"
    "(opens the whole series), or a bare RAW file (the viewer asks for its layout).\n"
    "The transfer function default.trf is read from the working directory.\n"
    "  -h, --help    print this and exit\n"
    "  --            ends the options (for a FILE whose name starts with '-')\n"
    "The toolkit's own options (e.g. --display DISPLAY) are also taken.\n";

} // namespace

ViewerArguments ParseViewerArguments(const std::vector<std::string>& args) {
    ViewerArguments result;
    const auto end = std::find(args.begin(), args.end(), "--");
    if (std::find_if(args.begin(), end,
                     [](const std::string& s) { return s == "-h" || s == "--help"; }) != end) {
        result.eCommand = VIEWER_HELP;
        return result;
    }
    bool bHaveFile = false;
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (it == end)
            continue;
        if (it < end && it->size() > 1 && (*it)[0] == '-') {
            result.eCommand = VIEWER_ERROR;
            result.sError = "unknown option '" + *it + "'";
            return result;
        }
        if (bHaveFile) {
            result.eCommand = VIEWER_ERROR;
            result.sError = "more than one FILE given ('" + result.sFile + "' and '" + *it + "')";
            return result;
        }
        result.sFile = *it;
        bHaveFile = true;
    }
    return result;
}

const char* ViewerUsage() {
    return kUsage;
}
