#include "common/DataFiles.h"

#include "TempDir.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

// Data folders for one test; nothing is searched after it.
class DataFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(dir.file("first")));
        ASSERT_TRUE(QDir().mkpath(dir.file("second")));
        datafiles::setFolders({dir.file("first"), dir.file("second")});
    }
    void TearDown() override { datafiles::setFolders({}); }
    TempWorkDir dir;  // also the working folder
};

} // namespace

TEST_F(DataFilesTest, WorkingFolderFirstThenTheDataFoldersInOrder) {
    dir.write("first/both.lng", "1");
    dir.write("second/both.lng", "2");
    dir.write("second/late.bmp", "2");
    dir.write("own.lng", "w");
    dir.write("first/own.lng", "1");
    ASSERT_TRUE(QDir().mkpath(dir.file("first/folder.bmp")));  // a folder is not a shipped file
    dir.write("second/folder.bmp", "2");

    const struct {
        const char* name;
        QString expected;
    } cases[] = {
        {"own.lng", "own.lng"},                        // the operator's own file wins
        {"both.lng", dir.file("first/both.lng")},      // the first folder that holds it
        {"late.bmp", dir.file("second/late.bmp")},
        {"folder.bmp", dir.file("second/folder.bmp")},
        {"absent.lng", "absent.lng"},                  // a message then names it
        {"sub/both.lng", "sub/both.lng"},              // a path is taken as given
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(datafiles::locate(c.name), c.expected) << c.name;

    EXPECT_EQ(datafiles::shipped("own.lng"), dir.file("first/own.lng"));  // never the working folder
    EXPECT_EQ(datafiles::shipped("absent.lng"), "");
}

TEST_F(DataFilesTest, AnythingInTheWorkingFolderIsTheOperatorsEvenWhenUnreadable) {
    ASSERT_TRUE(QDir().mkpath(dir.file("logo1.bmp")));
    dir.write("first/logo1.bmp", "1");
    EXPECT_EQ(datafiles::locate("logo1.bmp"), "logo1.bmp");
}

TEST_F(DataFilesTest, NothingButTheWorkingFolderUntilFoldersAreSet) {
    dir.write("first/english.lng", "1");
    datafiles::setFolders({});
    EXPECT_EQ(datafiles::locate("english.lng"), "english.lng");
}

TEST_F(DataFilesTest, DefaultFoldersOfAnInstalledTree) {
    // <prefix>/bin/timedisplay finds <prefix>/share/timedisplay.
    ASSERT_TRUE(QDir().mkpath(dir.file("prefix/bin")));
    ASSERT_TRUE(QDir().mkpath(dir.file("prefix/share/timedisplay")));
    QStringList found = datafiles::defaultFolders(dir.file("prefix/bin"));
    ASSERT_FALSE(found.isEmpty());
    EXPECT_EQ(found.first(), QDir::cleanPath(dir.file("prefix/share/timedisplay")));
    // A folder that does not exist is not searched, and none is named twice.
    for (const QString& f : found)
        EXPECT_TRUE(QDir(f).exists()) << f.toStdString();
    EXPECT_EQ(found.removeDuplicates(), 0);
    EXPECT_FALSE(datafiles::defaultFolders(dir.file("nowhere/bin")).contains(dir.file("nowhere/share/timedisplay")));
}

TEST_F(DataFilesTest, TheBuildTreeUsesTheSourceData) {
    const QString source = QDir::cleanPath(TD_SOURCE_DIR "/data");
    EXPECT_TRUE(datafiles::defaultFolders(TD_BINARY_DIR "/src/console").contains(source));
    EXPECT_TRUE(datafiles::defaultFolders(TD_BINARY_DIR).contains(source));
    // Elsewhere (an installed program) never, nor in a sibling whose name only begins alike.
    EXPECT_FALSE(datafiles::defaultFolders(dir.file("prefix/bin")).contains(source));
    EXPECT_FALSE(datafiles::defaultFolders(TD_BINARY_DIR "-other/bin").contains(source));
}
