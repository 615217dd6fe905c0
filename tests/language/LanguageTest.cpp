#include "MainWindowFixture.h"

#include "common/CodePage.h"
#include "common/Dialogs.h"
#include "display/PictureBox.h"
#include "language/LanguageLines.h"
#include "NotAFile.h"
#include "serial/PortSettingsDialog.h"

#include <QElapsedTimer>

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <set>

class Language : public MainWindowTest {
protected:
    // Every line an export would write, from the window as it is now.
    QStringList texts() {
        QStringList out;
        for (const language::Line& l : language::lines())
            out << win->languageText(l);
        return out;
    }
    void load(const QByteArray& content) {
        dir.write("test.lng", content);
        win->Sprachdatei = "test.lng";
        win->Sprache_laden();
    }
    QString caption(const char* name) { return widget<QAbstractButton>(name)->text(); }
};

TEST_F(Language, ExportOfTheUntouchedWindowIsTheBuiltInColumn) {
    widget<QPushButton>("SpracheSchreiben")->click();
    EXPECT_EQ(win->Sprachdatei, "Deutsch.lng");
    const QByteArray file = dir.read("Deutsch.lng");
    const QList<QByteArray> lines = file.split('\n');
    ASSERT_EQ(lines.size(), language::kLines + 1);  // each line ends in CR LF
    EXPECT_EQ(lines[0], "MS Sans Serif\r");
    EXPECT_EQ(lines[1], "1\r");
    EXPECT_EQ(lines[2], "Darstellen des Rangs\r");
    EXPECT_EQ(lines[12], codepage::fromUnicode(QString::fromUtf8("Läufername Sichtbar")) + "\r");
    EXPECT_EQ(lines[52], "Keine\r");
    EXPECT_EQ(lines[137], "TimeControl\r");
    EXPECT_EQ(lines[138], codepage::fromUnicode(QString::fromUtf8("Vorgabezeiten löschen")) + "\r");
    EXPECT_EQ(lines[142], "Linke Maustaste: verschieben\r");
    EXPECT_EQ(lines[176], "Keine\r");
    EXPECT_EQ(lines[177], "Frage nach Startnummer\r");
    // The dialogs' texts follow the 179 lines every reader knows.
    EXPECT_EQ(lines[179], "Schriftart\r");
    EXPECT_EQ(lines[180], "Farbe\r");
    EXPECT_EQ(lines[181], "StartNumberForm\r");
    EXPECT_EQ(lines[182], "Bitte Startnummer eingeben:\r");
    EXPECT_EQ(lines[183], "Doppelclick rechts zum Bearbeiten\r");
    EXPECT_EQ(lines[184], "Linke Maustaste: verschieben\r");

    // Loading the export changes no text.
    const QStringList before = texts();
    win->Sprachdatei = "Deutsch.lng";
    win->Sprache_laden();
    EXPECT_EQ(texts(), before);
    EXPECT_TRUE(dialogs->errors.filter("language").isEmpty());
}

TEST_F(Language, ShortFileAndEmptyLinesKeepTheirTargets) {
    QStringList before = texts();
    load("DejaVu Sans\r\n1\r\n");
    QStringList after = texts();
    EXPECT_EQ(after[0], "DejaVu Sans");
    EXPECT_EQ(win->font().family(), "DejaVu Sans");
    EXPECT_EQ(win->Rang->font().family(), QStringLiteral("Monospac821 BT"));  // elements keep theirs
    after[0] = before[0];
    EXPECT_EQ(after, before);

    // Line 5 empty, line 6 set; a blank line sets a blank; the last line has no line end.
    load("Arial\nx\nShow rank\nRank hint\n\nNumber hint\n \nTime hint");
    EXPECT_EQ(caption("CheckBoxR"), "Show rank");
    EXPECT_EQ(caption("CheckBoxN"), "Darstellen der Startnummer");
    EXPECT_EQ(widget("CheckBoxN")->toolTip(), "Number hint");
    EXPECT_EQ(caption("CheckBoxZ"), " ");
    EXPECT_EQ(widget("CheckBoxZ")->toolTip(), "Time hint");
    EXPECT_EQ(win->Zeichensatz, 1);  // "x" is no number
}

