// The run line of the status text from the worker's notices, without a display:
// how a run that was stopped, and one that rendered nothing, are told apart
// from one that ran all its steps.
#include <gtest/gtest.h>

#include "app/StatusText.h"

namespace {

const std::string kFinished = "Render Output - finished";
std::string Step(int n) {
    return "Render Output - Step " + std::to_string(n);
}

TEST(RunStatus, TellsFinishedStoppedAndEmptyRunsApart) {
    CRunStatus status;
    EXPECT_EQ(status.Text(), "");
    // One run at 692 x 448 (eleven steps): the titles of steps 1 to nTitles, the
    // picture of each but, without bLastShown, the last; then its end.
    auto run = [&](int nTitles, bool bLastShown) {
        for (int n = 1; n <= nTitles; ++n) {
            status.OnTitle(Step(n), 692, 448, 0.0);
            EXPECT_EQ(status.Text(), "Step " + std::to_string(n) + " of 11");
            if (n < nTitles || bLastShown)
                status.OnRepaint();
        }
        status.OnTitle(kFinished, 692, 448, 0.414);
        return status.Text();
    };
    EXPECT_EQ(run(11, true), "finished in 0.41 s");
    EXPECT_EQ(run(4, false), "stopped after step 3 of 11");
    EXPECT_EQ(run(11, false), "stopped after step 10 of 11");
    // A run that began while the user turned the view renders no step.
    EXPECT_EQ(run(0, false), "stopped");
    // A 1 x 1 client area: one step, then the title of the step that does not run.
    status.OnTitle(Step(1), 1, 1, 0.0);
    status.OnRepaint();
    status.OnTitle(Step(2), 1, 1, 0.0);
    EXPECT_EQ(status.Text(), "Step 1 of 1");
    status.OnTitle(kFinished, 1, 1, 0.001);
    EXPECT_EQ(status.Text(), "finished in 0.00 s");
}

} // namespace
