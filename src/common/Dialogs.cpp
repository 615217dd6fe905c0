#include "Dialogs.h"

#include "Colour.h"
#include "Fonts.h"
#include "InterfaceTexts.h"
#include "Placement.h"

#include <QScreen>
#include <QEvent>
#include <QTimer>

#include <functional>
#include <utility>

#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QMessageBox>

namespace {
ScreenDialogs g_screen;
Dialogs* g_current = nullptr;
} // namespace

Dialogs& Dialogs::current() {
    return g_current ? *g_current : g_screen;
}

void Dialogs::install(Dialogs* d) {
    g_current = d;
}

void ScreenDialogs::error(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

int ScreenDialogs::ask(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
                       int escape) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QList<QAbstractButton*> added;
    for (const QString& b : buttons)
        added << box.addButton(b, QMessageBox::ActionRole);
    if (escape >= 0 && escape < added.size())
        box.setEscapeButton(added[escape]);
    if (!added.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton*>(added.front()));
    box.exec();
    const int chosen = int(added.indexOf(box.clickedButton()));
    return chosen >= 0 ? chosen : escape;
}

std::optional<QString> ScreenDialogs::askText(QWidget* parent, const QString& title, const QString& label,
                                              const QString& initial) {
    QInputDialog box(parent);
    box.setWindowTitle(title);
    box.setLabelText(label);
    box.setTextValue(initial);
    box.setInputMode(QInputDialog::TextInput);
    placeOnParentScreen(&box);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}

void Dialogs::notice(QWidget* parent, const QString& key, const QString& text) {
    if (!holding_) {
        showNotice(parent, key, text);
        return;
    }
    for (Held& h : held_)
        if (h.key == key) {
            h.text = text;
            h.parent = parent;
            return;
        }
    held_.push_back({key, text, parent});
}

void Dialogs::withdrawNotice(const QString& key) {
    held_.removeIf([&](const Held& h) { return h.key == key; });
    closeNotice(key);
}

void Dialogs::holdNotices(bool hold) {
    if (hold == holding_)
        return;
    holding_ = hold;
    putAwayNotices(hold);
    if (hold)
        return;
    const QList<Held> waiting = std::exchange(held_, {});
    for (const Held& h : waiting)
        showNotice(h.parent.data(), h.key, h.text);
}

namespace {
void placeOver(QWidget* box, const QWidget* anchor, QPoint offset);

// Time for a window just shown to be framed and put in place (the main
// window corrects its place a few times in its first second).
constexpr int kSettleMs = 700;

// The window a notice stands over: the first shown window of the parent's
// line (the time table window is mostly hidden, the main window is not),
// else the outermost one, which will be shown.
QWidget* anchorOf(QWidget* parent) {
    QWidget* outer = nullptr;
    for (QWidget* w = parent ? parent->window() : nullptr; w;
         w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
        if (w->isVisible())
            return w;
        outer = w;
    }
    return outer;
}

// Shows a box once its window is on screen and settled: mapped before it,
// the box would end up under it.
class RevealWhenShown : public QObject {
public:
    RevealWhenShown(QWidget* window, QMessageBox* box, std::function<void(QMessageBox*)> reveal)
        : QObject(box), box_(box), reveal_(std::move(reveal)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            QTimer::singleShot(kSettleMs, box_, [box = box_, reveal = reveal_] { reveal(box); });
            deleteLater();
        }
        return false;
    }

private:
    QMessageBox* box_;
    std::function<void(QMessageBox*)> reveal_;
};
} // namespace

void ScreenDialogs::showNotice(QWidget* parent, const QString& key, const QString& text) {
    QWidget* anchor = anchorOf(parent);
    QPointer<QMessageBox>& box = notices_[key];
    if (!box) {
        box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Error"), QString(), QMessageBox::Ok,
                              anchor);
        box->setTextFormat(Qt::PlainText);
        // The operator can copy a path or a reason out of it.
        box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        box->setModal(false);
        box->setAttribute(Qt::WA_DeleteOnClose);
    }
    box->setText(text);
    if (anchor && !anchor->isVisible()) {
        // At start-up the window is not on screen yet: the box follows it.
        if (!box->property("waitsForWindow").toBool()) {
            box->setProperty("waitsForWindow", true);
            new RevealWhenShown(anchor, box, [this](QMessageBox* b) {
                b->setProperty("waitsForWindow", false);
                reveal(b);
            });
        }
        return;
    }
    if (!box->property("waitsForWindow").toBool())
        reveal(box);
}

void ScreenDialogs::reveal(QMessageBox* box) {
    if (noticesHeld())
        return;  // shown when the notices are released
    const QWidget* anchor = box->parentWidget();
    // Boxes already open stay in sight: each further one a step lower and to the right.
    int others = 0;
    for (const QPointer<QMessageBox>& b : std::as_const(notices_))
        others += b && b != box && b->isVisible();
    const QPoint step(28 * others, 28 * others);
    placeOver(box, anchor, step);
    box->show();
    // Its final size is known once shown: placed again with it.
    placeOver(box, anchor, step);
    box->raise();
}

void ScreenDialogs::closeNotice(const QString& key) {
    if (QPointer<QMessageBox> box = notices_.take(key))
        box->close();
}

