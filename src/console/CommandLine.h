#pragma once
#include "common/CommandLineExit.h"
#include "follow/FollowUrl.h"
#include "mqtt/MqttUrl.h"

#include <QString>
#include <QStringList>
#include <optional>

// What the operator can say on timedisplay's command line.
struct CommandLineOptions {
    QString workdir;                   // run in this folder; empty: the current one
    std::optional<QString> webPort;    // the web board's port: "1".."65535" or "any"
    std::optional<QString> webListen;  // the address the web board listens on
    std::optional<MqttTarget> mqtt;    // the broker to publish on, in place of disp.ini's
    std::optional<FollowSource> follow;  // show this board's, as a display-only follower
};

struct CommandLine {
    cli::Outcome outcome;  // exit set: print and end without starting
    CommandLineOptions options;
};

// `args` as the process got them, args[0] being the program. Needs no
// application object, so --help and --version work without a display.
CommandLine parseCommandLine(const QStringList& args);
