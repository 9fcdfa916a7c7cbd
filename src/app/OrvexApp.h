// The wx application class of the viewer: its initialisation reads the command
// line (after the toolkit has taken its own options) and runs the start-up of
// the application object; the process ends when the main dialog has closed and
// the teardown has run.
#pragma once

#include <wx/app.h>

class COrvexApp : public wxApp {
public:
    bool OnInit() override;
    // The main loop; after "--help" or a bad command line only the exit status
    // (0 or 2), without windows.
    int OnRun() override;

private:
    int m_nCommandLineExit = -1; // >= 0: end with this status at once
};
