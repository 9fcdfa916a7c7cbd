// The program as a whole: `orvex` is started in the sample folder, its windows
// appear where they belong, and Escape in the render window ends the process at
// once with status 0. (The main dialog's ways to end the program in order run
// in the tests of the viewer's own start-up, ViewerTest.)
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>

#include <gtest/gtest.h>
#include <wx/uiaction.h>

#include "support/GuiTest.h"

// Xlib last: its macros clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace {

// The top-level windows of process pid by title, with their screen rectangles.
std::map<std::string, std::pair<Window, wxRect>> WindowsOf(Display* pDisplay, pid_t pid) {
    std::map<std::string, std::pair<Window, wxRect>> windows;
    const Atom pidAtom = XInternAtom(pDisplay, "_NET_WM_PID", False);
    Window root = 0, parent = 0, *pChildren = nullptr;
    unsigned int nChildren = 0;
    XQueryTree(pDisplay, DefaultRootWindow(pDisplay), &root, &parent, &pChildren, &nChildren);
    for (unsigned int i = 0; i < nChildren; ++i) {
        Atom type = 0;
        int format = 0, x = 0, y = 0;
        unsigned long nItems = 0, nAfter = 0;
        unsigned char* pData = nullptr;
        char* pName = nullptr;
        if (XGetWindowProperty(pDisplay, pChildren[i], pidAtom, 0, 1, False, XA_CARDINAL, &type,
                               &format, &nItems, &nAfter, &pData) != Success ||
            !pData)
            continue;
        const bool bOurs = nItems == 1 && *reinterpret_cast<long*>(pData) == pid;
        XFree(pData);
        if (!bOurs || !XFetchName(pDisplay, pChildren[i], &pName) || !pName)
            continue;
        unsigned int w = 0, h = 0, border = 0, depth = 0;
        Window child = 0;
        XGetGeometry(pDisplay, pChildren[i], &root, &x, &y, &w, &h, &border, &depth);
        XTranslateCoordinates(pDisplay, pChildren[i], root, 0, 0, &x, &y, &child);
        windows[pName] = {pChildren[i], wxRect(x, y, static_cast<int>(w), static_cast<int>(h))};
        XFree(pName);
    }
    if (pChildren)
        XFree(pChildren);
    return windows;
}

TEST(OrvexProcess, StartsWithItsWindowsInPlaceAndEscapeInTheRenderWindowEndsIt) {
    Display* pDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(pDisplay, nullptr);
    // The sample folder is the working directory: default.trf is read from it.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, ORVEX_SAMPLE_DIR);
    char* argv[] = {const_cast<char*>(ORVEX_EXECUTABLE), nullptr};
    struct Child { // killed at the end unless it has ended by itself
        pid_t pid = 0;
        ~Child() {
            if (pid > 0 && kill(pid, SIGKILL) == 0)
                waitpid(pid, nullptr, 0);
        }
    } child;
    ASSERT_EQ(posix_spawn(&child.pid, ORVEX_EXECUTABLE, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    const pid_t pid = child.pid;

    std::map<std::string, std::pair<Window, wxRect>> windows;
    EXPECT_TRUE(
        guitest::WaitFor([&] { return (windows = WindowsOf(pDisplay, pid)).size() == 3; }, 20000));
    guitest::Pump(500);
    windows = WindowsOf(pDisplay, pid);
    EXPECT_EQ(windows["Render Output"].second, wxRect(322, 100, 700, 475));
    EXPECT_EQ(windows["Transfer Function Editor"].second, wxRect(322, 575, 700, 211));
    EXPECT_EQ(windows["Orvex"].second.GetPosition(), wxPoint(100, 100));

    // A real Escape key press through the X server, the render window focused.
    const Window render = windows["Render Output"].first;
    XRaiseWindow(pDisplay, render);
    XSetInputFocus(pDisplay, render, RevertToPointerRoot, CurrentTime);
    XSync(pDisplay, False);
    guitest::Pump(300);
    wxUIActionSimulator().Char(WXK_ESCAPE);
    XSync(pDisplay, False);
    int status = 0;
    ASSERT_TRUE(guitest::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }));
    child.pid = 0;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    XCloseDisplay(pDisplay);
}

} // namespace