TEST_F(Language, EntriesAreReplacedAndSelectionsKept) {
    win->RangEnde->setCurrentIndex(3);
    win->Tafel[2].Adresse->setCurrentIndex(5);
    win->AdrNummer->setCurrentIndex(0);
    win->Textfeld[1].ausrichtung->setCurrentIndex(2);
    QByteArray file;
    for (int k = 1; k <= 179; ++k)
        file += "L" + QByteArray::number(k) + "\r\n";
    load(file);
    EXPECT_EQ(win->RangEnde->currentIndex(), 3);
    EXPECT_EQ(win->RangEnde->itemText(3), "L57");
    EXPECT_EQ(win->Tafel[2].Adresse->currentIndex(), 5);
    EXPECT_EQ(win->Tafel[2].Adresse->itemText(0), "L159");
    EXPECT_EQ(win->AdrNummer->itemText(0), "L177");
    EXPECT_EQ(win->Textfeld[1].ausrichtung->currentIndex(), 2);
    EXPECT_EQ(win->ZeitDarstellung->itemText(0), "L64");
    EXPECT_EQ(win->ZeitDarstellung->itemText(1), "SS");  // not in the file
    EXPECT_EQ(text("Textfeld2_V"), "L87");
    EXPECT_EQ(text("Textfeld2_HLU"), "L87");
    EXPECT_EQ(text("TextA1"), "L89");
    EXPECT_EQ(win->Rang->toolTip(), "L143");
    EXPECT_EQ(win->Logo[2]->toolTip(), "L143");
    EXPECT_EQ(timeControl->windowTitle(), "L138");
    EXPECT_EQ(timeControl->findChild<QPushButton*>("TimeControlOK")->text(), "L141");
    EXPECT_EQ(caption("StrNrSelfCB"), "L178");
    EXPECT_EQ(win->font().family(), "L1");
}

// Lines after 179 name the dialogs' texts; a file of 179 lines, as other
// readers of language files write them, leaves those texts as they are.
TEST_F(Language, LinesAfterTheKnownOnesSetTheDialogs) {
    QByteArray file;
    for (int k = 1; k <= 179; ++k)
        file += "L" + QByteArray::number(k) + "\r\n";
    load(file);
    FontColourDialog before({win->Rang->font(), 0}, true);
    EXPECT_EQ(before.windowTitle(), "Schriftart");
    EXPECT_EQ(before.findChild<QPushButton*>("colour")->text(), "Farbe");
    EXPECT_EQ(start->windowTitle(), "StartNumberForm");
    EXPECT_EQ(start->Label1->text(), "Bitte Startnummer eingeben:");

    for (int k = 180; k <= language::kLines; ++k)
        file += "L" + QByteArray::number(k) + "\r\n";
    load(file);
    FontColourDialog after({win->Rang->font(), 0}, true);
    EXPECT_EQ(after.windowTitle(), "L180");
    EXPECT_EQ(after.findChild<QPushButton*>("colour")->text(), "L181");
    EXPECT_EQ(start->windowTitle(), "L182");
    EXPECT_EQ(start->Label1->text(), "L183");
    EXPECT_EQ(timeControl->findChild<QWidget*>("TimeTable")->toolTip(), "L184");
    for (const char* board : {"TextA1", "TextA2", "TextA3", "TextA4"})
        EXPECT_EQ(widget(board)->toolTip(), "L185") << board;
    EXPECT_EQ(win->Rang->toolTip(), "L143");  // the movable elements keep their own line

    // A long question widens the prompt: the whole text shows.
    load(QByteArray(182, '\n') + "A question much longer than the prompt was made for:\n");  // line 183
    EXPECT_EQ(start->Label1->text(), "A question much longer than the prompt was made for:");
    EXPECT_LE(start->Label1->geometry().right(), start->width() - 1);
}

