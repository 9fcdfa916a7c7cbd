// The main dialog's status text, made without any display: what the loaded
// dataset is, and how far the volume renderer's run has come.
#pragma once

#include <string>

class CVolume;

// The status when no dataset is loaded.
inline constexpr const char* TEXT_NO_DATASET = "No dataset loaded";

// The dataset as the status shows it, one fact a line: the name of the file
// (or DICOM series) it came from, the dimensions, the voxel spacing and how the
// voxel values were taken from the file.
std::string DescribeDataset(const CVolume& volume);

// Follows the worker's title and repaint notices, run after run, in the order
// the window receives them, and tells how far the last run has come.
class CRunStatus {
public:
    // A title the worker posted: "Render Output - Step %d" at the start of a step
    // of a run at a client size of nWidth x nHeight, or "Render Output -
    // finished" dSeconds after the run began.
    void OnTitle(const std::string& sTitle, int nWidth, int nHeight, double dSeconds);
    // The worker has handed the window the picture of the step under way.
    void OnRepaint();

    // "Step 7 of 11" while a run goes on, "finished in 0.41 s" once it has run
    // all its steps, "stopped after step 4 of 11" (or "stopped") when it ended
    // before; empty before the first run.
    std::string Text() const;

private:
    enum class State { None, Running, Finished, Stopped };
    State m_eState = State::None;
    int m_nSteps = 0;      // the steps the run takes
    int m_nStep = 0;       // the step under way (its title seen)
    bool m_bShown = false; // that step's picture handed over
    double m_dSeconds = 0.0;
};
