#include "render/Status.h"

#include <algorithm>
#include <cstdio>

#include "volume/Volume.h"

namespace {

std::string Format(const char* pFormat, auto... args) {
    char szText[160];
    std::snprintf(szText, sizeof szText, pFormat, args...);
    return szText;
}

} // namespace

std::string DescribeDataset(const CVolume& volume) {
    const double* d = volume.m_dSpacing;
    return volume.m_Source.sName + "\n" +
           Format("%d x %d x %d voxels\n", volume.m_nDimX, volume.m_nDimY, volume.m_nDimZ) +
           Format("spacing %g x %g x %g\n", d[0], d[1], d[2]) + DescribeValues(volume);
}

std::string DescribeVoxel(const CVolume& volume, int x, int y, int z) {
    const double* d = volume.m_dSpacing;
    const double dValue = volume.m_Source.ToScan(volume.VoxelAt(x, y, z));
    return Format("Voxel (%d, %d, %d) at (%g, %g, %g) mm: ", x, y, z, x * d[0], y * d[1],
                  z * d[2]) +
           ScanValueText(volume.m_Source, dValue);
}

const char* const FINISHED_TITLE = "Render Output - finished";

std::string StepTitle(int nStep) {
    return Format("Render Output - Step %d", nStep);
}

std::string ProgressTitle(const RenderProgress& progress) {
    return progress.eState == RenderProgress::RUNNING ? StepTitle(progress.nStep) : FINISHED_TITLE;
}

std::string ProgressStatus(const RenderProgress& progress) {
    switch (progress.eState) {
    case RenderProgress::RUNNING:
        // The title of the step that does not run comes before the run ends.
        return Format("Step %d of %d", std::min(progress.nStep, progress.nSteps), progress.nSteps);
    case RenderProgress::FINISHED:
        return Format("finished in %.2f s", progress.dSeconds);
    case RenderProgress::STOPPED:
        if (progress.nStep < 1)
            return "stopped";
        return Format("stopped after step %d of %d", progress.nStep, progress.nSteps);
    case RenderProgress::NONE:
        break;
    }
    return std::string();
}

std::string ZoomStatus(double dZoom) {
    if (dZoom == 1.0)
        return std::string();
    char sText[32];
    std::snprintf(sText, sizeof sText, "%.2f", dZoom);
    std::string sFactor = sText;
    sFactor.erase(sFactor.find_last_not_of('0') + 1);
    if (sFactor.back() == '.')
        sFactor.pop_back();
    return "Zoom " + sFactor + "x";
}
