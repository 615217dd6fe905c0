#pragma once
// The real program in a folder of its own, with COM1 on a pseudo-terminal and
// its web board's address read from what it prints.
#include "../serial/Pty.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <poll.h>
#include <signal.h>

inline bool slaveOpened(int master) {
    pollfd p{master, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

class Program {
public:
    explicit Program(const QStringList& args, const QByteArray& ini = "COM 1\r\nBAUD 115200\r\n") {
        for (const char* f : {"liste.xls", "logo1.bmp", "logo2.bmp", "logo3.bmp"})
            QFile::copy(QString(TD_SOURCE_DIR "/data/") + f, dir.filePath(f));
        QFile settings(dir.filePath("disp.ini"));
        if (settings.open(QIODevice::WriteOnly))
            settings.write(ini);
        settings.close();
        pty.link(dir.filePath("COM1"));
        app.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        app.setProcessEnvironment(env);
        app.start(TD_BINARY_DIR "/src/console/timedisplay", args);
    }
    ~Program() {
        if (app.state() != QProcess::NotRunning) {
            ::kill(pid_t(app.processId()), SIGTERM);
            if (!app.waitForFinished(10000))
                app.kill();
        }
    }
    // The web board's port from the line the program prints, 0 when none came.
    quint16 webPort(int ms = 15000) {
        waitFor([&] { return url().size() > 0 || app.state() == QProcess::NotRunning; }, ms);
        const QRegularExpressionMatch m = QRegularExpression(":(\\d+)/$").match(url());
        return m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
    }
    QString url() {
        out += app.readAllStandardOutput();
        const QRegularExpressionMatch m =
            QRegularExpression("^web board: (http://\\S+/)\\n", QRegularExpression::MultilineOption).match(out);
        return m.hasMatch() ? m.captured(1) : QString();
    }
    QString errors() {
        err += app.readAllStandardError();
        return QString::fromLocal8Bit(err);
    }
    bool portOpened() {
        return waitFor([&] { return slaveOpened(pty.masterFd()); }, 15000);
    }
    void send(const QByteArray& line) {
        spin(200);  // the port is set up and purged right after opening
        pty.write(line + '\r');
    }

    QTemporaryDir dir;
    Pty pty;
    QProcess app;
    QString out;
    QByteArray err;
};
