// The program as a whole: `orvex` is started in the sample folder, its windows
// appear where they belong (also under a window manager, whose close boxes it
// follows), and Escape in the render window ends the process at once with
// status 0; its command line. (The main dialog's ways to end the
// program in order run in the tests of the viewer's own start-up, ViewerTest.)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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
void PressKeyIn(Display* pDisplay, Window window, int nKeyCode, int nModifiers = wxMOD_NONE) {
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
    wxUIActionSimulator().Char(nKeyCode, nModifiers);
    XSync(pDisplay, False);
}

// A property of 32-bit items (window ids, cardinals) of a window.
std::vector<long> LongsOf(Display* pDisplay, Window window, const char* pProperty, Atom type) {
    std::vector<long> values;
    Atom actual = 0;
    int format = 0;
    unsigned long nItems = 0, nAfter = 0;
    unsigned char* pData = nullptr;
    if (XGetWindowProperty(pDisplay, window, XInternAtom(pDisplay, pProperty, False), 0, 4096,
                           False, type, &actual, &format, &nItems, &nAfter, &pData) == Success &&
        pData) {
        if (format == 32)
            values.assign(reinterpret_cast<long*>(pData), reinterpret_cast<long*>(pData) + nItems);
        XFree(pData);
    }
    return values;
}

// A real window manager (openbox) on the test's display while it lives.
struct WindowManager {
    explicit WindowManager(Display* pDisplay) {
        char* argv[] = {const_cast<char*>("openbox"), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid, "openbox", &actions, nullptr, argv, environ) != 0)
            pid = 0;
        posix_spawn_file_actions_destroy(&actions);
        bRunning = pid > 0 && guitest::WaitFor([&] {
                       return !LongsOf(pDisplay, DefaultRootWindow(pDisplay),
                                       "_NET_SUPPORTING_WM_CHECK", XA_WINDOW)
                                   .empty();
                   });
    }
    ~WindowManager() {
        if (pid > 0 && kill(pid, SIGTERM) == 0)
            waitpid(pid, nullptr, 0);
    }
    pid_t pid = 0;
    bool bRunning = false;
};

// The top-level windows of process pid, bottom to top where a window manager
// keeps them, with their titles and outer rectangles (a manager's frame
// included).
struct ShownWindow {
    Window window;
    std::string sTitle;
    wxRect outer;
};
std::vector<ShownWindow> WindowsOf(Display* pDisplay, pid_t pid) {
    std::vector<ShownWindow> windows;
    const Window root = DefaultRootWindow(pDisplay);
    std::vector<long> candidates = LongsOf(pDisplay, root, "_NET_CLIENT_LIST_STACKING", XA_WINDOW);
    Window parent = 0, *pChildren = nullptr;
    unsigned int nChildren = 0;
    if (candidates.empty() && XQueryTree(pDisplay, root, &parent, &parent, &pChildren, &nChildren))
        candidates.assign(pChildren, pChildren + nChildren);
    if (pChildren)
        XFree(pChildren);
    for (long nWindow : candidates) {
        const Window window = static_cast<Window>(nWindow);
        const std::vector<long> owner = LongsOf(pDisplay, window, "_NET_WM_PID", XA_CARDINAL);
        std::vector<long> frame = LongsOf(pDisplay, window, "_NET_FRAME_EXTENTS", XA_CARDINAL);
        frame.resize(4);
        char* pName = nullptr;
        if (owner.size() != 1 || owner[0] != pid || !XFetchName(pDisplay, window, &pName) || !pName)
            continue;
        XWindowAttributes attributes;
        int x = 0, y = 0;
        Window child = 0;
        XGetWindowAttributes(pDisplay, window, &attributes);
        XTranslateCoordinates(pDisplay, window, root, 0, 0, &x, &y, &child);
        windows.push_back({window, pName,
                           wxRect(x - int(frame[0]), y - int(frame[2]),
                                  attributes.width + int(frame[0] + frame[1]),
                                  attributes.height + int(frame[2] + frame[3]))});
        XFree(pName);
    }
    return windows;
}

// The place of the window of that title in the list, -1 when there is none.
int Find(const std::vector<ShownWindow>& windows, const std::string& sTitle) {
    for (size_t i = 0; i < windows.size(); ++i)
        if (windows[i].sTitle == sTitle)
            return int(i);
    return -1;
}

