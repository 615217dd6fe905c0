// The rank: shown with its suffix, and for a result line recorded in the
// time table and compared with the preset time.
#include "console/Disp.h"

#include "common/CodePage.h"
#include "common/IntValue.h"
#include "display/DisplayLabel.h"
#include "display/PictureBox.h"
#include "display/RaceEvents.h"
#include "display/TimeFormat.h"
#include "timetable/Control.h"
#include "timetable/EarlierResults.h"
#include "timetable/Spreadsheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {
const char* const kSuffixes[] = {"", ".", ";", ":", "!"};
} // namespace

int Tdisplay::channelColumn(char channel) {
    static const int columns[] = {10, 11, 6, 8, 12, 13, 14, 15, 16, 17};  // A .. J
    return channel >= 'A' && channel <= 'J' ? columns[channel - 'A'] : 0;
}

TSpreadsheet* Tdisplay::timeTable() const {
    return TimeControl ? TimeControl->TimeTable : nullptr;
}

namespace {
int clampedMs(double ms) {
    if (!std::isfinite(ms))
        return 0;
    return int(std::clamp(std::llround(ms), (long long)INT32_MIN, (long long)INT32_MAX));
}
// A time in seconds as an entry the table reads as a number ("67.250").
QString secondsEntry(int ms) {
    const long long a = ms < 0 ? -(long long)ms : ms;
    return QString::asprintf("%s%lld.%03lld", ms < 0 ? "-" : "", a / 1000, a % 1000);
}
} // namespace

int Tdisplay::tableTime(int row, int column) const {
    // Numbers count seconds and times hold their value: both are read as
    // values, since a number's entry text ("36", "123.456") is not the
    // time field form the text conversion expects in seconds mode.
    if (const Cell* c = timeTable()->sheet().cell(row, column)) {
        if (c->kind == Cell::Time)
            return clampedMs(c->number * 86400000.0);
        if (c->kind == Cell::Number)
            return clampedMs(c->number * 1000.0);
    }
    return Zeit_in_ms(codepage::fromUnicode(timeTable()->EntryRC(row, column)).toStdString());
}

namespace {
// The rank positions as the rank display reads them: 21..22, one place of a
// 21-byte line, nothing of a shorter one.
std::string rankText(const std::string& L) {
    return L.size() >= 22 ? L.substr(20, 2) : L.size() == 21 ? L.substr(20, 1) : std::string();
}
bool blankRank(const std::string& r) { return r.empty() || r == "  "; }
} // namespace

bool Tdisplay::repeatedResult(const std::string& L, int startNumber) const {
    const int k = L.size() >= 4 ? channelColumn(L[3]) : 0;
    const TSpreadsheet* table = timeTable();
    if (!k || !table || blankRank(rankText(L)) || startNumber < 1 || startNumber > 999)
        return false;
    const int row = startNumber + 9;
    return !table->EntryRC(row, k).isEmpty() && tableTime(row, k) == Zeit_in_ms(L.substr(8, 12));
}

void Tdisplay::keepEarlier(int row, int column, char channel) {
    TSpreadsheet* table = timeTable();
    if (!table || table->EntryRC(row, column).isEmpty())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    table->changeSheet(earlier::kSheetName,
                       [&](Sheet& s) { earlier::append(s, table->sheet(), row, column, channel, now); });
}

void Tdisplay::RangEndeChange() {
    const int i = RangEnde->currentIndex();
    if (i >= 0 && i <= 4)
        RangZusatz = kSuffixes[i];
}

void Tdisplay::NummerEndeChange() {
    const int i = NummerEnde->currentIndex();
    if (i >= 0 && i <= 4)
        NummerZusatz = kSuffixes[i];
    Nummer->setText((Startnummer > 0 ? QString::number(Startnummer) : QStringLiteral("   ")) + NummerZusatz);
}

void Tdisplay::CheckBoxRClick() {
    Rang->setVisible(CheckBoxR->isChecked());
}

