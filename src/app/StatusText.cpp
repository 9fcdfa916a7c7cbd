#include "app/StatusText.h"

#include <cstdio>

#include "engine/ProgressiveThread.h"
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

void CRunStatus::OnTitle(const std::string& sTitle, int nWidth, int nHeight, double dSeconds) {
    if (sTitle == FINISHED_TITLE) {
        if (m_eState != State::Running) {
            // A run that began while the user was turning the view: no step.
            m_nStep = 0;
            m_bShown = false;
        }
        // The title of the step that did not run follows the last step that did;
        // with all eleven, the last step's picture closes the run.
        const bool bComplete = m_eState == State::Running &&
                               ((m_nStep == m_nSteps && m_bShown) ||
                                (m_nStep == m_nSteps + 1 && m_nSteps < PROGRESSIVE_STEPS));
        m_eState = bComplete ? State::Finished : State::Stopped;
        m_dSeconds = dSeconds;
        return;
    }
    for (int nStep = 1; nStep <= PROGRESSIVE_STEPS; ++nStep) {
        if (sTitle != StepTitle(nStep))
            continue;
        if (nStep == 1) {
            m_eState = State::Running;
            m_nSteps = ProgressiveStepCount(nWidth, nHeight);
        }
        m_nStep = nStep;
        m_bShown = false;
        return;
    }
}

void CRunStatus::OnRepaint() {
    m_bShown = true;
}

std::string CRunStatus::Text() const {
    switch (m_eState) {
    case State::Running:
        return Format("Step %d of %d", m_nStep <= m_nSteps ? m_nStep : m_nSteps, m_nSteps);
    case State::Finished:
        return Format("finished in %.2f s", m_dSeconds);
    case State::Stopped: {
        const int nDone = m_bShown ? m_nStep : m_nStep - 1;
        if (nDone < 1)
            return "stopped";
        return Format("stopped after step %d of %d", nDone, m_nSteps);
    }
    case State::None:
        break;
    }
    return std::string();
}
