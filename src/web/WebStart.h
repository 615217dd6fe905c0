#pragma once
#include <QString>
#include <memory>
#include <optional>

class BoardHost;
class WebBoard;

// Starts the web board as the settings (WebPort, WebListen) and the command
// line (--web-port N|any, --web-listen ADDR) say, and prints its address on
// standard output. Off (port 0) or failed: nullptr; a failure is one notice,
// and the board runs on.
std::unique_ptr<WebBoard> startWebBoard(BoardHost& host, const std::optional<QString>& port,
                                        const std::optional<QString>& listen);
