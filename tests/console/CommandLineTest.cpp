#include "console/CommandLine.h"

#include "TempDir.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    QStringList args;  // after the program name
    bool exit;
    int code;
    const char* out;   // standard output starts with this ("" : empty)
    const char* err;   // standard error contains this ("" : empty)
};

} // namespace

TEST(CommandLine, HelpVersionAndRefusals) {
    TempWorkDir dir;
    const Case cases[] = {
        {{}, false, 0, "", ""},
        {{"--help"}, true, 0, "Usage: timedisplay [options]\n", ""},
        {{"-h"}, true, 0, "Usage: timedisplay [options]\n", ""},
        {{"--version"}, true, 0, "timedisplay 1.5.1.1\n", ""},
        {{"-v"}, true, 0, "timedisplay 1.5.1.1\n", ""},
        {{"--help", "--bogus"}, true, 2, "", "Unknown option 'bogus'"},
        {{"--bogus"}, true, 2, "", "Unknown option 'bogus'"},
        {{"-platform", "offscreen"}, true, 2, "", "Unknown option"},
        {{"--workdir"}, true, 2, "", "Missing value after '--workdir'"},
        {{"--workdir", dir.file("absent")}, true, 2, "", "is not a folder"},
        {{"--workdir", dir.path()}, false, 0, "", ""},
        {{"liste.xls"}, true, 2, "", "unexpected argument 'liste.xls'"},
        {{"--web-port", "8080"}, false, 0, "", ""},
        {{"--web-port=any"}, false, 0, "", ""},
        {{"--web-port", "1"}, false, 0, "", ""},
        {{"--web-port", "65535"}, false, 0, "", ""},
        {{"--web-port", "0"}, false, 0, "", ""},
        {{"--web-port", "-1"}, true, 2, "", "--web-port takes"},
        {{"--web-port", "65536"}, true, 2, "", "--web-port takes"},
        {{"--web-port", "+80"}, true, 2, "", "--web-port takes"},
        {{"--web-port", "http"}, true, 2, "", "--web-port takes"},
        {{"--web-listen", "127.0.0.1"}, false, 0, "", ""},
        {{"--web-listen", " "}, true, 2, "", "--web-listen takes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CommandLine cl = parseCommandLine(QStringList{"/usr/bin/timedisplay"} + c.args);
        EXPECT_EQ(cl.outcome.exit, c.exit);
        EXPECT_EQ(cl.outcome.code, c.code);
        if (*c.out)
            EXPECT_TRUE(cl.outcome.out.startsWith(c.out)) << cl.outcome.out.toStdString();
        else
            EXPECT_EQ(cl.outcome.out, "");
        if (*c.err) {
            EXPECT_TRUE(cl.outcome.err.contains(c.err)) << cl.outcome.err.toStdString();
            // A refusal shows the usage, so the operator sees what is accepted.
            EXPECT_TRUE(cl.outcome.err.contains("Usage: timedisplay [options]"));
            EXPECT_TRUE(cl.outcome.err.contains("--workdir <DIR>"));
        } else {
            EXPECT_EQ(cl.outcome.err, "");
        }
    }
}

TEST(CommandLine, OptionsReachTheProgram) {
    TempWorkDir dir;
    const CommandLine none = parseCommandLine({"timedisplay"});
    EXPECT_EQ(none.options.workdir, "");
    EXPECT_FALSE(none.options.webPort.has_value());
    EXPECT_FALSE(none.options.webListen.has_value());

    const CommandLine all = parseCommandLine(
        {"timedisplay", "--workdir", dir.path(), "--web-port", "8080", "--web-listen", "0.0.0.0"});
    EXPECT_FALSE(all.outcome.exit);
    EXPECT_EQ(all.options.workdir, dir.path());
    EXPECT_EQ(all.options.webPort, "8080");
    EXPECT_EQ(all.options.webListen, "0.0.0.0");

    EXPECT_EQ(parseCommandLine({"timedisplay", "--web-port", "any"}).options.webPort, "any");
}
