#pragma once
#include <QProcess>
#include <QProcessEnvironment>
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// A private X server (Xvfb on a free display it picks itself) with or without
// a window manager (openbox), for tests and benchmarks of the real program on
// a real desktop. Geometry is read back from the X server, not from Qt.
class XServer {
public:
    struct Options {
        QSize screen{1600, 1200};
        bool windowManager = true;
    };
    explicit XServer(Options options);
    XServer() : XServer(Options{}) {}
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Empty when the server or the window manager did not come up.
    const QString& error() const { return error_; }
    QString display() const { return display_; }
    QSize screen() const { return options_.screen; }
    qint64 serverPid() const { return xvfb_.processId(); }
    // The environment a program under test runs with: this display, xcb.
    QProcessEnvironment environment() const;

    // Runs an X client tool (xdotool, xprop, xwininfo, import) on this display;
    // its standard output, or nullopt when it failed.
    std::optional<QString> tool(const QString& program, const QStringList& args, int timeoutMs = 5000) const;

    // The one mapped window whose title is exactly `title` (decimal id), polled up to timeoutMs.
    // Generous: a first start on a busy machine loads the program and its libraries cold.
    std::optional<QString> findWindow(const QString& title, int timeoutMs = 20000) const;
    // Ids of the mapped windows of process pid.
    QStringList windowsOf(qint64 pid) const;

    // The window's client area in root coordinates.
    std::optional<QRect> clientGeometry(const QString& id) const;
    // The frame's width on each side (_NET_FRAME_EXTENTS; none without a window manager).
    QMargins frameExtents(const QString& id) const;
    // The client area grown by the frame the window manager drew around it.
    std::optional<QRect> frameGeometry(const QString& id) const;
    // WM_NAME and _NET_WM_NAME as the window manager reads them.
    QString wmName(const QString& id) const;
    QString netWmName(const QString& id) const;
    // _NET_WM_STATE atoms (e.g. "_NET_WM_STATE_FULLSCREEN").
    QStringList netWmState(const QString& id) const;

    // The windows from bottom to top (decimal ids): as the window manager stacks
    // them, or without one as the X server does.
    QStringList stacking() const;
    // The text a message box shows, copied out of it as an operator does.
    std::optional<QString> textOf(const QString& id) const;

    // Sends key (xdotool key name) to the window, focusing it first.
    bool key(const QString& id, const QString& keyName) const;
    // Clicks the left button at (x, y) inside the window's client area.
    bool click(const QString& id, int x, int y) const;

private:
    bool startServer();
    bool startWindowManager();

    Options options_;
    QString error_;
    QString display_;
    QProcess xvfb_;
    QProcess wm_;
};

// Polls `done` every 20 ms (running the event loop) until it holds or ms pass.
bool pollUntil(const std::function<bool()>& done, int ms);
