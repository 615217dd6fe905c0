#pragma once
// The real program in a folder of its own, with COM1 on a pseudo-terminal and
// its web board's address read from what it prints.
#include "../serial/Pty.h"
#include "XServer.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>

#include <poll.h>
#include <signal.h>

inline bool slaveOpened(int master) {
    pollfd p{master, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

class Program {
public:
    // `seed`: files of its own in its folder; none: the demo table and pictures.
    // `desktop`: on that X server, else offscreen.
    explicit Program(const QStringList& args, const QByteArray& ini = "COM 1\r\nBAUD 115200\r\n",
                     const std::function<void(const QTemporaryDir&)>& seed = {}, const XServer* desktop = nullptr)
        : args_(args), desktop_(desktop) {
        if (seed)
            seed(dir);
        else
            for (const char* f : {"liste.xls", "logo1.bmp", "logo2.bmp", "logo3.bmp"})
                QFile::copy(QString(TD_SOURCE_DIR "/data/") + f, dir.filePath(f));
        write("disp.ini", ini);
        pty.link(dir.filePath("COM1"));
        start();
    }
    ~Program() { stop(); }

    // Starts it again after a stop, with the same arguments unless others are given.
    void start(const QStringList& args = {}) {
        if (!args.isEmpty())
            args_ = args;
        out.clear();
        app.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        app.setProcessEnvironment(desktop_ ? desktop_->environment() : env);
        app.start(TD_BINARY_DIR "/src/console/timedisplay", args_);
    }
    void stop(int signal = SIGTERM) {
        if (app.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(app.processId()), signal);
        if (!app.waitForFinished(10000))
            app.kill();
        app.waitForFinished(3000);
    }

    void write(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    QByteArray read(const QString& name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // What it printed so far on stdout and stderr.
    QString output() {
        out += app.readAllStandardOutput();
        return QString::fromLocal8Bit(out);
    }
    QString errors() {
        err += app.readAllStandardError();
        return QString::fromLocal8Bit(err);
    }
    // The web board's address from the line the program prints, empty while none came.
    QString url() {
        const QRegularExpressionMatch m =
            QRegularExpression("^web board: (http://\\S+/)$", QRegularExpression::MultilineOption).match(output());
        return m.hasMatch() ? m.captured(1) : QString();
    }
    // The web board's port, 0 when none came.
    quint16 webPort(int ms = 15000) {
        waitFor([&] { return !url().isEmpty() || app.state() == QProcess::NotRunning; }, ms);
        const QRegularExpressionMatch m = QRegularExpression(":(\\d+)/$").match(url());
        return m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
    }
    // The last status a follower printed.
    QString followStatus() {
        const QStringList lines = output().split('\n');
        for (auto it = lines.crbegin(); it != lines.crend(); ++it)
            if (it->startsWith("following "))
                return *it;
        return {};
    }

    bool portOpened() {
        const bool open = waitFor([&] { return slaveOpened(pty.masterFd()); }, 15000);
        spin(200);  // the port is set up and purged right after opening
        return open;
    }
    void send(const QByteArray& line) { pty.write(line + '\r'); }

    QTemporaryDir dir;
    Pty pty;
    QProcess app;
    QByteArray out, err;

private:
    QStringList args_;
    const XServer* desktop_ = nullptr;
};
