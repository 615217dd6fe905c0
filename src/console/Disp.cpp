#include "Disp.h"

#include "common/Colour.h"
#include "common/DataFiles.h"
#include "common/Dialogs.h"
#include "common/Fonts.h"
#include "common/InterfaceTexts.h"
#include "console/Signals.h"
#include "display/DisplayLabel.h"
#include "display/PictureBox.h"
#include "timetable/Control.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

Tdisplay* display = nullptr;

namespace {
// The client area: window colour, and the first paint's loads.
class Canvas : public QWidget {
public:
    explicit Canvas(Tdisplay* owner) : QWidget(nullptr), owner_(owner) {
        setObjectName("displayCanvas");
        setAutoFillBackground(true);
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        QWidget::paintEvent(e);
        // Loading inside a paint event would change widgets while Qt paints them.
        if (owner_->Neuladen && !queued_) {
            queued_ = true;
            QTimer::singleShot(0, owner_, [this] {
                queued_ = false;
                owner_->FormPaint();
            });
        }
    }

    void mouseMoveEvent(QMouseEvent* e) override {
        const QPoint p = e->position().toPoint();
        owner_->FormMouseMove(p.x(), p.y());
    }

private:
    Tdisplay* owner_;
    bool queued_ = false;
};
} // namespace

Tdisplay::Tdisplay(QWidget* parent)
    : QWidget(parent), table_([] { return TimeControl ? TimeControl->TimeTable : nullptr; }) {
    display = this;
    // The event's title from the time table goes into text field 3.
    TTimeControl::titleLoaded = [this](const QString& title) { core_.Textfeld_setzen(3, title); };
    uitext::reset();  // the dialogs start with their built-in texts, as the controls do
    setObjectName("display");
    setWindowTitle("Fendral-Timing Time-display V1.5.1.1");
    setFont(fonts::make(fonts::kPanel, 11, false));

    scroller = new QScrollArea(this);
    scroller->setObjectName("displayScroller");
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    canvas = new Canvas(this);
    scroller->setWidget(canvas);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroller);
    QPalette pal = canvas->palette();
    pal.setColor(QPalette::Window, *colour::toQColor(colour::Gray));
    canvas->setPalette(pal);

    setGeometry(266, 171, 803, 765);
    createDisplayElements();
    createSetupControls();
    connectCore();
    createStatusLine();
    connectHotkeys();
    connectMouse();
    FormCreate();
}

Tdisplay::~Tdisplay() {
    core_.unsubscribe(this);
    TTimeControl::titleLoaded = nullptr;
    if (display == this)
        display = nullptr;
}

void Tdisplay::FormCreate() {
    WholeSureName = false;
    createSerialLine();
    Sprachdatei = "english.lng";
    Neuladen = true;
    // The language dialog starts where the shipped language files are.
    const QString shippedLanguage = datafiles::shipped(QStringLiteral("english.lng"));
    SprachdateiOrdner =
        shippedLanguage.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(shippedLanguage).path();

    ZeitPixelversatz->setCurrentIndex(10);
    for (TextField& t : Textfeld) {
        t.RandPixel->setCurrentIndex(0);
        t.Pixel_H->setCurrentIndex(10);
        t.Pixel_V->setCurrentIndex(10);
        t.ausrichtung->setCurrentIndex(0);
    }
    Genauigkeit->setCurrentIndex(2);
    GenauigkeitVorgabezeit->setCurrentIndex(2);
    for (Board& b : Tafel) {
        b.Adresse->setCurrentIndex(1);
        b.VonZeichen->setCurrentIndex(0);
        b.AnzZeichen->setCurrentIndex(17);
    }
    ZeitDarstellung->setCurrentIndex(2);
    RangEnde->setCurrentIndex(0);
    NummerEnde->setCurrentIndex(0);

    loadPictures();

    setSerialDefaults();
    COM->setCurrentIndex(0);
    core_.change([](BoardValues& v) {
        v.advert = true;
        v.preset.visible = true;
    });
    Anzeigefarbe = colour::Black;
    AdrNummer->setCurrentIndex(0);

    Einstellungen_laden();
    startSettingsAutosave();
    try {
        openStoredPort();
    } catch (...) {
        // A stored port that fails to open must not stop the start-up.
    }

    RangEndeChange();
    NummerEndeChange();
    GenauigkeitChange();
    ZeitDarstellungChange();
    ZeitPixelversatzChange();
    for (int n = 1; n <= 3; ++n)
        Textfeld_ausrichtungChange(n);
    // The shadows take the main label's whole font, colour included; the
    // settings read at the first paint give them their shadow colour again.
    for (TextField& t : Textfeld)
        for (DisplayLabel* s : t.shadows()) {
            s->setDisplayFont(t.V->font());
            s->setFontColour(t.V->fontColour());
        }
    for (int n = 1; n <= 3; ++n)
        RandPixelChange(n);
    Zeit_anordnen();
    CheckBoxZClick();
    updateScrollRange();
}

