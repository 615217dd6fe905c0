// Ctrl+C on a virtual screen: the terminal's SIGINT reaches the program and
// the screen (Xvfb, as under xvfb-run) at once.
#include "TempDir.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

// Runs in a process group of its own, so that "kill -INT 0" is the
// terminal's Ctrl+C for everything it started and for nothing else.
const char* kScript = R"sh(
set -u
trap 'interrupted=1' INT
work=$1 program=$2
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
screen=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
unset QT_QPA_PLATFORM
export DISPLAY=":$(tr -dc 0-9 <"$work/display")"
(cd "$work/run" && exec "$program" --web-port 0) &
pid=$!
for _ in $(seq 150); do
  xwininfo -root -tree 2>/dev/null | grep -q 'Time-display V' && echo "window up" && break
  sleep 0.1
done
sleep 1
kill -INT 0
while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
wait "$pid"
echo "status=$?"
kill "$screen" 2>/dev/null; wait "$screen" 2>/dev/null
exit 0
)sh";

} // namespace

TEST(Quit, CtrlCEndsLikeQuitEvenWhenTheScreenGoesWithIt) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        TempWorkDir dir;
        ASSERT_TRUE(QDir(dir.path()).mkdir("run"));
        dir.write("run/disp.ini", "DisplayRank 0\r\n");
        QProcess p;
        p.start("setsid", {"bash", "-c", kScript, "quit-test", dir.path(), TD_BINARY_DIR "/src/console/timedisplay"});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        ASSERT_TRUE(out.contains("window up\n")) << out.toStdString();
        EXPECT_TRUE(out.contains("status=0\n")) << out.toStdString();
        // "Quit" wrote every setting, the one read at the start included.
        const QByteArray ini = dir.read("run/disp.ini");
        EXPECT_EQ(ini.count("\r\n"), 143) << ini.left(200).toStdString();  // 136 keys, the web board's two, the MQTT broker's five
        EXPECT_TRUE(ini.contains("\r\nDisplayRank 0\r\n") || ini.startsWith("DisplayRank 0\r\n"));
    }
}
