#include "MainWindowFixture.h"

#include "common/Colour.h"
#include "common/Fonts.h"
#include "display/PictureBox.h"
#include "settings/SettingsKeys.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>

#include <cstdlib>
#include <functional>

namespace {
// Runs the event loop until done holds or ms pass.
bool within(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}
} // namespace

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

TEST_F(Settings, FileHasAll136KeysInOrderWithCrLfThenTheWebAndMqttKeys) {
    const QList<QByteArray> lines = savedLines();
    ASSERT_EQ(lines.size(), 143);
    const auto rows = settingskeys::table();
    ASSERT_EQ(rows.size(), 143u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_TRUE(lines[qsizetype(i)].startsWith(QByteArray(rows[i].key) + ' ')) << rows[i].key;
        EXPECT_TRUE(lines[qsizetype(i)].endsWith('\r'));
    }
    EXPECT_EQ(lines[0].left(14), "DisplayHeight ");
    EXPECT_EQ(lines[135], "StrNrSelf 0\r");
    // Written after the original keys, so a reader of those is not disturbed.
    EXPECT_EQ(lines[136], "WebPort 8080\r");
    EXPECT_EQ(lines[137], "WebListen 127.0.0.1\r");
    // The broker: off (no host) until one is named.
    EXPECT_EQ(lines[138], "MqttHost \r");
    EXPECT_EQ(lines[139], "MqttPort 1883\r");
    EXPECT_EQ(lines[140], "MqttTopic timedisplay\r");
    EXPECT_EQ(lines[141], "MqttUser \r");
    EXPECT_EQ(lines[142], "MqttPassword \r");
}

TEST_F(Settings, MqttKeysAreReadBackAndHostileValuesFallBack) {
    struct Case {
        QByteArray ini;
        QByteArray host, port, topic, user, password;
    } cases[] = {
        {"MqttHost broker.local\r\nMqttPort 1884\r\nMqttTopic venue/hall1\r\nMqttUser board\r\n"
         "MqttPassword s3cret \xc3\xa4\r\n",
         "broker.local", "1884", "venue/hall1", "board", "s3cret \xc3\xa4"},
        {"MqttHost  10.0.0.5 \r\nMqttPort 0\r\nMqttTopic \r\n", "10.0.0.5", "1883", "timedisplay", "", ""},
        {"MqttPort 65536\r\nMqttPassword  two blanks \r\n", "", "1883", "timedisplay", "", " two blanks "},
        {"MqttPort mqtt\r\nMqttHost\r\n", "", "1883", "timedisplay", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini.toStdString());
        dir.write("disp.ini", "");  // a fresh start with the defaults
        createWindows();
        loadIni(c.ini);
        EXPECT_EQ(value("MqttHost"), c.host);
        EXPECT_EQ(value("MqttPort"), c.port);
        EXPECT_EQ(value("MqttTopic"), c.topic);
        EXPECT_EQ(value("MqttUser"), c.user);
        EXPECT_EQ(value("MqttPassword"), c.password);
        // ... and a fresh start reads what was written.
        const QByteArray written = dir.read("disp.ini");
        createWindows();
        win->Einstellungen_laden();
        win->Einstellungen_speichern();
        EXPECT_EQ(dir.read("disp.ini"), written);
        EXPECT_EQ(win->MqttHost.toUtf8(), c.host);
        EXPECT_EQ(win->MqttPassword.toUtf8(), c.password);
    }
}

