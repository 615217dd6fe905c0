#include "common/RegularFile.h"

#include "NotAFile.h"
#include "TempDir.h"
#include "settings/SettingsFile.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

TEST(RegularFile, ReadsARegularFileByteForByte) {
    TempWorkDir dir;
    QByteArray bytes;
    for (int i = 0; i < 200000; ++i)
        bytes += char(i * 7);
    dir.write("f", bytes);
    QByteArray got;
    QString why;
    ASSERT_TRUE(regularfile::read(dir.file("f"), bytes.size(), got, &why)) << why.toStdString();
    EXPECT_EQ(got, bytes);
    dir.write("empty", "");
    ASSERT_TRUE(regularfile::read(dir.file("empty"), 10, got, &why));
    EXPECT_TRUE(got.isEmpty());
    // one byte over the limit is refused
    EXPECT_FALSE(regularfile::read(dir.file("f"), bytes.size() - 1, got, &why));
    EXPECT_TRUE(why.contains("too large")) << why.toStdString();
    EXPECT_TRUE(got.isEmpty());
    EXPECT_FALSE(regularfile::read(dir.file("missing"), 10, got, &why));
    EXPECT_TRUE(why.contains("No such file")) << why.toStdString();
}

TEST(RegularFile, RefusesWhatIsNotAFileAtOnce) {
    const struct {
        NotAFile kind;
        const char* reason;
    } cases[] = {{NotAFile::Fifo, "FIFO"},
                 {NotAFile::DevZeroLink, "device"},
                 {NotAFile::Directory, "directory"},
                 {NotAFile::TooLarge, "too large"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(name(c.kind));
        TempWorkDir dir;
        ASSERT_TRUE(makeNotAFile(c.kind, dir.file("x"), qint64(1) << 31));
        QElapsedTimer t;
        t.start();
        QByteArray got;
        QString why;
        EXPECT_FALSE(regularfile::read(dir.file("x"), 1 << 20, got, &why));
        EXPECT_TRUE(why.contains(c.reason)) << why.toStdString();
        EXPECT_TRUE(got.isEmpty());
        EXPECT_LT(t.elapsed(), 1000);
        // the settings reader goes the same way
        EXPECT_FALSE(settingsfile::forEachLine(dir.file("x"), [](const QByteArray&) {}));
    }
}
