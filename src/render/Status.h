// What the render window's title and the main dialog's status text say, made
// without any display: the loaded dataset, and how far a rendering run has
// come as the worker reports it after each step's start and at the run's end.
#pragma once

#include <string>

class CVolume;

// The status when no dataset is loaded.
inline constexpr const char* TEXT_NO_DATASET = "No dataset loaded";

// The dataset as the status shows it, one fact a line: the name of the file
// (or DICOM series) it came from, the dimensions, the voxel spacing and how the
// voxel values were taken from the file.
std::string DescribeDataset(const CVolume& volume);

// The voxel under the cursor as the status shows it: its indices, its place in
// millimetres (index times spacing) and its value in scan units, as in
// "Voxel (12, 40, 7) at (6, 20, 17.5) mm: -1024".
std::string DescribeVoxel(const CVolume& volume, int x, int y, int z);

struct RenderProgress {
    enum State {
        NONE,     // no run yet
        RUNNING,  // step nStep is under way
        FINISHED, // every step has run and its picture is shown
        STOPPED,  // the run ended before; nStep steps' pictures are shown
    };
    State eState = NONE;
    int nStep = 0;         // RUNNING: the step under way; else the last step shown
    int nSteps = 0;        // the steps the run takes at its client size
    double dSeconds = 0.0; // since the run began
};

// The window titles during step nStep and after a run.
std::string StepTitle(int nStep);
extern const char* const FINISHED_TITLE;
// The render window's title: "Render Output - Step 3" while step 3 is under
// way, "Render Output - finished" once the run has ended (either way).
std::string ProgressTitle(const RenderProgress& progress);
// The status line: "Step 7 of 11", "finished in 0.41 s", "stopped after step 4
// of 11" or "stopped" (nothing shown); empty before the first run.
std::string ProgressStatus(const RenderProgress& progress);

// The zoom factor as the status shows it, "Zoom 2.5x" (at most two decimals);
// empty at zoom 1.
std::string ZoomStatus(double dZoom);
