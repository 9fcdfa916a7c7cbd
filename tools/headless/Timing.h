// What the benchmark programs (orvex-bench and the race's orvex-race-time)
// share: one timed run of the progressive worker, the summary of repeated
// measurements and the list of thread counts on their command lines.
#pragma once

#include <string>
#include <vector>

class CHeadlessViewer;

// One whole run, timed from the call of StartProgressiveThread.
struct RunTimes {
    double dFinished = -1; // ms to the title "Render Output - finished" (-1: never)
    double dStep6 = -1;    // ms to the sixth repaint request (-1: fewer steps)
    double dCpu = -1;      // processor time of the whole process during the run, ms
    long long nRays = 0;   // computed pixels of the front image afterwards
    int nRepaints = 0;
};

// Runs the viewer's current settings once and waits for the worker's end.
RunTimes TimeWholeRun(CHeadlessViewer& viewer);

// Minimum, median and maximum of measurements; invalid when there are none.
struct Stats {
    double dMin = 0, dMedian = 0, dMax = 0;
    bool bValid = false;
};
Stats Summarise(std::vector<double> values);

// "1,2,4": thread counts 1..MAX_RENDER_THREADS, each once.
bool ParseThreadList(const std::string& sText, std::vector<int>& threads);
