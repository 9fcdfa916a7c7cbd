// The program as a whole: `orvex` is started in the sample folder, its windows
// appear where they belong, and Escape in the render window ends the process at
// once with status 0; its command line. (The main dialog's ways to end the
// program in order run in the tests of the viewer's own start-up, ViewerTest.)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/uiaction.h>

#include "app/CommandLine.h"
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

// `orvex ARGS...` started in the sample folder (default.trf is read from it),
// its stdout and stderr going to files in a scratch folder; killed at the end
// unless it has ended by itself.
struct Child {
    explicit Child(const std::vector<std::string>& args) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, ORVEX_SAMPLE_DIR);
        posix_spawn_file_actions_addopen(&actions, 1, dir.Path("out").c_str(), O_WRONLY | O_CREAT,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, dir.Path("err").c_str(), O_WRONLY | O_CREAT,
                                         0644);
        std::vector<char*> argv = {const_cast<char*>(ORVEX_EXECUTABLE)};
        for (const std::string& sArg : args)
            argv.push_back(const_cast<char*>(sArg.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid, ORVEX_EXECUTABLE, &actions, nullptr, argv.data(), environ) != 0)
            pid = 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (pid > 0 && kill(pid, SIGKILL) == 0)
            waitpid(pid, nullptr, 0);
    }
    // Waits for the end; its exit status, or -1 when it has not ended normally.
    int Wait(int nTimeoutMs = 10000) {
        int status = 0;
        if (!guitest::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, nTimeoutMs))
            return -1;
        pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Out() const { return testfiles::ReadFile(dir.Path("out")); }
    std::string Err() const { return testfiles::ReadFile(dir.Path("err")); }

    testfiles::ScratchDir dir;
    pid_t pid = 0;
};

// Gives a top-level window the keyboard focus, then a real key press and
// release through the X server.
void PressKeyIn(Display* pDisplay, Window window, int nKeyCode) {
    XRaiseWindow(pDisplay, window);
    XSetInputFocus(pDisplay, window, RevertToPointerRoot, CurrentTime);
    // Focused once the server has the focus in the window or a window inside it.
    EXPECT_TRUE(guitest::WaitFor([&] {
        Window focus = 0, root = 0, *pChildren = nullptr;
        int nRevert = 0;
        unsigned nChildren = 0;
        XGetInputFocus(pDisplay, &focus, &nRevert);
        while (focus != window && focus > PointerRoot &&
               XQueryTree(pDisplay, focus, &root, &focus, &pChildren, &nChildren)) {
            if (pChildren)
                XFree(pChildren);
        }
        return focus == window;
    })) << "no focus";
    wxUIActionSimulator().Char(nKeyCode);
    XSync(pDisplay, False);
}

TEST(OrvexProcess, StartsWithItsWindowsInPlaceAndEscapeInTheRenderWindowEndsIt) {
    Display* pDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(pDisplay, nullptr);
    Child child({});
    ASSERT_GT(child.pid, 0);
    const pid_t pid = child.pid;

    // All three, once they have settled where they belong.
    std::map<std::string, std::pair<Window, wxRect>> windows;
    EXPECT_TRUE(guitest::WaitFor(
        [&] {
            windows = WindowsOf(pDisplay, pid);
            return windows.count("Render Output") && windows.count("Transfer Function Editor") &&
                   windows.count("Orvex") &&
                   windows["Render Output"].second == wxRect(322, 100, 700, 475) &&
                   windows["Transfer Function Editor"].second == wxRect(322, 575, 700, 211) &&
                   windows["Orvex"].second.GetPosition() == wxPoint(100, 100);
        },
        20000));
    EXPECT_EQ(windows["Render Output"].second, wxRect(322, 100, 700, 475));
    EXPECT_EQ(windows["Transfer Function Editor"].second, wxRect(322, 575, 700, 211));
    EXPECT_EQ(windows["Orvex"].second.GetPosition(), wxPoint(100, 100));

    // A real Escape key press through the X server, the render window focused.
    PressKeyIn(pDisplay, windows["Render Output"].first, WXK_ESCAPE);
    EXPECT_EQ(child.Wait(), 0);
    XCloseDisplay(pDisplay);
}

} // namespace

TEST(OrvexProcess, CommandLineGivesHelpRefusesWhatItDoesNotKnow) {
    const std::string sUsage = "usage: orvex [FILE]\n";
    const struct {
        std::vector<std::string> args;
        int nStatus;
        std::string sOut, sErrStart; // stdout exactly, the start of stderr
    } cases[] = {
        {{"phantom.dat", "-h"}, 0, ViewerUsage(), ""},
        {{"--bogus"}, 2, "", "orvex: unknown option '--bogus'\n" + sUsage},
        {{"a.nii", "b.nii"},
         2,
         "",
         "orvex: more than one FILE given ('a.nii' and 'b.nii')\n" + sUsage},
    };
    for (const auto& c : cases) {
        Child child(c.args);
        EXPECT_EQ(child.Wait(), c.nStatus) << c.args[0];
        EXPECT_EQ(child.Out(), c.sOut) << c.args[0];
        EXPECT_EQ(child.Err().substr(0, c.sErrStart.size()), c.sErrStart) << c.args[0];
    }
}
