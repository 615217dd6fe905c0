#include "MainWindowFixture.h"

#include "common/Colour.h"
#include "common/Fonts.h"
#include "display/PictureBox.h"
#include "NotAFile.h"

#include <QElapsedTimer>

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QGuiApplication>
#include <QScreen>

TEST_F(MainWindowTest, WindowDesign) {
    EXPECT_EQ(win->windowTitle(), "Fendral-Timing Time-display V1.5.1.1");
    EXPECT_EQ(win->objectName(), "display");
    EXPECT_EQ(win->canvas->palette().color(QPalette::Window), QColor(128, 128, 128));
    EXPECT_EQ(win->font().family(), fonts::kPanel);
    EXPECT_EQ(win->findChild<TTimeControl*>("TimeControl"), timeControl.get());
    EXPECT_EQ(display, win.get());
}

// Every setup control that display mode hides, by its component name.
TEST_F(MainWindowTest, EverySetupControlExistsOnTheCanvas) {
    QStringList names = {"Start", "End", "CheckBoxZ", "CheckBoxR", "CheckBoxN", "SchriftartZeit", "SchriftartRang",
                         "SchriftartNummer", "Genauigkeit", "RangEnde", "NummerEnde", "Hintergrund", "COM",
                         "RangHintergrund", "NummerHintergrund", "ZeitHintergrund", "XRang", "YRang", "XNummer",
                         "YNummer", "XZeit", "YZeit", "Logo1_sichtbar", "Logo2_sichtbar", "Logo3_sichtbar",
                         "ZeitPixelversatz", "Vorgabezeit_sichtbar", "SchriftartVorgabezeit",
                         "VorgabezeitHintergrund", "GenauigkeitVorgabezeit", "XVorgabezeit", "YVorgabezeit",
                         "ZeitDarstellung", "Time", "Language", "SecMode", "AdrNummer", "StrNrSelfCB"};
    for (int n = 1; n <= 3; ++n)
        for (const char* pattern : {"Textfeld%1_Sichtbar", "Textfeld%1_Schriftart", "Textfeld%1_Hintergrundfarbe",
                                    "Textfeld%1_Schattenfarbe", "Textfeld%1_Label1", "Textfeld%1_Label2",
                                    "Textfeld%1_Label3", "T%1RandPixel", "T%1Pixel_H", "T%1Pixel_V", "XTextfeld%1",
                                    "YTextfeld%1", "Textfeld%1_Hintergrund", "Textfeld%1_ausrichtung",
                                    "Textfeld%1_Label4"})
            names << QString(pattern).arg(n);
    for (int n = 1; n <= 4; ++n)
        for (const char* pattern : {"A%1_sichtbar", "Adresse%1", "SchriftartA%1", "A%1Hintergrund", "A%1VonZeichen",
                                    "A%1AnzZeichen", "XA%1", "YA%1"})
            names << QString(pattern).arg(n);
    ASSERT_EQ(names.size(), 115);
    for (const QString& name : names) {
        QWidget* w = win->canvas->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
        ASSERT_NE(w, nullptr) << name.toStdString();
        EXPECT_FALSE(w->isHidden()) << name.toStdString();
        EXPECT_GE(w->x(), 0);
        EXPECT_LT(w->x(), 520) << name.toStdString();  // the panel's columns, left of the board
    }
    EXPECT_TRUE(widget("SpracheSchreiben")->isHidden());
}

