#pragma once
#include <QString>
#include <optional>

// A serial device server on the network: raw TCP to host:port.
struct TcpTarget {
    QString host;
    quint16 port = 0;
    // tcp://host:port, IPv6 addresses in brackets: the port list's item and
    // the text disp.ini keeps.
    QString url() const;
};

namespace inputurl {

// True when `text` is meant as a network address (begins with tcp://), so
// a caller knows to parse it rather than read a port number.
bool isTcp(const QString& text);
// tcp://host:port, or host:port where the operator types it (bare = true).
// nullopt with the reason when it is none.
std::optional<TcpTarget> parseTcp(const QString& text, QString* why, bool bare = false);

} // namespace inputurl
