// A first start in an empty working folder, with the shipped data folder.
#include "MainWindowFixture.h"

#include "common/DataFiles.h"
#include "display/PictureBox.h"
#include "timetable/Sheet.h"
#include "timetable/Spreadsheet.h"
#include "timetable/Xls.h"

#include <QFile>
#include <QImage>
#include <QPushButton>

namespace {

const QString kShipped = QStringLiteral(TD_SOURCE_DIR "/data");

class DataLookupTest : public MainWindowTest {
protected:
    void SetUp() override {}  // windows are created once the folder is prepared
    void start() {
        datafiles::setFolders({kShipped});
        createWindows();
        win->FormPaint();  // the first paint reads the language file
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        datafiles::setFolders({});
    }
    QString caption(const char* name) { return widget<QPushButton>(name)->text(); }
    QString cell(int r, int c) { return timeControl->TimeTable->EntryRC(r, c); }
};

} // namespace

TEST_F(DataLookupTest, CleanFirstStartIsEnglishWithPicturesAndAnEmptyEventTable) {
    start();
    EXPECT_EQ(dialogs->errors, QStringList());
    EXPECT_EQ(dialogs->notices, QStringList());
    EXPECT_EQ(caption("Start"), "Start");
    EXPECT_EQ(caption("End"), "Quit");
    EXPECT_EQ(caption("Time"), "Check times");
    EXPECT_EQ(win->Sprachdatei, "english.lng");  // stored by name, not by where it was found
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(win->Logo[i]->picture().size(), QImage(kShipped + QString("/logo%1.bmp").arg(i + 1)).size()) << i;

    // The header rows and channel titles of the demo table; no runners, no presets.
    EXPECT_EQ(cell(2, 2), "Stadtlauf Fendral 2026");
    EXPECT_EQ(cell(6, 1), "Vorgabe");
    EXPECT_EQ(cell(9, 2), "Nr");
    EXPECT_EQ(cell(9, 6), "Ziel C");
    EXPECT_EQ(cell(9, 18), "Info");
    for (int c = 2; c <= 17; ++c)
        EXPECT_EQ(cell(6, c), "") << c;
    for (int r = 10; r <= 40; ++r)
        for (int c = 1; c <= 18; ++c)
            ASSERT_EQ(cell(r, c), "") << r << "," << c;

    // Nothing is written before the operator or the line changes something.
    EXPECT_FALSE(QFile::exists(dir.file("liste.xls")));
    timeControl->TimeTable->setEntryRC(10, 2, "1");
    timeControl->TimeTable->setEntryRC(10, 3, "Muster");
    timeControl->waitForSaves();  // saving runs on the writer thread
    Sheet onDisk;
    QString why;
    ASSERT_TRUE(xls::readFile(dir.file("liste.xls"), onDisk, &why)) << why.toStdString();
    EXPECT_EQ(onDisk.entry(9, 6), "Ziel C");
    EXPECT_EQ(onDisk.entry(10, 3), "Muster");
    // The shipped template stays as it was.
    Sheet shipped;
    ASSERT_TRUE(xls::readFile(kShipped + "/template/liste.xls", shipped, &why));
    EXPECT_EQ(shipped.entry(10, 3), "");
}

TEST_F(DataLookupTest, TheOperatorsOwnFilesWin) {
    QFile lng(kShipped + "/english.lng");
    ASSERT_TRUE(lng.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = lng.readAll().split('\n');
    ASSERT_EQ(lines[133].trimmed(), "Start");  // the caption of "Start"
    lines[133] = "Go\r";
    dir.write("english.lng", lines.join('\n'));
    ASSERT_TRUE(QImage(7, 5, QImage::Format_RGB32).save(dir.file("logo2.bmp"), "BMP"));
    Sheet own;
    own.setName("Times");
    own.setEntry(10, 3, "Eigene", u'.');
    QByteArray bytes;
    ASSERT_TRUE(xls::write(own, bytes));
    dir.write("liste.xls", bytes);

    start();
    EXPECT_EQ(dialogs->errors, QStringList());
    EXPECT_EQ(caption("Start"), "Go");
    EXPECT_EQ(caption("End"), "Quit");
    EXPECT_EQ(win->Logo[1]->picture().size(), QSize(7, 5));
    EXPECT_EQ(win->Logo[0]->picture().size(), QImage(kShipped + "/logo1.bmp").size());
    EXPECT_EQ(cell(10, 3), "Eigene");
    EXPECT_EQ(cell(9, 2), "");  // the template is not mixed in
}

TEST_F(DataLookupTest, LanguageDialogStartsInTheDataFolder) {
    start();
    EXPECT_EQ(win->SprachdateiOrdner, kShipped);
}
