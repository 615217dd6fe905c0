// Received bytes to display lines, and the dispatch of a complete line.
#include "console/Disp.h"

#include "common/CodePage.h"
#include "common/IntValue.h"
#include "display/DisplayLabel.h"
#include "protocol/BoardText.h"
#include "protocol/LineGatherer.h"
#include "protocol/TimeText.h"

#include <QCheckBox>
#include <QComboBox>

namespace {
// Bytes held back while a prompt is open; beyond this the oldest go (hours
// of running-time lines, far more than any prompt stays open).
constexpr qsizetype kMaxHeldBytes = 4 * 1024 * 1024;

int intAt(const std::string& L, size_t from, size_t to) {
    if (from > L.size())
        return 0;
    return intValue(std::string_view(L).substr(from - 1, std::min(to, L.size()) - from + 1));
}
// A negative number ("-12" from a garbled line) names no runner: it counts
// as no number, so no title row above the runners is read as one.
int startNumberAt(const std::string& L, size_t from) {
    return std::max(intAt(L, from, from + 2), 0);
}
} // namespace

int Tdisplay::Zeit_in_ms(const std::string& text) const {
    return ::Zeit_in_ms(text, localeDecimalSeparator(), SecMode->isChecked());
}

void Tdisplay::ComThread1PacketReceived(QObject*, const QByteArray& buffer) {
    if (buffer.isEmpty())
        return;
    journalByte(buffer[0]);
    if (dispatching_) {
        // A modal prompt runs inside dispatch; the line under dispatch must
        // not change, so later bytes wait until it is done.
        if (heldBytes_.size() >= kMaxHeldBytes)
            heldBytes_.remove(0, heldBytes_.size() - kMaxHeldBytes + 1);
        heldBytes_.append(buffer[0]);
        return;
    }
    auto feed = [this](char b) {
        if (gatherByte(Zeile, Zeichenzahl, b) == Gathered::Complete)
            dispatchLine();
    };
    feed(buffer[0]);
    qsizetype next = 0;
    while (next < heldBytes_.size() && !dispatching_)
        feed(heldBytes_[next++]);
    heldBytes_.remove(0, next);
}

void Tdisplay::dispatchLine() {
    dispatching_ = true;
    std::string& L = Zeile;

    Startnummer_einsetzen();

    const signed char first = static_cast<signed char>(L[0]);
    const bool normal = first < 'A' || first > 'J';
    const bool byNumber = AdrNummer->currentIndex() <= 0;
    if (normal && repeatedResult(L, byNumber ? startNumberAt(L, 1) : Startnummer)) {
        // A device repeats a result line, between the next runner's running
        // times too: it changes nothing, not even which runner a time sent
        // without start number belongs to.
    } else if (normal) {
        updateBoards(L[0], true);
        if (byNumber)
            Startnummer = startNumberAt(L, 1);
        Rangwert = intAt(L, 21, 22);
        Zeitwert = Zeit_in_ms(L.substr(8, 12));
        if (CheckBoxZ->isChecked())
            Laufende_Zeit_zeigen();
        Rang_zeigen();
        if (byNumber)
            Startnummer_zeigen();
        if (Vorgabezeit_sichtbar->isChecked())
            Vorgabezeit_zeigen();
        LetzteStartnummer = intAt(L, 1, 3);
    } else {
        updateBoards(L[0], false);
        if (AdrNummer->currentIndex() > 0 && AdrNummer->currentText().startsWith(QChar(L[0]))) {
            Startnummer = startNumberAt(L, 2);
            Startnummer_zeigen();
        }
    }

    Zeile.clear();
    Zeichenzahl = 0;
    dispatching_ = false;
}

void Tdisplay::updateBoards(char address, bool normalLine) {
    for (Board& b : Tafel) {
        const int sel = b.Adresse->currentIndex();
        if (sel < 0)
            continue;  // a board without address listens to nothing
        const bool listens = normalLine ? sel == 0 : b.Adresse->currentText().startsWith(QLatin1Char(address));
        if (!listens)
            continue;
        const std::string piece = boardPiece(Zeile, b.VonZeichen->currentIndex() + 1, b.AnzZeichen->currentIndex() + 1);
        const QString text = codepage::toUnicode(QByteArray(piece.data(), qsizetype(piece.size())));
        if (b.Text->text() != text)
            b.Text->setText(text);
    }
}
