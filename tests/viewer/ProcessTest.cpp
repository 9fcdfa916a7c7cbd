// The program as a whole: `orvex` is started in the sample folder, its windows
// appear where they belong, and each way of ending it ends the process with
// status 0 (Escape in the render window at once; Escape or the close box of
// the main dialog through the teardown).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <wx/uiaction.h>

#include "support/GuiTest.h"

// Xlib last: its macros clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace {

class OrvexProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pDisplay = XOpenDisplay(nullptr);
        ASSERT_NE(m_pDisplay, nullptr);
        ASSERT_EQ(access(ORVEX_EXECUTABLE, X_OK), 0) << ORVEX_EXECUTABLE;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // The sample folder is the working directory: default.trf is read from it.
        posix_spawn_file_actions_addchdir_np(&actions, ORVEX_SAMPLE_DIR);
        char* argv[] = {const_cast<char*>(ORVEX_EXECUTABLE), nullptr};
        ASSERT_EQ(posix_spawn(&m_Pid, ORVEX_EXECUTABLE, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }

    void TearDown() override {
        if (m_Pid > 0) {
            kill(m_Pid, SIGKILL);
            waitpid(m_Pid, nullptr, 0);
        }
        if (m_pDisplay)
            XCloseDisplay(m_pDisplay);
    }

    // The top-level window of the child with this title, or 0.
    Window FindWindow(const std::string& sTitle) {
        const Atom pidAtom = XInternAtom(m_pDisplay, "_NET_WM_PID", False);
        Window root = 0, parent = 0;
        Window* pChildren = nullptr;
        unsigned int nChildren = 0;
        Window found = 0;
        if (!XQueryTree(m_pDisplay, DefaultRootWindow(m_pDisplay), &root, &parent, &pChildren,
                        &nChildren))
            return 0;
        for (unsigned int i = 0; i < nChildren && !found; ++i) {
            Atom type = 0;
            int format = 0;
            unsigned long nItems = 0, nAfter = 0;
            unsigned char* pData = nullptr;
            if (XGetWindowProperty(m_pDisplay, pChildren[i], pidAtom, 0, 1, False, XA_CARDINAL,
                                   &type, &format, &nItems, &nAfter, &pData) != Success ||
                !pData)
                continue;
            const long pid = nItems == 1 ? *reinterpret_cast<long*>(pData) : 0;
            XFree(pData);
            if (pid != m_Pid)
                continue;
            char* pName = nullptr;
            if (XFetchName(m_pDisplay, pChildren[i], &pName) && pName) {
                if (sTitle == pName)
                    found = pChildren[i];
                XFree(pName);
            }
        }
        if (pChildren)
            XFree(pChildren);
        return found;
    }

    Window WaitForWindow(const std::string& sTitle) {
        Window window = 0;
        guitest::WaitFor([&] { return (window = FindWindow(sTitle)) != 0; }, 20000);
        return window;
    }

    // Exit status of the child, or -1 when it has not ended within the time.
    int WaitForExit(int nTimeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            const pid_t r = waitpid(m_Pid, &status, WNOHANG);
            if (r == m_Pid) {
                m_Pid = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    struct Geometry {
        int x = 0, y = 0;
        unsigned int w = 0, h = 0;
    };
    Geometry GetGeometry(Window window) {
        Geometry g;
        Window root = 0, child = 0;
        int x = 0, y = 0;
        unsigned int border = 0, depth = 0;
        XGetGeometry(m_pDisplay, window, &root, &x, &y, &g.w, &g.h, &border, &depth);
        XTranslateCoordinates(m_pDisplay, window, root, 0, 0, &g.x, &g.y, &child);
        return g;
    }

    // A real Escape key press for the window: it gets the keyboard focus, then
    // the key goes through the X server.
    void PressEscapeIn(Window window) {
        XRaiseWindow(m_pDisplay, window);
        XSetInputFocus(m_pDisplay, window, RevertToPointerRoot, CurrentTime);
        XSync(m_pDisplay, False);
        guitest::Pump(300);
        wxUIActionSimulator sim;
        sim.Char(WXK_ESCAPE);
        XSync(m_pDisplay, False);
    }

    Display* m_pDisplay = nullptr;
    pid_t m_Pid = 0;
};

TEST_F(OrvexProcessTest, StartsWithItsWindowsInPlaceAndEscapeInTheRenderWindowEndsIt) {
    const Window render = WaitForWindow("Render Output");
    const Window dialog = WaitForWindow("Orvex");
    ASSERT_NE(render, 0u);
    ASSERT_NE(dialog, 0u);
    guitest::Pump(500);
    const Geometry r = GetGeometry(render);
    EXPECT_EQ(r.x, 322);
    EXPECT_EQ(r.y, 100);
    EXPECT_EQ(r.w, 700u);
    EXPECT_EQ(r.h, 475u);
    const Geometry d = GetGeometry(dialog);
    EXPECT_EQ(d.x, 100);
    EXPECT_EQ(d.y, 100);

    PressEscapeIn(render);
    EXPECT_EQ(WaitForExit(10000), 0);
}

TEST_F(OrvexProcessTest, EscapeInTheMainDialogEndsTheProgramInOrder) {
    const Window dialog = WaitForWindow("Orvex");
    ASSERT_NE(dialog, 0u);
    guitest::Pump(500);
    PressEscapeIn(dialog);
    EXPECT_EQ(WaitForExit(10000), 0);
}

TEST_F(OrvexProcessTest, CloseBoxOfTheMainDialogEndsTheProgramInOrder) {
    const Window dialog = WaitForWindow("Orvex");
    ASSERT_NE(dialog, 0u);
    guitest::Pump(500);
    // What a window manager sends when the close box is clicked.
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = dialog;
    event.xclient.message_type = XInternAtom(m_pDisplay, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(m_pDisplay, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_pDisplay, dialog, False, NoEventMask, &event);
    XSync(m_pDisplay, False);
    EXPECT_EQ(WaitForExit(10000), 0);
}

} // namespace