// Every caption, title, hint and list entry the operator can reach, in every
// window and dialog, with the shipped english.lng: none is left German.
TEST_F(Language, ShippedEnglishFileLeavesNoGermanText) {
    // The German texts: the built-in ones, as the untouched window exports them.
    std::set<QString> german;
    for (const language::Line& l : language::lines())
        german.insert(win->languageText(l));
    QFile f(TD_SOURCE_DIR "/data/english.lng");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray english = f.readAll();
    for (const QByteArray& line : english.split('\n'))
        german.erase(codepage::toUnicode(line.chopped(line.endsWith('\r') ? 1 : 0)));  // "OK", "Horizontal" ...
    for (const char* also : {"Farbe", "Bitte Startnummer eingeben:", "Doppelclick rechts zum Bearbeiten"})
        german.insert(QString::fromUtf8(also));

    dir.write("english.lng", english);
    win->Sprachdatei = "english.lng";
    win->Sprache_laden();

    FontColourDialog font({win->Rang->font(), 0}, true, win.get());
    PortSettingsDialog port(9600, 8, 1, win.get());
    QStringList seen;
    for (QWidget* window : std::initializer_list<QWidget*>{win.get(), timeControl.get(), start.get(), &font, &port}) {
        QList<QWidget*> all = window->findChildren<QWidget*>();
        all.prepend(window);
        for (QWidget* w : all) {
            QStringList texts{w->toolTip()};
            if (w->isWindow())
                texts << w->windowTitle();
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                texts << b->text();
            if (auto* l = qobject_cast<QLabel*>(w))
                texts << l->text();
            if (auto* c = qobject_cast<QComboBox*>(w))
                for (int i = 0; i < c->count(); ++i)
                    texts << c->itemText(i);
            for (const QString& t : texts) {
                if (t.isEmpty())
                    continue;
                seen << t;
                EXPECT_FALSE(german.count(t)) << w->objectName().toStdString() << ": " << t.toStdString();
            }
        }
    }
    // The dialogs carry the language file's words.
    EXPECT_EQ(font.windowTitle(), "Font");
    EXPECT_EQ(font.findChild<QPushButton*>("colour")->text(), "Colour");
    EXPECT_EQ(start->windowTitle(), "Start number");
    EXPECT_EQ(start->Label1->text(), "Please enter the start number:");
    EXPECT_EQ(widget("TextA3")->toolTip(), "Left mouse button: move");
    EXPECT_TRUE(seen.contains("Double-click a cell to edit it"));
    EXPECT_TRUE(seen.contains("Port settings"));
}

TEST_F(Language, OverlongLineIsCutAndItsRestIsTheNextLine) {
    QByteArray file = "Font\n1\n" + QByteArray(32766, 'a') + "Xbc\nnext\n";
    load(file);
    EXPECT_EQ(caption("CheckBoxR").size(), 32766);
    EXPECT_EQ(widget("CheckBoxR")->toolTip(), "bc");  // the X is lost
    EXPECT_EQ(caption("CheckBoxN"), "next");
}

TEST_F(Language, FullLengthLineEndingInCrLfKeepsTheFollowingLinesInPlace) {
    for (const QByteArray& end : {QByteArray("\r\n"), QByteArray("\n")}) {
        load("Font\r\n1\r\n" + QByteArray(32766, 'a') + end + "hint\r\nnext\r\n");
        EXPECT_EQ(caption("CheckBoxR").size(), 32766);
        EXPECT_EQ(widget("CheckBoxR")->toolTip(), "hint");
        EXPECT_EQ(caption("CheckBoxN"), "next");
    }
    // A lone CR there is still the lost character.
    load("Font\n1\n" + QByteArray(32766, 'b') + "\rhint2\nnext2\n");
    EXPECT_EQ(widget("CheckBoxR")->toolTip(), "hint2");
    EXPECT_EQ(caption("CheckBoxN"), "next2");
}

TEST_F(Language, MissingFileIsReportedAndEmptyNameIsSilent) {
    const QStringList before = texts();
    dialogs->errors.clear();
    win->Sprachdatei = "nowhere.lng";
    win->Sprache_laden();
    EXPECT_TRUE(dialogs->errors.isEmpty());  // never waits for the operator
    dialogs->notices.clear();
    win->Sprache_laden();
    const QString told = "Error reading language File\n" + dir.file("nowhere.lng") +
                         ": No such file or directory\nThe texts stay as they were.";
    EXPECT_EQ(dialogs->notices, QStringList{told});
    EXPECT_EQ(dialogs->openNotices.value("language"), told);
    win->Sprachdatei.clear();
    win->Sprache_laden();
    EXPECT_EQ(dialogs->notices.size(), 1);
    EXPECT_EQ(texts(), before);
    load("Font\n1\n");  // a file that reads: the box goes away
    EXPECT_FALSE(dialogs->openNotices.contains("language"));
}

