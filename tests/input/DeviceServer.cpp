#include "DeviceServer.h"

#include "../serial/Pty.h"

#include <QTcpServer>

quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool DeviceServer::start() {
    drop();
    log_.clear();
    socat_.setProcessChannelMode(QProcess::SeparateChannels);
    socat_.start(QStringLiteral("socat"),
                 {QStringLiteral("-d"), QStringLiteral("-d"), QStringLiteral("-u"), QStringLiteral("STDIN"),
                  QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(port_)});
    if (!socat_.waitForStarted(5000))
        return false;
    return waitFor([&] { return log().contains(QLatin1String("listening on")) || socat_.state() == QProcess::NotRunning; },
                   10000) &&
           socat_.state() == QProcess::Running;
}

bool DeviceServer::waitConnected(int ms) {
    return waitFor([&] { return log().contains(QLatin1String("accepting connection")); }, ms);
}

bool DeviceServer::send(const QByteArray& bytes) {
    if (socat_.state() != QProcess::Running || socat_.write(bytes) != bytes.size())
        return false;
    return socat_.waitForBytesWritten(5000) || socat_.bytesToWrite() == 0;
}

void DeviceServer::drop() {
    if (socat_.state() == QProcess::NotRunning)
        return;
    socat_.terminate();
    if (!socat_.waitForFinished(5000)) {
        socat_.kill();
        socat_.waitForFinished(5000);
    }
}

QString DeviceServer::log() {
    log_ += socat_.readAllStandardError();
    return QString::fromLocal8Bit(log_);
}