TEST_F(MainWindowTest, CaptionsHintsAndPlaces) {
    struct Expect {
        const char* name;
        const char* caption;
        const char* hint;
        int left, top;
    } table[] = {
        {"CheckBoxR", "Darstellen des Rangs", "Anzeige des Ranges ein und ausschalten  Hotkey: r", 16, 8},
        {"CheckBoxZ", "Darstellen der Zeit", "Anzeige der Zeit ein und ausschalten  Hotkey: z", 16, 104},
        {"A1_sichtbar", "Zeige Adressierte Tafel 1", "Anzeige der Zeit ein und ausschalten  Hotkey: a", 16, 208},
        {"A3_sichtbar", "Zeige Adressierte Tafel 3", "Anzeige der Zeit ein und ausschalten  Hotkey: C", 16, 304},
        {"Textfeld1_Sichtbar", "Läufername Sichtbar", "Anzeige des Läufernamens sichtbar  Hotkey: 1", 16, 408},
        {"Textfeld2_Sichtbar", "Nation Sichtbar", "Anzeige der Nation sichbar  Hotkey: 2", 16, 488},
        {"Textfeld3_Schattenfarbe", "Schattenfarbe", "Auswahl der Schattenfarbe", 336, 568},
        {"Textfeld2_Label2", "Horizontal", "", 256, 520},
        {"T3Pixel_V", "", "Vertikale Verschiebung des Randes", 336, 616},
        {"Textfeld1_Hintergrund", "Hintergrund", "Ein und ausblenden des Hintergrundes", 416, 456},
        {"SchriftartA2", "Schriftart", "Einstellen der Schriftart für die Zeitdarstellung", 176, 256},
        {"Adresse4", "", "Adresse einstellen", 40, 368},
        {"A2AnzZeichen", "", "Anzahl der dargestellten Zeichen", 336, 280},
        {"AdrNummer", "", "Adresse einstellen", 40, 72},
        {"StrNrSelfCB", "Frage nach Startnummer", nullptr, 162, 79},
        {"SecMode", "Sekundenmodus", "Sekundenmodus: Keine Doppelpunkte sichtbar", 160, 136},
        {"ZeitDarstellung", "", "Anzeigeeinstellung der Zeit", 336, 131},
        {"Logo3_sichtbar", "Werbung automatik", "Anzeige der Werbung sichtbar Hotkey: F3", 448, 640},
        {"COM", "", "Schnittstelle auswählen", 17, 698},
        {"Language", "Sprache", "Bitte wählen Sie eine Sprache", 97, 698},
        {"Time", "Zeiten kontrollieren", "Hier kann man die empfangenen Zeiten konrollieren", 185, 698},
        {"Hintergrund", "Hintergrundfarbe",
         "Vorsicht: Die Hintergrundfarbe wird erst mir drücken des Startknopfes umgestellt!", 289, 698},
        {"Start", "Starten",
         "Anzeige starten und Bedienelemente ausschalten, zurück mit irgeneiner Taste Hotkey: F9", 393, 698},
        {"End", "Beenden", "Programm beenden", 489, 698},
    };
    for (const Expect& e : table) {
        QWidget* w = widget(e.name);
        ASSERT_NE(w, nullptr) << e.name;
        QString caption;
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            caption = b->text();
        else if (auto* l = qobject_cast<QLabel*>(w))
            caption = l->text();
        EXPECT_EQ(caption, QString::fromUtf8(e.caption)) << e.name;
        if (e.hint)
            EXPECT_EQ(w->toolTip(), QString::fromUtf8(e.hint)) << e.name;
        else
            EXPECT_FALSE(w->toolTip().isEmpty()) << e.name;
        EXPECT_EQ(w->pos(), QPoint(e.left, e.top)) << e.name;
    }
}

TEST_F(MainWindowTest, ListsHoldTheirItemsAndCreationSelections) {
    struct Expect {
        const char* name;
        int count;
        int index;
        const char* current;
    } table[] = {
        {"ZeitPixelversatz", 21, 10, "0"},   {"T1RandPixel", 11, 0, "0"},      {"T2Pixel_H", 21, 10, "0"},
        {"T3Pixel_V", 21, 10, "0"},          {"Genauigkeit", 4, 2, "1/100"},   {"GenauigkeitVorgabezeit", 4, 2, "1/100"},
        {"Adresse1", 11, 1, "A"},            {"Adresse4", 11, 1, "A"},         {"A2VonZeichen", 22, 0, "1"},
        {"A3AnzZeichen", 23, 17, "18"},      {"ZeitDarstellung", 6, 2, "M:SS"}, {"RangEnde", 5, 0, "Kein zus. Zeichen"},
        {"NummerEnde", 5, 0, "Kein zus. Zeichen"}, {"Textfeld2_ausrichtung", 3, 0, "Linksbündig"},
        {"COM", 1, 0, "none"},               {"AdrNummer", 11, 0, "Keine"},
    };
    for (const Expect& e : table) {
        auto* c = widget<QComboBox>(e.name);
        ASSERT_NE(c, nullptr) << e.name;
        EXPECT_GE(c->count(), e.count) << e.name;  // the port list grows with the devices found
        EXPECT_EQ(c->currentIndex(), e.index) << e.name;
        EXPECT_EQ(c->currentText(), QString::fromUtf8(e.current)) << e.name;
    }
    EXPECT_EQ(widget<QComboBox>("ZeitPixelversatz")->itemText(0), "-10");
    EXPECT_EQ(widget<QComboBox>("A1AnzZeichen")->itemText(22), "23");
    EXPECT_EQ(widget<QComboBox>("Adresse2")->itemText(10), "J");
}