TEST_F(Settings, WebPortAndAddressAreReadBackAndHostileValuesFallBack) {
    struct Case {
        QByteArray ini;
        QByteArray port, listen;
    } cases[] = {
        {"WebPort 9123\r\nWebListen 0.0.0.0\r\n", "9123", "0.0.0.0"},
        {"WebPort 0\r\n", "0", "127.0.0.1"},                 // off
        {"WebPort 70000\r\nWebListen \r\n", "8080", "127.0.0.1"},  // no port, empty address
        {"WebPort -1\r\n", "8080", "127.0.0.1"},
        {"WebPort eighty\r\nWebListen ::1\r\n", "8080", "::1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini.toStdString());
        dir.write("disp.ini", "");  // a fresh start with the defaults
        createWindows();
        loadIni(c.ini);
        EXPECT_EQ(value("WebPort"), c.port);
        EXPECT_EQ(value("WebListen"), c.listen);
    }
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
    // Saving again gives the same file, but for the window bounds of a new window.
    const QList<QByteArray> second = savedLines();
    ASSERT_EQ(second.size(), first.size());
    for (qsizetype i = 4; i < first.size(); ++i)
        EXPECT_EQ(second[i].toStdString(), first[i].toStdString());
    EXPECT_EQ(value("Text1BKColor"), "16711680");  // blue
    EXPECT_EQ(value("Text1Color"), "536870911");   // the background keeps its own value
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

    // The shadow colour goes to the shadows only: the background keeps its key's value.
    loadIni("Text1Color 255\r\nText1BKColor 0\r\n");
    EXPECT_EQ(win->Textfeld[0].V->colour(), colour::Red);
    for (DisplayLabel* sh : win->Textfeld[0].shadows())
        EXPECT_EQ(sh->fontColour(), colour::Black);

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

// ---- start-up from a disp.ini on disk ---------------------------------------

// The program's own start: windows created in a folder holding disp.ini,
// shown, first paint, closed by the window manager's close request.
class StartUp : public Settings {
protected:
    void SetUp() override {}  // the windows come after the file
    void startWith(const QByteArray& ini) {
        dir.write("disp.ini", ini);
        createWindows();
        win->show();
        ASSERT_TRUE(waitForPaint());
    }
    bool waitForPaint() {
        for (int i = 0; i < 2000 && win->Neuladen; ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(5);
        }
        return !win->Neuladen;
    }
    QByteArray closeAndRead() {
        win->close();
        return dir.read("disp.ini");
    }
};

TEST_F(StartUp, AFileTheProgramWroteComesBackUnchanged) {
    // Values the program produces, far from the design: a field on a coloured
    // background whose text colour differs from its shadow colour, right
    // alignment, borders, shifts, fonts.
    const QByteArray changed[][2] = {
        {"DisplayBkgrndTxt1", "1"},     {"AlignmentText1", "2"}, {"BorderText1", "3"},
        {"PixelHText1", "14"},          {"PixelVText1", "4"},    {"Text1X", "300"},
        {"Text1Y", "200"},              {"Text1Color", "65280"}, {"Text1BKColor", "16711680"},
        {"Text1FontName", "DejaVu Sans"}, {"Text1FontColor", "255"}, {"Text1FontSize", "40"},
        {"Text2Color", "255"},          {"Text2BKColor", "255"}, {"Text2FontColor", "65535"},
        {"AlignmentText3", "1"},        {"Text3BKColor", "8421504"}, {"RankColor", "16711680"},
        {"RankFontSize", "48"},         {"TimeMode", "4"},       {"SecMode", "1"},
        {"Language", "mine.lng"},       {"WholeSureName", "1"},  {"StrNrSelf", "1"},
    };
    // A first start writes a complete file; the values are then set in it.
    startWith("");
    QList<QByteArray> lines = closeAndRead().split('\n');
    for (QByteArray& l : lines)
        for (const auto& kv : changed)
            if (l.startsWith(kv[0] + ' '))
                l = kv[0] + ' ' + kv[1] + '\r';
    const QByteArray written = lines.join('\n');

    startWith(written);
    EXPECT_EQ(win->Textfeld[0].V->colour(), 65280);  // the background, not the shadow colour
    EXPECT_EQ(win->Textfeld[0].V->fontColour(), 255);
    EXPECT_EQ(win->Textfeld[0].HRU->fontColour(), 16711680);
    const QList<QByteArray> before = written.split('\n'), after = closeAndRead().split('\n');
    ASSERT_EQ(after.size(), before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i].toStdString(), before[i].toStdString());
}

TEST_F(StartUp, RightAlignedShadowsSitInPlaceFromTheFirstPaint) {
    // A font other than the design one changes the labels' widths; field 3
    // gets the table's title between creation and the first paint.
    ASSERT_TRUE(QFile::copy(TD_SOURCE_DIR "/data/liste.xls", dir.file("liste.xls")));
    dir.write("disp.ini", "AlignmentText1 2\r\nBorderText1 2\r\nPixelHText1 13\r\nPixelVText1 11\r\n"
                          "Text1X 300\r\nText1Y 200\r\nText1FontName DejaVu Sans\r\nText1FontSize 40\r\n"
                          "AlignmentText3 2\r\nBorderText3 2\r\nPixelHText3 13\r\nPixelVText3 11\r\n"
                          "Text3X 350\r\nText3Y 500\r\n");
    createWindows();
    const int b = 2, h = 3, v = 1;
    auto check = [&](const char* when) {
        for (int n : {0, 2}) {
            const Tdisplay::TextField& t = win->Textfeld[size_t(n)];
            const int l = t.V->x(), top = t.V->y();
            EXPECT_EQ(t.HLO->pos(), QPoint(l + h - b, top - v - b)) << when << " field " << n + 1;
            EXPECT_EQ(t.HLU->pos(), QPoint(l + h - b, top - v + b)) << when << " field " << n + 1;
            EXPECT_EQ(t.HRO->pos(), QPoint(l + h + b, top - v - b)) << when << " field " << n + 1;
            EXPECT_EQ(t.HRU->pos(), QPoint(l + h + b, top - v + b)) << when << " field " << n + 1;
            for (DisplayLabel* s : t.shadows())
                EXPECT_EQ(s->width(), t.V->width()) << when << " field " << n + 1;
        }
    };
    check("creation");
    win->show();
    ASSERT_TRUE(waitForPaint());
    EXPECT_EQ(win->Textfeld[2].V->text(), "Stadtlauf Fendral 2026 Ergebnisliste 10 km");
    check("first paint");
    EXPECT_EQ(win->Textfeld[0].V->place(), QPoint(300, 200));  // where the file puts them
    EXPECT_EQ(win->Textfeld[2].V->place(), QPoint(350, 500));
    win->Textfeld_setzen(1, "Nuñez J.");  // a runner arrives: all five keep their right edges
    win->Textfeld_setzen(3, "CA Madrid");
    check("new text");
}

TEST_F(StartUp, FontSizesThatWouldHideAnElementGiveTheDesignSize) {
    for (const char* size : {"0", "-12", "abc", ""}) {
        const QByteArray ini = QByteArray("RankFontSize ") + size + "\r\nText1FontSize " + size + "\r\n";
        startWith(ini);
        EXPECT_EQ(fonts::pointSize(win->Rang->font()), 26) << size;
        EXPECT_EQ(fonts::pointSize(win->Textfeld[0].V->font()), 22) << size;
        EXPECT_GT(win->Rang->height(), 20) << size;
        win->close();
    }
}

TEST_F(StartUp, TextValuesAreKeptAsWritten) {
    startWith("RankFontName \r\nNumberFontName Z\xfcrich Sans\r\nLanguage \r\n");
    EXPECT_EQ(value("RankFontName"), "");
    EXPECT_EQ(value("NumberFontName"), "Z\xfcrich Sans");  // Windows-1252, as read
    EXPECT_EQ(value("Language"), "");
    EXPECT_GT(win->Rang->height(), 0);
}

// A disp.ini that is no settings file may be something of the operator's:
// it is moved aside under a name that says so before the settings replace
// it, and the operator is told where it went.
TEST_F(StartUp, ASettingsFileOfJunkIsMovedAsideBeforeItIsReplaced) {
    QByteArray junk;
    for (int i = 0; i < 3000; ++i)
        junk += char((i * 7919 + 13) & 0xFF);
    const struct {
        const char* name;
        QByteArray bytes;
        const char* problem;
    } cases[] = {
        {"binary junk", junk, "it holds binary data (byte 0x"},
        {"zeros after a crash", QByteArray(4096, '\0'), "it holds binary data (byte 0x00 at offset 0)"},
        {"text but no setting", "[Display]\r\nHeight=765\r\n", "not one of its lines is a setting"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& f : QDir().entryList({"disp.ini*"}, QDir::Files))
            QFile::remove(f);
        dialogs->notices.clear();
        startWith(c.bytes);
        const QString path = dir.file("disp.ini");
        const QStringList about = dialogs->notices.filter("disp.ini");
        ASSERT_EQ(about.size(), 1) << dialogs->notices.join("\n--\n").toStdString();
        const QString told = about[0];
        EXPECT_TRUE(told.startsWith("disp.ini is not a settings file: " + QString(c.problem))) << told.toStdString();
        EXPECT_TRUE(told.contains("File: " + path + "\n")) << told.toStdString();
        const QString aside = told.section("moved to ", 1);
        EXPECT_TRUE(QRegularExpression("^" + QRegularExpression::escape(path) + "\\.unreadable-\\d{8}-\\d{6}$")
                        .match(aside)
                        .hasMatch())
            << aside.toStdString();
        // Written within two seconds: the junk first goes aside, whole.
        ASSERT_TRUE(within(
            [&] {
                return dir.read("disp.ini").startsWith("DisplayHeight ") &&
                       dialogs->openNotices.value("disp.ini unreadable").startsWith("disp.ini was");
            },
            5000));
        EXPECT_EQ(dir.read(QFileInfo(aside).fileName()), c.bytes);
        EXPECT_EQ(dir.read("disp.ini").count('\n'), 143);
        EXPECT_EQ(dialogs->openNotices.value("disp.ini unreadable"),
                  "disp.ini was not a settings file and was moved to " + aside +
                      "\nThe settings are written anew to " + path);
        win->close();
        EXPECT_EQ(QDir().entryList({"disp.ini*"}, QDir::Files).size(), 2);  // no second copy
    }
    // An empty file, or a settings file with odd lines, is no junk.
    for (const QByteArray& fine : {QByteArray(), QByteArray(" \r\n"), QByteArray("DisplayRank 2\r\nnotes\r\n")}) {
        dialogs->notices.clear();
        for (const QString& f : QDir().entryList({"disp.ini*"}, QDir::Files))
            QFile::remove(f);
        startWith(fine);
        EXPECT_TRUE(dialogs->notices.filter("disp.ini").isEmpty()) << fine.toStdString();
        win->close();
        EXPECT_EQ(QDir().entryList({"disp.ini*"}, QDir::Files), QStringList{"disp.ini"});
    }
}

// Values far out of range (too many digits, floating point, negative
// sizes) are held to bounds: the window keeps a usable size and every element
// stays where scrolling reaches it.
TEST_F(StartUp, ValuesFarOutOfRangeAreHeldToBounds) {
    startWith("DisplayHeight 99999999999999999999\r\nDisplayWidth 1e308\r\nDisplayLeft -99999999999999999999\r\n"
              "DisplayTop 2147483647\r\nRankX 99999999999999999999\r\nRankY -2147483648\r\nNumberX 2147483647\r\n"
              "NumberY 1e308\r\nTimeX -5\r\nText1Y 99999\r\nLogo1X -300\r\nTextA1X 16001\r\n"
              "RankFontSize -40\r\nTimeFontSize 99999999999999999999\r\n");
    EXPECT_GE(win->frameGeometry().width(), 320);  // the outer bounds, as stored
    EXPECT_GE(win->frameGeometry().height(), 240);
    EXPECT_LE(std::abs(win->x()), 16000);
    EXPECT_LE(std::abs(win->y()), 16000);
    EXPECT_EQ(win->Rang->pos(), QPoint(0, 0));  // malformed (20 digits): fallback 0
    EXPECT_EQ(win->Nummer->pos(), QPoint(16000, 0));
    EXPECT_EQ(win->Zeit_Hz->x(), 0);
    EXPECT_EQ(win->Textfeld[0].V->y(), 16000);
    EXPECT_EQ(win->Logo[0]->x(), 0);
    EXPECT_EQ(win->Tafel[0].Text->x(), 16000);
    EXPECT_EQ(fonts::pointSize(win->Rang->font()), 26);
    for (QWidget* w : win->movableElements())
        EXPECT_TRUE(QRect(0, 0, 16001, 16001).contains(w->pos())) << w->objectName().toStdString();
    // The bounds are what the file gets back.
    EXPECT_EQ(value("NumberX"), "16000");
    EXPECT_GE(value("DisplayWidth").toInt(), 320);
}
