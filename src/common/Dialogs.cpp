#include "Dialogs.h"

#include "Colour.h"
#include "Fonts.h"
#include "InterfaceTexts.h"
#include "Placement.h"

#include <QScreen>
#include <QEvent>
#include <QTimer>

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

namespace {
// Raises a box once, right after `window` has been shown; then goes away.
class RaiseWhenShown : public QObject {
public:
    RaiseWhenShown(QWidget* window, QWidget* box) : QObject(box), box_(box) { window->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            // After the window manager has mapped the window.
            QTimer::singleShot(100, box_, [box = box_] {
                box->raise();
                box->activateWindow();
            });
            deleteLater();
        }
        return false;
    }

private:
    QWidget* box_;
};
} // namespace

void ScreenDialogs::notice(QWidget* parent, const QString& key, const QString& text) {
    QPointer<QMessageBox>& box = notices_[key];
    if (!box) {
        box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Error"), QString(), QMessageBox::Ok,
                              parent);
        box->setTextFormat(Qt::PlainText);
        box->setModal(false);
        box->setAttribute(Qt::WA_DeleteOnClose);
    }
    box->setText(text);
    box->show();
    // At start-up the window is not on screen yet and would cover the box
    // when it appears: bring the box up again once the window is there.
    if (QWidget* top = parent ? parent->window() : nullptr; top && !top->isVisible())
        new RaiseWhenShown(top, box);
}

void ScreenDialogs::withdrawNotice(const QString& key) {
    if (QPointer<QMessageBox> box = notices_.take(key))
        box->close();
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