TEST_F(MainWindowTest, DisplayElementsInTheirDesignLook) {
    struct Expect {
        const char* name;
        int left, top;
        const char* text;
        int32_t fontColour, colour;
        DisplayLabel::Alignment alignment;
        int pixelHeight;
    } table[] = {
        {"Rang", 510, 0, "00", colour::Yellow, colour::Black, DisplayLabel::Right, 35},
        {"Nummer", 511, 48, "   ", colour::Yellow, colour::Black, DisplayLabel::Right, 35},  // no number yet
        {"Zeit_Hz", 500, 96, "0", colour::Yellow, colour::None, DisplayLabel::Center, 35},
        {"Vorgabezeit", 508, 152, "00.00", colour::Yellow, colour::Black, DisplayLabel::Center, 35},
        {"TextA1", 516, 208, "Adr1", colour::Yellow, colour::Black, DisplayLabel::Left, 35},
        {"TextA4", 516, 352, "Adr4", colour::Yellow, colour::Black, DisplayLabel::Left, 35},
        {"Textfeld1_V", 508, 408, "Text1", colour::Red, colour::None, DisplayLabel::Left, 29},
        // Start-up gives the shadows the main label's whole font, colour included;
        // the settings give them their shadow colour.
        {"Textfeld1_HRU", 508, 408, "Text1", colour::Red, colour::None, DisplayLabel::Left, 29},
        // Text field 3 holds the two (empty) title cells of the time table, joined by a blank.
        {"Textfeld3_V", 508, 568, " ", colour::Red, colour::None, DisplayLabel::Left, 35},
    };
    for (const Expect& e : table) {
        auto* l = widget<DisplayLabel>(e.name);
        ASSERT_NE(l, nullptr) << e.name;
        EXPECT_EQ(l->pos(), QPoint(e.left, e.top)) << e.name;
        EXPECT_EQ(l->text(), e.text) << e.name;
        EXPECT_EQ(l->fontColour(), e.fontColour) << e.name;
        EXPECT_EQ(l->colour(), e.colour) << e.name;
        EXPECT_EQ(l->alignment(), e.alignment) << e.name;
        EXPECT_EQ(l->font().family(), fonts::kDigits) << e.name;
        EXPECT_TRUE(l->font().bold()) << e.name;
        EXPECT_EQ(l->font().pixelSize(), e.pixelHeight) << e.name;
        EXPECT_EQ(l->toolTip(), "Linke Maustaste: verschieben") << e.name;
    }
    // The shadow labels lie beneath their main label.
    QWidget* c = win->canvas;
    EXPECT_LT(c->children().indexOf(widget("Textfeld2_HLO")), c->children().indexOf(widget("Textfeld2_V")));
    const QPoint logos[] = {{120, 648}, {121, 671}, {440, 664}};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(win->Logo[i]->pos(), logos[i]);

    // The first paint shows start number 0: three blanks and no runner name.
    // Being right-aligned, the number keeps its right edge.
    const int right = win->Nummer->geometry().right();
    win->FormPaint();
    EXPECT_EQ(text("Nummer"), "   ");
    EXPECT_EQ(text("Textfeld1_V"), "");
    EXPECT_EQ(text("Textfeld1_HLO"), "");
    EXPECT_EQ(text("Textfeld2_V"), "Text2");
    EXPECT_EQ(win->Nummer->geometry().right(), right);
    EXPECT_FALSE(win->Neuladen);
}

TEST_F(MainWindowTest, MissingPicturesAreReportedOnceAndStartUpGoesOn) {
    // The fixture's window started in an empty folder; nothing waited for the operator.
    EXPECT_TRUE(dialogs->errors.filter(".bmp").isEmpty());
    const QStringList pictures = dialogs->notices.filter(".bmp");
    ASSERT_EQ(pictures.size(), 1);
    EXPECT_EQ(dialogs->openNotices.value("picture"), pictures[0]);
    EXPECT_TRUE(pictures[0].contains("logo1.bmp"));
    EXPECT_TRUE(pictures[0].contains("logo3.bmp"));
    EXPECT_TRUE(win->Logo[0]->picture().isNull());
    // The steps after the pictures ran: the change handlers laid out the time.
    EXPECT_EQ(win->Zeit_He->x(), win->Zeit_Hz->x() + win->Zeit_Hz->width());
    EXPECT_TRUE(win->Zeit_Pt->isVisible() || !win->isVisible());
}

TEST_F(MainWindowTest, PicturesLoadFromTheWorkingFolder) {
    QImage img(40, 20, QImage::Format_RGB32);
    img.fill(Qt::blue);
    for (int n = 1; n <= 3; ++n)
        ASSERT_TRUE(img.save(dir.file(QString("logo%1.bmp").arg(n)), "BMP"));
    dir.write("logo2.bmp", "not a picture");
    dialogs->notices.clear();
    createWindows();
    EXPECT_EQ(win->Logo[0]->size(), QSize(40, 20));
    EXPECT_TRUE(win->Logo[1]->picture().isNull());
    EXPECT_EQ(win->Logo[2]->size(), QSize(40, 20));
    const QStringList pictures = dialogs->notices.filter(".bmp");
    ASSERT_EQ(pictures.size(), 1);
    EXPECT_TRUE(pictures[0].contains("logo2.bmp"));
    EXPECT_FALSE(pictures[0].contains("logo1.bmp"));
}

