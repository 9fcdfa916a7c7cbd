// The viewer's command line, `orvex [FILE]`: FILE is opened at start-up as if it
// had been chosen with "Load Dataset".
#pragma once

#include <string>
#include <vector>

enum ViewerCommand {
    VIEWER_RUN = 0, // start the viewer (with sFile, when one is given)
    VIEWER_HELP,    // print the usage to stdout, exit 0
    VIEWER_ERROR,   // print sError and the usage to stderr, exit 2
};

struct ViewerArguments {
    ViewerCommand eCommand = VIEWER_RUN;
    std::string sFile;  // empty: start without a dataset
    std::string sError; // one line without newline, for VIEWER_ERROR
};

// The arguments after the program's name. "-h" or "--help" anywhere before a
// "--" asks for the usage, whatever else is there; any other argument that
// starts with '-' before a "--" is an unknown option; at most one FILE.
ViewerArguments ParseViewerArguments(const std::vector<std::string>& args);

// The usage text, ending in a newline.
const char* ViewerUsage();
