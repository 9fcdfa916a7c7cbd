// The viewer's entry point: `orvex [FILE]`.
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/OrvexApp.h"

wxIMPLEMENT_APP_NO_MAIN(COrvexApp);

int main(int argc, char** argv) {
    wxDISABLE_DEBUG_SUPPORT();
    // Help is answered before the toolkit starts, so that it needs no display.
    if (ParseViewerArguments(std::vector<std::string>(argv + 1, argv + argc)).eCommand ==
        VIEWER_HELP) {
        std::fputs(ViewerUsage(), stdout);
        return 0;
    }
    return wxEntry(argc, argv);
}