TEST_F(MainWindowTest, PicturesThatAreNotFilesAreRefusedAtOnce) {
    for (NotAFile kind : kNotAFiles) {
        SCOPED_TRACE(name(kind));
        TempWorkDir folder;  // the working folder while it lives
        ASSERT_TRUE(makeNotAFile(kind, folder.file("logo2.bmp"), 64 * 1024 * 1024 + 1));
        QImage img(40, 20, QImage::Format_RGB32);
        img.fill(Qt::blue);
        ASSERT_TRUE(img.save(folder.file("logo1.bmp"), "BMP"));
        ASSERT_TRUE(img.save(folder.file("logo3.bmp"), "BMP"));
        dialogs->notices.clear();
        QElapsedTimer t;
        t.start();
        createWindows();
        EXPECT_LT(t.elapsed(), 5000);
        EXPECT_TRUE(win->Logo[1]->picture().isNull());
        EXPECT_EQ(win->Logo[0]->size(), QSize(40, 20));
        const QStringList pictures = dialogs->notices.filter(".bmp");
        ASSERT_EQ(pictures.size(), 1);
        EXPECT_TRUE(pictures[0].contains("logo2.bmp"));
        EXPECT_FALSE(pictures[0].contains("logo1.bmp"));
        destroyWindows();
    }
}

// A disp.ini that is no file is read like a missing one, at once: the window
// comes up with its design settings (a FIFO opened for reading would wait
// for a writer for ever).
TEST_F(MainWindowTest, SettingsFileThatIsNotAFileIsReadLikeAMissingOne) {
    for (NotAFile kind : kNotAFiles) {
        SCOPED_TRACE(name(kind));
        TempWorkDir folder;
        ASSERT_TRUE(makeNotAFile(kind, folder.file("disp.ini"), 16 * 1024 * 1024 + 1));
        QElapsedTimer t;
        t.start();
        createWindows();
        win->Einstellungen_laden();
        EXPECT_LT(t.elapsed(), 5000);
        EXPECT_EQ(win->COM->currentIndex(), 0);  // no port chosen
        destroyWindows();
    }
}

TEST_F(MainWindowTest, ScrollsWhenSmallerThanItsContent) {
    win->resize(300, 200);
    win->show();
    QCoreApplication::processEvents();
    // The scrolled panel fills the window; the status line shares its scroll bar's row.
    EXPECT_EQ(win->scroller->geometry(), win->rect());
    EXPECT_GE(win->canvas->minimumWidth(), 600);   // the board reaches past 500
    EXPECT_GE(win->canvas->minimumHeight(), 720);  // the bottom row at 698
    EXPECT_TRUE(win->scroller->horizontalScrollBar()->maximum() > 0);
    EXPECT_TRUE(win->scroller->verticalScrollBar()->maximum() > 0);
    win->scroller->horizontalScrollBar()->setValue(50);
    bool canClose = true;
    win->FormCloseQuery(canClose);
    EXPECT_EQ(win->scroller->horizontalScrollBar()->value(), 0);
    EXPECT_TRUE(canClose);
}

TEST_F(MainWindowTest, ShowMovesAWindowOffTheDesktopBack) {
    win->move(3000, -5);
    win->FormShow();
    const QRect desk = QGuiApplication::primaryScreen()->virtualGeometry();
    ASSERT_EQ(desk.topLeft(), QPoint(0, 0));
    ASSERT_LT(desk.width(), 3000);
    EXPECT_EQ(win->pos(), QPoint(0, 0));
}

TEST_F(MainWindowTest, TimeButtonShowsTheTimeTableModally) {
    dialogs->execAnswers.push_back([](QDialog* d) {
        EXPECT_EQ(d->objectName(), "TimeControl");
        return int(QDialog::Accepted);
    });
    widget<QPushButton>("Time")->click();
    EXPECT_EQ(dialogs->execCount, 1);
}

TEST_F(MainWindowTest, PromptShowsItsWholeText) {
    const QLabel* l = start->Label1;
    EXPECT_EQ(l->text(), "Bitte Startnummer eingeben:");
    EXPECT_GE(l->width(), l->fontMetrics().horizontalAdvance(l->text()));
    EXPECT_LT(l->geometry().right(), start->width());
    EXPECT_EQ(start->height(), 85);
}
