// The journal of received lines, fed through a real pseudo-terminal.
#include "FakeDialogs.h"
#include "Pty.h"
#include "TempDir.h"
#include "console/Disp.h"
#include "protocol/Journal.h"
#include "serial/WComThread.h"

#include <QDateTime>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>

namespace {

std::vector<journal::Entry> journalEntries(const QString& path) {
    std::vector<journal::Entry> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (!l.isEmpty())
            if (auto e = journal::decode(l))
                out.push_back(*e);
    return out;
}

} // namespace

TEST(JournalThroughALine, EveryCompleteLineIsJournalledWithItsBytesAndArrivalTime) {
    TempWorkDir dir;
    ScopedFakeDialogs dialogs;
    Pty pty;
    ASSERT_TRUE(pty.link(dir.file("COM1")));
    dir.write("disp.ini", "COM 1\r\nBAUD 9600\r\n");
    auto d = std::make_unique<Tdisplay>();
    ASSERT_TRUE(d->ComThread1->ok()) << d->ComThread1->LastError().toStdString();

    // 8-bit bytes of every kind, a backslash, a tab, a line feed
    const QByteArray odd = QByteArray("\x80\xfe\xff\x01\x7f\\\t\n", 8) + "99C 1:02.345 9";
    const QByteArray lines[] = {"  1C        0:59.100 1", odd, "  3C        1:01.000 3"};
    struct Sent {
        QByteArray line;
        qint64 before, after;  // the CR was written between these
    };
    std::vector<Sent> sent;
    const QString file = dir.file(journal::fileName(QDate::currentDate()));
    auto send = [&](const QByteArray& line) {
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        ASSERT_TRUE(pty.write(line + '\r'));
        const size_t count = journalEntries(file).size();
        ASSERT_TRUE(waitFor([&] { return journalEntries(file).size() > count; }, 3000)) << line.toStdString();
        sent.push_back({line, before, QDateTime::currentMSecsSinceEpoch()});
    };
    send(lines[0]);
    // short and overlong lines are not dispatched, so not journalled either
    ASSERT_TRUE(pty.write("short\r" + QByteArray(30, 'x') + "\r"));
    send(lines[1]);
    // a line in two pieces: its time is that of its end
    ASSERT_TRUE(pty.write(lines[2].left(10)));
    spin(300);
    send(lines[2].mid(10));
    sent.back().line = lines[2];

    const auto entries = journalEntries(file);
    ASSERT_EQ(entries.size(), 3u);
    for (size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(entries[i].line, sent[i].line);
        const qint64 at = entries[i].at.toMSecsSinceEpoch();
        EXPECT_GE(at, sent[i].before);
        EXPECT_LE(at, sent[i].after);
    }
    // the board showed the last line too
    EXPECT_EQ(d->core().state().Zeitwert, 61000);
    // (the test folder has no pictures: that notice is expected)
    QStringList faults;
    for (const QString& n : dialogs->notices)
        if (!n.startsWith("Could not read picture file"))
            faults << n;
    EXPECT_TRUE(faults.isEmpty()) << faults.join("|").toStdString();
}
