// The progressive rendering worker: one run renders the current volume with the
// current view from scratch, coarse to fine in up to eleven steps, and hands
// every finished step to the render window.
#pragma once

#include <cstdint>
#include <string>

// The number of refinement steps of a run (grids of 1, 2, 4, ... 1024 points per
// side).
constexpr int PROGRESSIVE_STEPS = 11;

// Whether step nStep (1..PROGRESSIVE_STEPS) of a run at a client size of W x H
// runs: its grid of 2^(nStep - 1) points per side is finer than half the larger
// client dimension. The run leaves its loop at the first step that does not.
bool ProgressiveStepRuns(int nStep, int nWidth, int nHeight);
// The number of steps a run at a client size of W x H takes (0 to
// PROGRESSIVE_STEPS) when nothing stops it.
int ProgressiveStepCount(int nWidth, int nHeight);

class CRenderState;

// The thread function: one run of the render state's scene with the settings
// it holds at the start. Returns 0 after a run; -1 at once, touching no event
// and writing nothing, when there is no dataset (or one without voxels), no
// transfer function or no vector-math object.
int ProgressiveVolumeThread(CRenderState& state);

// The timing line written after a step: "step #3 ready! 1.050 seconds elapsed\n".
std::string FormatStepReadyLine(int nStep, int32_t nElapsedMs);

struct RayView;
// How many grid columns apart two rays of a step with n x n grid points must lie
// so that they never reach the same shading-cache entry, whatever their rows
// (at most n).
int RowLag(const RayView& view, int n);
