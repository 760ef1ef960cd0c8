#include "xvfbserver.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QScopeGuard>

#include <xcb/xcb.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

XvfbServer::~XvfbServer()
{
    stop();
}

namespace {

// Sets the root window's resource string (what xrdb would), so that clients read Xft.dpi.
QString setResources(const QString &display, const QByteArray &resources)
{
    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(display.toLocal8Bit().constData(), &screenNumber);
    const auto done = qScopeGuard([c] { xcb_disconnect(c); });
    if (xcb_connection_has_error(c))
        return QStringLiteral("cannot connect to the new server %1").arg(display);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    static const char name[] = "RESOURCE_MANAGER";
    xcb_intern_atom_reply_t *atom
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    if (!atom)
        return QStringLiteral("cannot find the atom RESOURCE_MANAGER");
    const xcb_atom_t resourceManager = atom->atom;
    std::free(atom);
    const xcb_void_cookie_t set = xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, screens.data->root,
        resourceManager, XCB_ATOM_STRING, 8, uint32_t(resources.size()), resources.constData());
    if (xcb_generic_error_t *error = xcb_request_check(c, set)) {
        std::free(error);
        return QStringLiteral("cannot set the screen's resources");
    }
    return QString();
}

} // namespace

bool XvfbServer::start(int width, int height, int timeoutMs, int dotsPerInch)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        m_error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const QByteArray fd = QByteArray::number(fds[1]);
    const QByteArray screen = QByteArray::number(width) + 'x' + QByteArray::number(height) + "x24";
    const QByteArray dpi = QByteArray::number(dotsPerInch > 0 ? dotsPerInch : 96);

    const pid_t pid = fork();
    if (pid < 0) {
        m_error = QStringLiteral("fork: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        // The server must not outlive a test that crashes or is killed by its time-out.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        fcntl(fds[1], F_SETFD, 0);
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, STDIN_FILENO);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        // -noreset: the resources set below stay when the client that set them goes.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-dpi", dpi.constData(), "-screen", "0",
            screen.constData(), "-nolisten", "tcp", "-noreset", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    m_pid = pid;

    // Xvfb writes its display number once it accepts connections.
    QByteArray number;
    QElapsedTimer clock;
    clock.start();
    bool complete = false;
    while (!complete && clock.elapsed() < timeoutMs) {
        pollfd p { fds[0], POLLIN, 0 };
        const int ready = poll(&p, 1, int(timeoutMs - clock.elapsed()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[32];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break; // the server ended before it was ready
        number.append(buffer, n);
        complete = number.contains('\n');
    }
    close(fds[0]);
    if (!complete) {
        int status = 0;
        const bool ended = waitpid(m_pid, &status, WNOHANG) == m_pid;
        if (ended) {
            m_pid = -1;
            m_error = WIFEXITED(status) && WEXITSTATUS(status) == 127
                ? QStringLiteral("Xvfb is not installed (scripts/setup.sh installs it)")
                : QStringLiteral("Xvfb ended before it was ready (status %1)").arg(status);
        } else {
            m_error = QStringLiteral("Xvfb did not come up within %1 ms").arg(timeoutMs);
            stop();
        }
        return false;
    }
    m_display = u':' + QString::fromLatin1(number.trimmed());
    if (dotsPerInch > 0) {
        const QString failed = setResources(m_display, "Xft.dpi:\t" + dpi + '\n');
        if (!failed.isEmpty()) {
            m_error = failed;
            stop();
            return false;
        }
    }
    return true;
}

void XvfbServer::stop()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (clock.elapsed() > 5000) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        // Waiting for a child to end has no descriptor to poll; check again shortly.
        poll(nullptr, 0, 10);
    }
    m_pid = -1;
    m_display.clear();
}

bool useOwnXServer(XvfbServer &server, int dotsPerInch)
{
    if (!server.start(1280, 1024, 15000, dotsPerInch)) {
        std::fprintf(stderr, "FAIL: cannot start an X server for the end-to-end test: %s\n",
            qPrintable(server.errorString()));
        return false;
    }
    qputenv("DISPLAY", server.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    // No session of the machine's user leaks in (accessibility bus, input methods, themes).
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("QT_IM_MODULE");
    qunsetenv("XAUTHORITY");
    return true;
}
