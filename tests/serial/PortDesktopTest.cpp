// The port settings dialog on a real desktop (Xvfb + openbox): opened from
// its button beside the port list, driven with the keyboard as an operator
// would, and what it sets read back from the pseudo-terminal.
#include "Pty.h"
#include "PtyLine.h"
#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const char* kScript = R"sh(
set -u
work=$1 program=$2
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
screen=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
unset QT_QPA_PLATFORM
export DISPLAY=":$(tr -dc 0-9 <"$work/display")"
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
(cd "$work/run" && exec "$program" --web-port 0) >/dev/null 2>&1 &
pid=$!
finish() { kill "$pid" "$wm" 2>/dev/null; wait "$pid" 2>/dev/null; kill "$screen" 2>/dev/null; wait "$screen" 2>/dev/null; exit 0; }
main=""
for _ in $(seq 150); do
  main=$(xdotool search --onlyvisible --name 'Time-display V' 2>/dev/null | head -1)
  [ -n "$main" ] && break
  sleep 0.1
done
[ -n "$main" ] || { echo "no main window"; finish; }
echo "window up"
sleep 1
# "Port settings..." sits in the bottom row, right of "Quit": client position 569..666, 698..723.
# On a busy machine the first click may come before the panel is laid out
# in its place: clicked again while no dialog came.
dialog=""
for _ in 1 2 3; do
  xdotool mousemove --window "$main" 612 710 click 1
  for _ in $(seq 50); do
    dialog=$(xdotool search --onlyvisible --name '^Port settings$' 2>/dev/null | head -1)
    [ -n "$dialog" ] && break
    sleep 0.1
  done
  [ -n "$dialog" ] && break
done
[ -n "$dialog" ] || { echo "no dialog"; finish; }
echo "dialog up"
xprop -id "$dialog" WM_TRANSIENT_FOR | sed 's/.*# /transient for /'
printf 'main %d\n' "$main"
# Keys go to the dialog only once it has the keyboard (a busy machine may
# map it well before the window manager gives it the focus).
for _ in $(seq 100); do
  [ "$(xdotool getactivewindow 2>/dev/null)" = "$dialog" ] && break
  sleep 0.1
done
sleep 0.5
# The rate list has the focus: four steps down from 9600 is 19200; Tab to
# the data bits, Tab to the stop bits, one down is 2; Enter is OK.
xdotool key --delay 60 Down Down Down Down Tab Tab Down Return
sleep 1
xdotool search --onlyvisible --name '^Port settings$' >/dev/null 2>&1 && echo "dialog still open"
echo "applied"
for _ in $(seq 100); do [ -e "$work/checked" ] && break; sleep 0.1; done
finish
)sh";

} // namespace

TEST(PortDesktop, SettingsDialogFromItsButtonReachesTheDevice) {
    TempWorkDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("run"));
    const QDir data(QStringLiteral(TD_SOURCE_DIR "/data"));
    for (const QFileInfo& f : data.entryInfoList(QDir::Files))
        QFile::copy(f.absoluteFilePath(), dir.file("run/" + f.fileName()));
    dir.write("run/disp.ini", "COM 1\r\nBAUD 9600\r\nDATABITS 8\r\nSTOPBITS 1\r\n");
    Pty pty;
    ASSERT_TRUE(pty.link(dir.file("run/COM1")));

    QProcess p;
    p.start("setsid", {"bash", "-c", kScript, "port-desktop", dir.path(), TD_BINARY_DIR "/src/console/timedisplay"});
    ASSERT_TRUE(p.waitForStarted());
    QString out;
    // Waits for the script to apply the dialog, keeping the pty's master open.
    while (!out.contains("applied\n") && p.state() == QProcess::Running)
        if (p.waitForReadyRead(200))
            out += QString::fromLocal8Bit(p.readAllStandardOutput());
        else
            spin(10);
    const PtyLine line = readPtyLine(pty.masterFd());
    const QByteArray ini = dir.read("run/disp.ini");
    dir.write("checked", "");
    const bool ended = p.state() == QProcess::NotRunning || p.waitForFinished(20000);
    out += QString::fromLocal8Bit(p.readAllStandardOutput());
    ASSERT_TRUE(ended) << out.toStdString();

    ASSERT_TRUE(out.contains("dialog up\n")) << out.toStdString();
    EXPECT_FALSE(out.contains("dialog still open")) << out.toStdString();
    // A dialog of the main window, kept above it by the window manager.
    const QString mainId = out.section("main ", 1).section('\n', 0, 0);
    const QString transient = out.section("transient for ", 1).section('\n', 0, 0);
    EXPECT_EQ(transient.toULongLong(nullptr, 16), mainId.toULongLong()) << out.toStdString();
    EXPECT_EQ(line.speed, 19200);
    EXPECT_EQ(line.stopBits, 2);
    EXPECT_TRUE(ini.contains("BAUD 19200\r\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("STOPBITS 2\r\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("COM 1\r\n")) << ini.toStdString();
}
