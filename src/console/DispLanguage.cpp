// Language files: the texts of the setup panel and the dialogs, lines in a fixed order.
#include "console/Disp.h"

#include "common/CodePage.h"
#include "common/DataFiles.h"
#include "common/Dialogs.h"
#include "common/IntValue.h"
#include "common/InterfaceTexts.h"
#include "common/RegularFile.h"
#include "display/DisplayLabel.h"
#include "display/PictureBox.h"
#include "language/LanguageFile.h"
#include "language/LanguageLines.h"
#include "protocol/Startnumberunit.h"
#include "timetable/Control.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSaveFile>

namespace {
constexpr int kMaxLine = 32766;
// kLines lines of at most kMaxLine bytes, with room for line ends.
constexpr qint64 kMaxLanguageFile = 8 * 1024 * 1024;
}

int Tdisplay::Sprachzeile_lesen(QIODevice& file, QByteArray& text) {
    text.clear();
    char c;
    while (file.getChar(&c) && c != '\n') {
        if (text.size() >= kMaxLine) {
            // A CR LF right after a full line is its line end, not a lost
            // character followed by an empty line.
            char next;
            if (c == '\r' && file.peek(&next, 1) == 1 && next == '\n') {
                file.getChar(&c);
                return int(text.size());
            }
            break;  // the character just read is lost; the rest is the next line
        }
        text.append(c);
    }
    // A line ends at LF; a CR right before it belongs to the line end.
    if (c == '\n' && text.endsWith('\r'))
        text.chop(1);
    return int(text.size());
}

QWidget* Tdisplay::languageTarget(const char* name) const {
    if (!*name)
        return const_cast<Tdisplay*>(this);
    for (QWidget* window : {static_cast<QWidget*>(TimeControl), static_cast<QWidget*>(StartNumberForm)}) {
        if (!window)
            continue;
        if (window->objectName() == QLatin1String(name))
            return window;
        if (auto* w = window->findChild<QWidget*>(name))
            return w;
    }
    return canvas->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
}

QList<QWidget*> Tdisplay::movableElements() const {
    QList<QWidget*> out = {Rang, Nummer};
    for (DisplayLabel* l : Zeitstellen)
        out << l;
    out << Vorgabezeit;
    for (const TextField& t : Textfeld) {
        out << t.V;
        for (DisplayLabel* s : t.shadows())
            out << s;
    }
    for (PictureBox* p : Logo)
        out << p;
    return out;
}

void Tdisplay::applyLanguageLine(const language::Line& line, const QString& text, const QByteArray& raw) {
    using language::Property;
    QWidget* w = languageTarget(line.target);
    switch (line.property) {
    case Property::FontName: {
        QFont f = font();
        f.setFamily(text);
        setFont(f);
        break;
    }
    case Property::Charset:
        Zeichensatz = intValue(raw, 1);
        break;
    case Property::Caption:
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            b->setText(text);
        else if (StartNumberForm && w == StartNumberForm->Label1)
            StartNumberForm->setQuestion(text);  // the prompt grows with its question
        else if (auto* l = qobject_cast<QLabel*>(w))
            l->setText(text);
        else if (auto* d = qobject_cast<DisplayLabel*>(w)) {
            // A board's caption is a shown value: it goes through the core.
            bool board = false;
            for (int n = 1; n <= 4; ++n)
                if (d == Tafel[size_t(n - 1)].Text) {
                    core_.setBoardText(n, text);
                    board = true;
                }
            if (!board)
                d->setText(text);
        }
        else if (w && w->isWindow())
            w->setWindowTitle(text);
        break;
    case Property::Hint:
        if (w)
            w->setToolTip(text);
        break;
    case Property::Entry:
        if (auto* c = qobject_cast<QComboBox*>(w); c && line.entry < c->count())
            c->setItemText(line.entry, text);
        break;
    case Property::TextField:
        // The language file's text is a placeholder: the event's title from
        // the time table wins over it in text field 3.
        if (line.entry == 3 && TimeControl && !TimeControl->title().isEmpty())
            Textfeld_setzen(3, TimeControl->title());
        else
            Textfeld_setzen(line.entry, text);
        break;
    case Property::ElementHint:
        for (QWidget* e : movableElements())
            e->setToolTip(text);
        break;
    case Property::BoardHint:
        for (const Board& b : Tafel)
            b.Text->setToolTip(text);
        break;
    case Property::DialogText:
        uitext::set(uitext::Id(line.entry), text);
        break;
    }
}