TEST_F(Language, ExportWritesTheRunnerShown) {
    win->Textfeld_setzen(1, QString::fromUtf8("Müller H."));
    win->SpracheSchreibenClick();
    const QList<QByteArray> lines = dir.read("Deutsch.lng").split('\n');
    EXPECT_EQ(lines[85], "M\xfcller H.\r");
}

TEST_F(Language, ChosenFileIsLoadedAndRemembered) {
    win->LanguageClick();  // cancelled
    EXPECT_EQ(win->Sprachdatei, "english.lng");
    dir.write("mine.lng", "Arial\n1\nRank\n");
    dialogs->fileAnswers.push_back(dir.file("mine.lng"));
    win->LanguageClick();
    EXPECT_EQ(win->Sprachdatei, QFile::encodeName(dir.file("mine.lng")));
    EXPECT_EQ(caption("CheckBoxR"), "Rank");
    EXPECT_FALSE(win->Neuladen);
    EXPECT_TRUE(QFile::exists(dir.file("disp.ini")));  // saved before the load
}

TEST_F(Language, ShippedEnglishFileHasAllLines) {
    QFile f(TD_SOURCE_DIR "/data/english.lng");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray content = f.readAll();
    EXPECT_EQ(content.count('\n'), language::kLines);
    for (const QByteArray& line : content.split('\n').mid(0, language::kLines))
        EXPECT_GT(line.size(), 1);  // no empty line: every text is translated
    dir.write("english.lng", content);
    win->Sprachdatei = "english.lng";
    win->Sprache_laden();
    EXPECT_EQ(caption("Start"), "Start");
    EXPECT_EQ(win->RangEnde->itemText(0), "No suffix");
}

TEST_F(Language, AFileThatIsNotAFileIsRefusedAtOnce) {
    const QStringList before = texts();
    for (NotAFile kind : kNotAFiles) {
        SCOPED_TRACE(name(kind));
        const QString file = QStringLiteral("odd-%1.lng").arg(int(kind));
        ASSERT_TRUE(makeNotAFile(kind, dir.file(file), 8 * 1024 * 1024 + 1));
        dialogs->notices.clear();
        QElapsedTimer t;
        t.start();
        win->Sprachdatei = QFile::encodeName(file);
        win->Sprache_laden();
        EXPECT_LT(t.elapsed(), 2000);
        ASSERT_EQ(dialogs->notices.size(), 1);
        EXPECT_TRUE(dialogs->notices[0].startsWith("Error reading language File\n" + dir.file(file) + ": "))
            << dialogs->notices[0].toStdString();
        EXPECT_EQ(texts(), before);
    }
}

// A language file that is no text would put junk into every caption: the
// texts stay readable, and the notice names the file and what is wrong.
TEST_F(Language, AFileThatIsNotTextIsNamedAndTheTextsStay) {
    load("DejaVu Sans\n1\nShow rank\n");
    const QStringList before = texts();
    QFile picture(TD_SOURCE_DIR "/data/logo1.bmp");
    ASSERT_TRUE(picture.open(QIODevice::ReadOnly));
    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"a picture renamed", picture.readAll(), "it is not a text file (byte 0x"},
        {"UTF-16 text", QByteArray("\xFF\xFES\0h\0o\0w\0\n\0", 12), "it is UTF-16 text; save it as 8-bit text"},
        {"text with a NUL in it", QByteArray("Arial\n1\nRank\0junk\n", 18),
         "it is not a text file (byte 0x00 at offset 12)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs->notices.clear();
        load(c.bytes);
        ASSERT_EQ(dialogs->notices.size(), 1);
        EXPECT_TRUE(dialogs->notices[0].startsWith("Error reading language File\n" + dir.file("test.lng") + ": " +
                                                   c.reason))
            << dialogs->notices[0].toStdString();
        EXPECT_EQ(texts(), before);
        EXPECT_EQ(caption("CheckBoxR"), "Show rank");
    }
    load("DejaVu Sans\n1\nRank\n");  // a good file again: the box goes
    EXPECT_FALSE(dialogs->openNotices.contains("language"));
    EXPECT_EQ(caption("CheckBoxR"), "Rank");
}