void Tdisplay::Rang_zeigen() {
    std::string& L = Zeile;
    const std::string r = rankText(L);
    TSpreadsheet* table = timeTable();
    // Only start numbers 1 to 999 have a runner row; row 9 and above are the operator's header.
    const bool runnerRow = Startnummer >= 1 && Startnummer <= 999;

    if (blankRank(r)) {
        if (Anzeigemodus) {
            Rang->setVisible(false);
            Logo[2]->setVisible(false);
        }
        Rang->setText(QStringLiteral(" "));
        // A runner on course has no finish time yet (999 too, whose results
        // are recorded). Unchanged cells are not rewritten: every write saves.
        // A runner with a finish time runs again: a new run, which clears
        // his split times with the finish so the split presets show again.
        // Nothing is lost: each goes to "Earlier results" first.
        const int row = Startnummer + 9;
        if (table && runnerRow && (!table->EntryRC(row, 6).isEmpty() || !table->EntryRC(row, 8).isEmpty())) {
            TSpreadsheet::Batch oneSave(table);
            for (char ch = 'A'; ch <= 'J'; ++ch) {
                const int k = channelColumn(ch);
                if (table->EntryRC(row, k).isEmpty())
                    continue;
                keepEarlier(row, k, ch);
                table->setEntryRC(row, k, QString());
            }
        }
        return;
    }

    const char channel = L[3];
    const QString shown = codepage::toUnicode(QByteArray(r.data(), qsizetype(r.size()))) + RangZusatz;
    // A device repeats a result line; that repeat changes nothing. Another
    // runner's result with the same rank is a new result and is recorded.
    if (Rang->text() != shown || L != lastResultLine_) {
        lastResultLine_ = L;
        Rang->setText(shown);
        const char sep = localeDecimalSeparator();
        if (sep != '.' && L[16] == '.')
            L[16] = sep;
        const int k = channelColumn(channel);
        if (k > 0 && table && runnerRow) {
            TSpreadsheet::Batch oneSave(table);  // the result and a copied preset row: one save
            const int row = Startnummer + 9;
            // Seconds mode records the seconds as a number ("67.250" for
            // 1:07.250), which the seconds format shows as seconds; the line's
            // digits without their colons would read as 107.25.
            const std::string time = L.substr(8, 12);
            // A corrected time replaces the old one, which is kept.
            if (!repeatedResult(L, Startnummer))
                keepEarlier(row, k, channel);
            table->setEntryRC(row, k, SecMode->isChecked()
                                          ? secondsEntry(Zeit_in_ms(time))
                                          : codepage::toUnicode(QByteArray(time.data(), qsizetype(time.size()))));
            if (raceListener_) {
                QString t = codepage::toUnicode(QByteArray(time.data(), qsizetype(time.size())));
                if (t.size() > 8 && t[8] == QLatin1Char(sep))
                    t[8] = u'.';  // the line's own form, whatever the locale
                raceListener_->resultRecorded({Startnummer,
                                               (table->TextRC(row, 3) + ' ' + table->TextRC(row, 4)).trimmed(),
                                               channel, t.trimmed(), Rangwert, QDateTime::currentMSecsSinceEpoch()});
            }
            if (!table->EntryRC(6, k).isEmpty()) {
                const std::string diff = formatDifference(int64_t(tableTime(row, k)) - tableTime(6, k), sep);
                Vorgabezeit->setText(QString::fromLatin1(diff.data(), qsizetype(diff.size())));
                if (Vorgabezeit_sichtbar->isChecked())
                    Vorgabezeit->setVisible(true);
            }
            // The winner of a finish channel sets the new preset times.
            if ((channel == 'C' || channel == 'D') && Rangwert == 1)
                for (int c = 2; c <= 17; ++c)
                    table->setEntryRC(6, c, table->EntryRC(row, c));
        }
    }

    if (CheckBoxR->isChecked())
        Rang->setVisible(true);
    // The rank of the line decides, not the caption (which carries the suffix).
    if (Logo_sichtbar[2]->isChecked() && (channel == 'C' || channel == 'D') && intValue(r) < 6)
        Logo[2]->setVisible(true);
}
