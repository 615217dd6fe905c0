#include "console/Signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_received = 0;

// Only async-signal-safe calls here: one byte into the self-pipe.
void onSignal(int) {
    const int saved = errno;
    g_received = 1;
    const char b = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &b, 1);
    errno = saved;
}

} // namespace

bool quitSignalReceived() { return g_received != 0; }

void installQuitSignals(std::function<void()> onQuit) {
    if (g_pipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [onQuit = std::move(onQuit)] {
        char buf[64];
        while (::read(g_pipe[0], buf, sizeof buf) > 0) {
        }
        // A second signal while closing must not close twice.
        static bool done = false;
        if (done)
            return;
        done = true;
        if (onQuit)
            onQuit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}
