#pragma once
// A serial device server on loopback, as venues put a timing device's line
// on the network: socat taking one TCP connection and passing on what the
// test writes, the way the device would send it.
#include <QByteArray>
#include <QProcess>
#include <QString>

// A loopback port nobody listens on (taken and given back).
quint16 freeLoopbackPort();

class DeviceServer {
public:
    explicit DeviceServer(quint16 port = 0) : port_(port ? port : freeLoopbackPort()) {}
    ~DeviceServer() { drop(); }
    // socat listening on 127.0.0.1:port().
    bool start();
    // A program has connected (socat accepted it).
    bool waitConnected(int ms);
    bool send(const QByteArray& bytes);
    // The device server goes away: the connection is closed, the port free.
    void drop();
    quint16 port() const { return port_; }
    QString url() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(port_); }
    QString log();

private:
    quint16 port_;
    QProcess socat_;
    QByteArray log_;
};