void ScreenDialogs::putAwayNotices(bool away) {
    for (const QPointer<QMessageBox>& box : std::as_const(notices_)) {
        if (!box || box->property("waitsForWindow").toBool())
            continue;
        if (away)
            box->hide();
        else
            reveal(box);
    }
}

int ScreenDialogs::shownNotices() const {
    int n = 0;
    for (const QPointer<QMessageBox>& box : notices_)
        n += !box.isNull();
    return n;
}

FontColourDialog::FontColourDialog(const Dialogs::FontChoice& initial, bool fixedPitchOnly, QWidget* parent)
    : QDialog(parent), colour_(initial.colour) {
    setWindowTitle(uitext::get(uitext::FontDialogTitle));
    // A design face that is mapped to an installed one starts the dialog at that one.
    QFont start = initial.font;
    start.setFamily(QFontInfo(initial.font).family());
    fonts_ = new QFontDialog(start, this);
    fonts_->setObjectName(QStringLiteral("fonts"));
    fonts_->setWindowFlags(Qt::Widget);  // embedded: one dialog for font and colour
    fonts_->setOptions(QFontDialog::NoButtons | (fixedPitchOnly ? QFontDialog::MonospacedFonts
                                                                : QFontDialog::FontDialogOptions()));
    // The dialog built its family list before it had the options and does not
    // always filter again by itself; choosing its writing system rebuilds it.
    if (auto* writingSystem = fonts_->findChild<QComboBox*>()) {
        emit writingSystem->activated(writingSystem->currentIndex());
        fonts_->setCurrentFont(start);
    }
    colourButton_ = new QPushButton(uitext::get(uitext::FontDialogColour), this);
    colourButton_->setObjectName(QStringLiteral("colour"));
    showColour();
    connect(colourButton_, &QPushButton::clicked, this, [this] {
        QColorDialog dlg(colour::toQColor(colour_).value_or(Qt::black), this);
        if (dlg.exec() == QDialog::Accepted) {
            colour_ = colour::fromQColor(dlg.selectedColor());
            showColour();
        }
    });
    // Escape and Enter reach the embedded font dialog first: they answer this one.
    connect(fonts_, &QDialog::accepted, this, &QDialog::accept);
    connect(fonts_, &QDialog::rejected, this, &QDialog::reject);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fonts_);
    auto* row = new QHBoxLayout;
    row->addWidget(colourButton_);
    row->addStretch();
    row->addWidget(buttons);
    layout->addLayout(row);
}

Dialogs::FontChoice FontColourDialog::choice() const {
    // Sizes travel in pixels at the design's 96 per inch, like the settings.
    QFont f = fonts_->currentFont();
    if (f.pixelSize() <= 0)
        fonts::setPointSize(f, fonts::pointSize(f));
    return {f, colour_};
}

void FontColourDialog::showColour() {
    const QColor c = colour::toQColor(colour_).value_or(Qt::black);
    QPixmap swatch(16, 16);
    swatch.fill(c);
    colourButton_->setIcon(QIcon(swatch));
}

std::optional<Dialogs::FontChoice> ScreenDialogs::chooseFont(QWidget* parent, const FontChoice& initial,
                                                             bool fixedPitchOnly) {
    FontColourDialog dlg(initial, fixedPitchOnly, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.choice();
}

std::optional<int32_t> ScreenDialogs::chooseColour(QWidget* parent, int32_t initial) {
    const QColor start = colour::toQColor(initial).value_or(Qt::black);
    QColorDialog dlg(start, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return colour::fromQColor(dlg.selectedColor());
}

std::optional<QString> ScreenDialogs::openFile(QWidget* parent, const QString& folder,
                                               const QString& filter, const QString& defaultSuffix) {
    QFileDialog dlg(parent, QString(), folder, filter);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setDefaultSuffix(defaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles().first();
}

namespace {
// Room for the frame a window manager draws around a dialog.
const QMargins kFrame(8, 32, 8, 8);
} // namespace

namespace {
void placeOver(QWidget* box, const QWidget* anchor, QPoint offset) {
    const QScreen* screen = anchor ? anchor->screen() : box->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry().marginsRemoved(kFrame);
    QRect want(QPoint(0, 0), box->size().expandedTo(box->sizeHint()));
    want.moveCenter((anchor ? anchor->frameGeometry().center() : area.center()) + offset);
    const QRect fit = placement::fullyInside(want, area);
    if (fit.size() != box->size())
        box->resize(fit.size());
    if (fit.topLeft() != box->pos())
        box->move(fit.topLeft());
}

} // namespace

void placeOverWindow(QWidget* box, const QWidget* anchor) { placeOver(box, anchor, QPoint()); }

void placeOnParentScreen(QWidget* dialog) {
    // A dialog never moved is centred over its parent, on screen, by Qt itself.
    if (!dialog->testAttribute(Qt::WA_Moved))
        return;
    const QWidget* anchor = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
    const QScreen* screen = anchor ? anchor->screen() : dialog->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry().marginsRemoved(kFrame);
    const QRect want(dialog->pos(), dialog->size());
    const QRect fit = placement::fullyInside(want, area);
    if (fit.size() != want.size())
        dialog->resize(fit.size());
    if (fit.topLeft() != want.topLeft())
        dialog->move(fit.topLeft());
}

int ScreenDialogs::exec(QDialog* dialog) {
    // On the main window's screen, fully visible, wherever it was designed.
    placeOnParentScreen(dialog);
    return dialog->exec();
}
