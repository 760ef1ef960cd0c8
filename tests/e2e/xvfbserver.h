#pragma once
// A private X server for one test run: Xvfb on the first free display, which the server picks
// itself (-displayfd), so that test runs side by side never race for a display number. The server
// is stopped when the object goes, and also when the test process dies first.

#include <QString>

#include <sys/types.h>

class XvfbServer
{
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // Starts the server and waits until it accepts clients. False, with errorString(), when Xvfb
    // is missing or does not come up within timeoutMs. Call before any thread is started.
    // dotsPerInch > 0 gives the screen that resolution as a desktop does: the physical size and
    // the resource Xft.dpi, which is what Qt reads as the screen's logical resolution.
    bool start(int width = 1280, int height = 1024, int timeoutMs = 15000, int dotsPerInch = 0);
    void stop();

    QString display() const { return m_display; } // ":N"
    QString errorString() const { return m_error; }

private:
    pid_t m_pid = -1;
    QString m_display;
    QString m_error;
};

// Starts a server and points this process (and the processes it starts) at it: DISPLAY and the
// xcb platform. Prints why and returns false when that fails; the test must then fail, not skip.
bool useOwnXServer(XvfbServer &server, int dotsPerInch = 0);