// The window manager's own close request (its close box): it asks the window
// to close, as the close box in its frame does.
void ClickCloseBox(Display* pDisplay, Window window) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(pDisplay, "_NET_CLOSE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[1] = 2; // a pager or similar tool asks
    XSendEvent(pDisplay, DefaultRootWindow(pDisplay), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(pDisplay, False);
}

TEST(OrvexProcess, StartsWithItsWindowsInPlaceAndEscapeInTheRenderWindowEndsIt) {
    Display* pDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(pDisplay, nullptr);
    Child child({});
    ASSERT_GT(child.pid, 0);
    const pid_t pid = child.pid;

    // All three, once they have settled where they belong.
    std::vector<ShownWindow> windows;
    auto rect = [&](const char* pTitle) {
        const int i = Find(windows, pTitle);
        return i < 0 ? wxRect() : windows[i].outer;
    };
    EXPECT_TRUE(guitest::WaitFor(
        [&] {
            windows = WindowsOf(pDisplay, pid);
            return rect("Render Output") == wxRect(322, 100, 700, 475) &&
                   rect("Transfer Function Editor") == wxRect(322, 575, 700, 211) &&
                   rect("Orvex").GetPosition() == wxPoint(100, 100);
        },
        20000));
    EXPECT_EQ(rect("Render Output"), wxRect(322, 100, 700, 475));
    EXPECT_EQ(rect("Transfer Function Editor"), wxRect(322, 575, 700, 211));
    EXPECT_EQ(rect("Orvex").GetPosition(), wxPoint(100, 100));

    // A real Escape key press through the X server, the render window focused.
    ASSERT_GE(Find(windows, "Render Output"), 0);
    PressKeyIn(pDisplay, windows[Find(windows, "Render Output")].window, WXK_ESCAPE);
    EXPECT_EQ(child.Wait(), 0);
    XCloseDisplay(pDisplay);
}

TEST(OrvexProcess, UnderAWindowManagerNoWindowCoversAnotherAndTheCloseBoxesWork) {
    Display* pDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(pDisplay, nullptr);
    WindowManager manager(pDisplay);
    ASSERT_TRUE(manager.bRunning) << "openbox did not start";
    Child child({});
    ASSERT_GT(child.pid, 0);

    // The three windows, placed once they are up: no two frames overlap.
    const char* const titles[] = {"Orvex", "Render Output", "Transfer Function Editor"};
    auto overlapping = [&](const std::vector<ShownWindow>& windows) {
        int nOverlaps = 0;
        for (int i = 0; i < 3; ++i)
            for (int j = i + 1; j < 3; ++j)
                nOverlaps += windows[Find(windows, titles[i])].outer.Intersects(
                    windows[Find(windows, titles[j])].outer);
        return nOverlaps;
    };
    std::vector<ShownWindow> windows;
    EXPECT_TRUE(guitest::WaitFor(
        [&] {
            windows = WindowsOf(pDisplay, child.pid);
            for (const char* pTitle : titles)
                if (Find(windows, pTitle) < 0)
                    return false;
            return overlapping(windows) == 0;
        },
        20000));
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(overlapping(windows), 0);
    const Window editor = windows[Find(windows, "Transfer Function Editor")].window;
    const Window render = windows[Find(windows, "Render Output")].window;

    // The editor's file dialog comes up above every other window; Escape
    // cancels it.
    PressKeyIn(pDisplay, editor, 'O', wxMOD_CONTROL);
    ASSERT_TRUE(guitest::WaitFor([&] {
        windows = WindowsOf(pDisplay, child.pid);
        return windows.size() == 4u;
    }));
    EXPECT_LT(Find(windows, "Transfer Function Editor"), 3);
    EXPECT_LT(Find(windows, "Orvex"), 3) << "the file dialog lies under the main dialog";
    PressKeyIn(pDisplay, windows.back().window, WXK_ESCAPE);
    ASSERT_TRUE(guitest::WaitFor([&] { return WindowsOf(pDisplay, child.pid).size() == 3u; }));

    // The editor's close box puts it out of the way; Render Output's ends the
    // program as "Exit" does.
    ClickCloseBox(pDisplay, editor);
    EXPECT_TRUE(guitest::WaitFor([&] {
        const std::vector<long> state =
            LongsOf(pDisplay, editor, "WM_STATE", XInternAtom(pDisplay, "WM_STATE", False));
        return !state.empty() && state[0] == IconicState;
    }));
    EXPECT_EQ(kill(child.pid, 0), 0);
    ClickCloseBox(pDisplay, render);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(child.Err().find("Gtk-CRITICAL"), std::string::npos) << child.Err();
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