void Tdisplay::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    FormShow();
}

void Tdisplay::FormShow() {
    scroller->verticalScrollBar()->setValue(0);
    scroller->horizontalScrollBar()->setValue(0);
    // A stored place off every screen (a monitor unplugged) comes back onto the nearest one.
    keepOnScreen();
}

void Tdisplay::FormPaint() {
    if (!Neuladen)
        return;
    Sprache_laden();
    Einstellungen_laden();
    keepOnScreen();  // the reload brought back the stored place
    Neuladen = false;
    core_.change([](BoardValues& v) { v.number.text = QString(); });
    SecModeClick();
    syncTable();
    core_.Startnummer_zeigen();
    // The second load placed the main labels only: the shadows follow them.
    for (int n = 1; n <= 3; ++n)
        RandPixelChange(n);
}

void Tdisplay::closeEvent(QCloseEvent* e) {
    if (closed_) {  // "Beenden" or a stop signal already saved; quit closes the window again
        e->accept();
        return;
    }
    if (askingToClose_) {
        e->ignore();
        return;
    }
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        e->ignore();
        return;
    }
    FormClose();
    e->accept();
}

void Tdisplay::FormCloseQuery(bool& canClose) {
    // An unsaved table is the operator's decision, asked before anything
    // closes, so the board and the line keep running while the box is open.
    // A stop signal asks nobody: the close goes on and keeps a copy.
    if (TimeControl && !quitSignalReceived()) {
        askingToClose_ = true;
        const bool go = TimeControl->confirmClose();
        askingToClose_ = false;
        if (!go && !quitSignalReceived()) {
            canClose = false;
            return;
        }
    }
    // Saved positions are window coordinates of the unscrolled window.
    scroller->verticalScrollBar()->setValue(0);
    scroller->horizontalScrollBar()->setValue(0);
    Einstellungen_speichern();
    closeSerialLine();
    if (TimeControl)  // the last results reach the disk, or at least a copy of them
        TimeControl->finishSaving();
}

void Tdisplay::FormClose() {
    closed_ = true;
}

void Tdisplay::EndClick() {
    if (closed_)
        return;
    if (askingToClose_) {  // a stop signal while the operator is asked: the close goes on without the answer
        if (QWidget* question = QApplication::activeModalWidget())
            question->close();
        return;
    }
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose)
        return;
    closed_ = true;
    QApplication::quit();
}

void Tdisplay::TimeClick() {
    if (TimeControl)
        Dialogs::current().exec(TimeControl);
}

bool Tdisplay::eventFilter(QObject* watched, QEvent* e) {
    hotkeyEvent(watched, e);
    if ((e->type() == QEvent::Move || e->type() == QEvent::Resize || e->type() == QEvent::Show) &&
        watched->parent() == canvas)
        scheduleScrollRange();
    return QWidget::eventFilter(watched, e);
}

void Tdisplay::scheduleScrollRange() {
    if (scrollRangeQueued_)
        return;
    scrollRangeQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        scrollRangeQueued_ = false;
        updateScrollRange();
    });
}

void Tdisplay::updateScrollRange() {
    // The scroll range covers every element wherever it was placed.
    QRect extent(0, 0, 1, 1);
    for (QObject* o : canvas->children())
        if (auto* w = qobject_cast<QWidget*>(o); w && !w->isHidden())
            extent |= w->geometry();
    const QSize wanted(std::max(extent.right() + 1, 0), std::max(extent.bottom() + 1, 0));
    if (canvas->minimumSize() != wanted)
        canvas->setMinimumSize(wanted);
}
