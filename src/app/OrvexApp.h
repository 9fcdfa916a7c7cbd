// The wx application class of the viewer: its initialisation runs the start-up
// of the application object; the process ends when the main dialog has closed
// and the teardown has run.
#pragma once

#include <wx/app.h>

class COrvexApp : public wxApp {
public:
    bool OnInit() override;
};
