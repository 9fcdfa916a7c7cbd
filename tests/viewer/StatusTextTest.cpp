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
    // 692 x 448 takes all eleven steps: the last step's picture closes the run.
    for (int n = 1; n <= 11; ++n) {
        status.OnTitle(Step(n), 692, 448, 0.0);
        EXPECT_EQ(status.Text(), "Step " + std::to_string(n) + " of 11");
        status.OnRepaint();
    }
    status.OnTitle(kFinished, 692, 448, 0.414);
    EXPECT_EQ(status.Text(), "finished in 0.41 s");
    // Stopped during step 4, whose picture never came: three steps are shown.
    for (int n = 1; n <= 4; ++n) {
        status.OnTitle(Step(n), 692, 448, 0.0);
        if (n < 4)
            status.OnRepaint();
    }
    status.OnTitle(kFinished, 692, 448, 0.2);
    EXPECT_EQ(status.Text(), "stopped after step 3 of 11");
    // The same with all eleven titles but the last picture missing.
    for (int n = 1; n <= 11; ++n) {
        status.OnTitle(Step(n), 692, 448, 0.0);
        if (n < 11)
            status.OnRepaint();
    }
    status.OnTitle(kFinished, 692, 448, 0.3);
    EXPECT_EQ(status.Text(), "stopped after step 10 of 11");
    // A run that began while the user turned the view renders no step.
    status.OnTitle(kFinished, 692, 448, 0.0);
    EXPECT_EQ(status.Text(), "stopped");
    // A 1 x 1 client area: one step, then the title of the step that does not run.
    status.OnTitle(Step(1), 1, 1, 0.0);
    status.OnRepaint();
    status.OnTitle(Step(2), 1, 1, 0.0);
    EXPECT_EQ(status.Text(), "Step 1 of 1");
    status.OnTitle(kFinished, 1, 1, 0.001);
    EXPECT_EQ(status.Text(), "finished in 0.00 s");
}

} // namespace