QString Tdisplay::languageText(const language::Line& line) const {
    using language::Property;
    QWidget* w = languageTarget(line.target);
    switch (line.property) {
    case Property::FontName: return font().family();
    case Property::Charset: return QString::number(Zeichensatz);
    case Property::Caption:
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            return b->text();
        if (auto* l = qobject_cast<QLabel*>(w))
            return l->text();
        if (auto* d = qobject_cast<DisplayLabel*>(w))
            return d->text();
        return w ? w->windowTitle() : QString();
    case Property::Hint: return w ? w->toolTip() : QString();
    case Property::Entry: {
        auto* c = qobject_cast<QComboBox*>(w);
        return c ? c->itemText(line.entry) : QString();
    }
    case Property::TextField: return Textfeld[size_t(line.entry - 1)].V->text();
    case Property::ElementHint: return Textfeld[0].V->toolTip();
    case Property::BoardHint: return Tafel[0].Text->toolTip();
    case Property::DialogText: return uitext::get(uitext::Id(line.entry));
    }
    return {};
}

void Tdisplay::Sprache_laden() {
    // Replacing entry texts must not change what the lists select.
    QComboBox* lists[] = {NummerEnde, RangEnde, Tafel[0].Adresse, Tafel[1].Adresse, Tafel[2].Adresse,
                          Tafel[3].Adresse, AdrNummer, Textfeld[0].ausrichtung, Textfeld[1].ausrichtung,
                          Textfeld[2].ausrichtung};
    int selected[std::size(lists)];
    for (size_t i = 0; i < std::size(lists); ++i)
        selected[i] = lists[i]->currentIndex();

    if (Sprachdatei.isEmpty())
        return;
    QByteArray bytes;
    QString why;
    const QString path = datafiles::locate(QFile::decodeName(Sprachdatei));
    // A file that is not text would put junk into every caption: the texts stay.
    if (!regularfile::read(path, kMaxLanguageFile, bytes, &why) || !(why = language::fileProblem(bytes)).isEmpty()) {
        // Read at start-up too: the board must come up without anyone there.
        Dialogs::current().notice(this, QStringLiteral("language"),
                                  QStringLiteral("Error reading language File\n%1: %2\nThe texts stay as they were.")
                                      .arg(QFileInfo(path).absoluteFilePath(), why));
        return;
    }
    Dialogs::current().withdrawNotice(QStringLiteral("language"));
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    QByteArray raw;
    for (const language::Line& line : language::lines()) {
        if (Sprachzeile_lesen(file, raw) > 0)
            applyLanguageLine(line, codepage::toUnicode(raw), raw);
    }
    file.close();
    for (size_t i = 0; i < std::size(lists); ++i)
        lists[i]->setCurrentIndex(selected[i]);
}

void Tdisplay::LanguageClick() {
    const auto chosen = Dialogs::current().openFile(this, SprachdateiOrdner, QStringLiteral("Language Files (*.lng)"),
                                                    QStringLiteral("lng"));
    if (!chosen)
        return;
    Sprachdatei = QFile::encodeName(*chosen);
    Einstellungen_speichern();
    Sprache_laden();
    Einstellungen_laden();
    Neuladen = false;
    // As at start-up: the reload placed the main labels, the shadows follow.
    for (int n = 1; n <= 3; ++n)
        RandPixelChange(n);
}

void Tdisplay::SpracheSchreibenClick() {
    Sprachdatei = "Deutsch.lng";
    QSaveFile file(QStringLiteral("Deutsch.lng"));
    auto failed = [&] {
        Dialogs::current().error(this, QStringLiteral("Error writing language File\n%1: %2")
                                           .arg(QFileInfo(file.fileName()).absoluteFilePath(), file.errorString()));
    };
    if (!file.open(QIODevice::WriteOnly)) {
        failed();
        return;
    }
    for (const language::Line& line : language::lines())
        file.write(codepage::fromUnicode(languageText(line)) + "\r\n");
    if (!file.commit())
        failed();
}
