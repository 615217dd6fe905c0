#include "Dialogs.h"

#include "Colour.h"

#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
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

std::optional<Dialogs::FontChoice> ScreenDialogs::chooseFont(QWidget* parent, const FontChoice& initial,
                                                             bool fixedPitchOnly) {
    QFontDialog dlg(initial.font, parent);
    if (fixedPitchOnly)
        dlg.setOption(QFontDialog::MonospacedFonts);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    // Qt's font dialog has no colour; the colour is asked for right after.
    FontChoice result{dlg.selectedFont(), initial.colour};
    if (auto c = chooseColour(parent, initial.colour))
        result.colour = *c;
    return result;
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

int ScreenDialogs::exec(QDialog* dialog) {
    return dialog->exec();
}
