#include "MainWindowFixture.h"

#include "common/Colour.h"
#include "common/Fonts.h"
#include "display/PictureBox.h"
#include "settings/SettingsKeys.h"

#include <QScrollArea>
#include <QScrollBar>

class Settings : public MainWindowTest {
protected:
    QList<QByteArray> savedLines() {
        win->Einstellungen_speichern();
        QList<QByteArray> lines = dir.read("disp.ini").split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    QByteArray value(const char* key) {
        for (const QByteArray& l : savedLines())
            if (l.startsWith(QByteArray(key) + ' '))
                return l.mid(qsizetype(strlen(key)) + 1).chopped(1);  // without CR
        return "<missing>";
    }
    void loadIni(const QByteArray& content) {
        dir.write("disp.ini", content);
        win->Einstellungen_laden();
    }
};

TEST_F(Settings, FileHasAll136KeysInOrderWithCrLf) {
    const QList<QByteArray> lines = savedLines();
    ASSERT_EQ(lines.size(), 136);
    const auto rows = settingskeys::table();
    ASSERT_EQ(rows.size(), 136u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(lines[qsizetype(i)].startsWith(QByteArray(rows[i].key) + ' ')) << rows[i].key;
        EXPECT_TRUE(lines[qsizetype(i)].endsWith('\r'));
    }
    EXPECT_EQ(lines[0].left(14), "DisplayHeight ");
    EXPECT_EQ(lines[135], "StrNrSelf 0\r");
}

TEST_F(Settings, FreshWindowWritesTheAbsentValues) {
    win->FormPaint();
    for (const auto& row : settingskeys::table()) {
        if (!row.absent || (std::string(row.key).rfind("Display", 0) == 0 && std::string(row.key).size() <= 13))
            continue;  // window bounds depend on the screen
        EXPECT_EQ(value(row.key), QByteArray(row.absent)) << row.key;
    }
}

TEST_F(Settings, EverySettingSurvivesSaveAndLoad) {
    // Change one value of every kind, save, start a fresh window, load.
    win->CheckBoxR->setChecked(false);
    win->Textfeld[1].Hintergrund->setChecked(true);
    win->SecMode->setChecked(true);
    win->StrNrSelfCB->setChecked(true);
    win->GenauigkeitVorgabezeit->setCurrentIndex(3);
    win->Tafel[3].Adresse->setCurrentIndex(10);
    win->Tafel[2].AnzZeichen->setCurrentIndex(22);
    win->Textfeld[2].Pixel_V->setCurrentIndex(0);
    win->Tafel[1].Text->move(333, 444);
    win->Logo[2]->move(7, 8);
    win->Zeit_Hz->move(123, 45);
    QFont f = win->Rang->font();
    f.setFamily("Liberation Mono");
    fonts::setPointSize(f, 40);
    win->Rang->setDisplayFont(f);
    win->Rang->setFontColour(colour::rgb(1, 2, 3));
    win->Nummer->setColour(colour::None);
    for (DisplayLabel* s : win->Textfeld[0].shadows())
        s->setFontColour(colour::rgb(0, 0, 255));
    win->Anzeigefarbe = colour::rgb(9, 9, 9);
    win->WholeSureName = true;
    win->Sprachdatei = "mine.lng";
    const QList<QByteArray> first = savedLines();

    createWindows();  // a fresh start reads the file
    EXPECT_FALSE(win->CheckBoxR->isChecked());
    EXPECT_TRUE(win->Rang->isHidden());  // the box's action ran
    EXPECT_TRUE(win->Textfeld[1].Hintergrund->isChecked());
    EXPECT_TRUE(win->SecMode->isChecked());
    EXPECT_EQ(win->GenauigkeitVorgabezeit->currentIndex(), 3);
    EXPECT_EQ(win->Tafel[3].Adresse->currentText(), "J");
    EXPECT_EQ(win->Tafel[1].Text->pos(), QPoint(333, 444));
    EXPECT_EQ(win->Logo[2]->pos(), QPoint(7, 8));
    EXPECT_EQ(win->Zeit_Hz->pos(), QPoint(123, 45));
    EXPECT_EQ(win->Rang->font().family(), "Liberation Mono");
    EXPECT_EQ(fonts::pointSize(win->Rang->font()), 40);
    EXPECT_EQ(win->Rang->fontColour(), colour::rgb(1, 2, 3));
    EXPECT_EQ(win->Nummer->colour(), colour::None);
    EXPECT_EQ(win->Anzeigefarbe, colour::rgb(9, 9, 9));
    EXPECT_TRUE(win->WholeSureName);
    EXPECT_EQ(win->Sprachdatei, "mine.lng");
    EXPECT_TRUE(win->Neuladen);
    win->FormPaint();
    EXPECT_EQ(win->Textfeld[0].HLO->fontColour(), colour::rgb(0, 0, 255));
    // Saving again gives the same file, but for the window bounds of a new
    // window and the text fields' background, which takes the shadow colour.
    const QList<QByteArray> second = savedLines();
    ASSERT_EQ(second.size(), first.size());
    for (qsizetype i = 4; i < first.size(); ++i) {
        const QByteArray key = first[i].left(first[i].indexOf(' '));
        if (key == "Text1Color" || key == "Text2Color" || key == "Text3Color")
            EXPECT_EQ(second[i].mid(key.size()), second[i + 1].mid(key.size() + 2)) << key.data();  // its BKColor
        else
            EXPECT_EQ(second[i].toStdString(), first[i].toStdString());
    }
    EXPECT_EQ(value("Text1BKColor"), "16711680");  // blue
}

TEST_F(Settings, ValueRules) {
    win->Rang->move(50, 50);
    loadIni("RankX 100 \r\n");  // a trailing blank makes a malformed number: fallback 0
    EXPECT_EQ(win->Rang->x(), 0);
    loadIni("RankX  100\n");
    EXPECT_EQ(win->Rang->x(), 100);
    loadIni("RankX abc\nRankY $40");
    EXPECT_EQ(win->Rang->pos(), QPoint(0, 64));

    loadIni("DisplayRank 1 extra\n");
    EXPECT_TRUE(win->CheckBoxR->isChecked());
    loadIni("DisplayRank 2\nDisplayRank\n displayRank 0\n DisplayRank 0\n");
    EXPECT_TRUE(win->CheckBoxR->isChecked());
    loadIni("DisplayRank 1\nDisplayRank 0\n");
    EXPECT_FALSE(win->CheckBoxR->isChecked());
    EXPECT_TRUE(win->Rang->isHidden());

    loadIni("TimeMode 9\n");
    EXPECT_EQ(win->ZeitDarstellung->currentIndex(), -1);
    EXPECT_EQ(value("TimeMode"), "-1");

    loadIni("Text1Color 255\r\nText1BKColor 0\r\n");
    EXPECT_EQ(win->Textfeld[0].V->colour(), colour::Black);
    EXPECT_EQ(win->Textfeld[0].HRU->fontColour(), colour::Black);

    loadIni("WholeSureName 7\n");
    EXPECT_TRUE(win->WholeSureName);
    EXPECT_EQ(value("WholeSureName"), "1");

    loadIni("TimeFontSize 99999999\n");  // absurd sizes stay bounded
    EXPECT_LE(win->Zeit_Hz->font().pixelSize(), 1400);
    loadIni("TimeFontSize 20\nTimeColor 255\n");
    for (DisplayLabel* l : win->Zeitstellen) {
        EXPECT_EQ(fonts::pointSize(l->font()), 20);
        EXPECT_EQ(l->colour(), colour::Red);
    }
}

TEST_F(Settings, LanguageKey) {
    loadIni("Language \n");
    EXPECT_EQ(win->Sprachdatei, "");
    EXPECT_TRUE(win->Neuladen);
    dialogs->errors.clear();
    win->FormPaint();  // an empty name reads no language file, silently
    EXPECT_TRUE(dialogs->errors.isEmpty());
    win->SpracheSchreibenClick();
    EXPECT_EQ(value("Language"), "Deutsch.lng");
}

TEST_F(Settings, DisplayTopScrollsBack) {
    win->resize(200, 200);
    win->show();
    QCoreApplication::processEvents();
    win->scroller->verticalScrollBar()->setValue(80);
    loadIni("DisplayTop 10\n");
    EXPECT_EQ(win->scroller->verticalScrollBar()->value(), 0);
}
