#include "xvfbserver.h"

#include <QByteArray>
#include <QElapsedTimer>

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

bool XvfbServer::start(int width, int height, int timeoutMs)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        m_error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const QByteArray fd = QByteArray::number(fds[1]);
    const QByteArray screen = QByteArray::number(width) + 'x' + QByteArray::number(height) + "x24";

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
        execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", screen.constData(), "-nolisten",
            "tcp", static_cast<char *>(nullptr));
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

bool useOwnXServer(XvfbServer &server)
{
    if (!server.start()) {
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
