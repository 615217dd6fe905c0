// The line rules, in the order a line runs through them.
#include "board/BoardCore.h"

#include "board/ResultTable.h"
#include "common/CodePage.h"
#include "common/IntValue.h"
#include "display/RaceEvents.h"
#include "display/TimeFormat.h"
#include "protocol/BoardText.h"
#include "protocol/LineGatherer.h"
#include "protocol/TimeText.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <utility>

namespace {
// Lines held back while a prompt is open; beyond this the oldest go (hours
// of running-time lines, far more than any prompt stays open).
constexpr size_t kMaxHeldLines = 200000;

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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
QString latin(const std::string& s) {
    return codepage::toUnicode(QByteArray(s.data(), qsizetype(s.size())));
}
// The rank positions as the rank display reads them: 21..22, one place of a
// 21-byte line, nothing of a shorter one.
std::string rankText(const std::string& L) {
    return L.size() >= 22 ? L.substr(20, 2) : L.size() == 21 ? L.substr(20, 1) : std::string();
}
bool blankRank(const std::string& r) { return r.empty() || r == "  "; }

// A time in seconds as an entry the table reads as a number ("67.250").
QString secondsEntry(int ms) {
    const long long a = ms < 0 ? -(long long)ms : ms;
    return QString::asprintf("%s%lld.%03lld", ms < 0 ? "-" : "", a / 1000, a % 1000);
}
void putNumber(std::string& L, int n) {
    L[0] = char('0' + n / 100 % 10);
    L[1] = char('0' + n / 10 % 10);
    L[2] = char('0' + n % 10);
}
} // namespace

BoardCore::BoardCore() = default;
BoardCore::~BoardCore() = default;

// ---- publication ------------------------------------------------------------

void BoardCore::subscribe(BoardValuesSubscriber* s) {
    if (s && std::find(subscribers_.begin(), subscribers_.end(), s) == subscribers_.end())
        subscribers_.push_back(s);
}

void BoardCore::unsubscribe(BoardValuesSubscriber* s) {
    subscribers_.erase(std::remove(subscribers_.begin(), subscribers_.end(), s), subscribers_.end());
}

void BoardCore::begin() { ++depth_; }

void BoardCore::end() {
    if (--depth_ > 0)
        return;
    // One publication per batch, none when nothing changed.
    if (published_ && *published_ == values_)
        return;
    published_ = std::make_shared<const BoardValues>(values_);
    const BoardValuesPtr now = published_;
    // By index: one may leave while told (no copy of the list per line).
    for (size_t i = 0; i < subscribers_.size(); ++i) {
        BoardValuesSubscriber* s = subscribers_[i];
        s->boardValuesChanged(now);
        if (i < subscribers_.size() && subscribers_[i] != s)
            --i;  // it left: the next one moved into its place
    }
}

void BoardCore::show(const BoardValues& values) {
    Batch batch(*this);
    values_ = values;
}

void BoardCore::change(const std::function<void(BoardValues&)>& edit) {
    Batch batch(*this);
    edit(values_);
}

void BoardCore::Textfeld_setzen(int n, const QString& text) {
    if (n < 1 || n > 3)
        return;
    Batch batch(*this);
    values_.texts[size_t(n - 1)].text = text;
}

void BoardCore::setBoardText(int n, const QString& text) {
    if (n < 1 || n > 4)
        return;
    Batch batch(*this);
    values_.boards[size_t(n - 1)].text = text;
}

// ---- input ------------------------------------------------------------------

void BoardCore::receive(const QByteArray& bytes) {
    for (const char b : bytes)
        receive(b);
}

void BoardCore::receive(char b) {
    if (gatherByte(gathering_, gathered_, b) != Gathered::Complete)
        return;
    std::string line;
    line.swap(gathering_);
    gathered_ = 0;
    lineComplete(std::move(line));
}

void BoardCore::lineComplete(std::string line) {
    // Counted, journalled and told as it arrives, also while a prompt holds
    // its dispatch back.
    ++linesReceived_;
    lastLineAt_ = steadyMs();
    if (lineSink_ || raceListener_) {
        const QByteArray bytes(line.data(), qsizetype(line.size()));
        const qint64 at = QDateTime::currentMSecsSinceEpoch();
        if (lineSink_)
            lineSink_(bytes, at);
        if (raceListener_)
            raceListener_->lineReceived(bytes, at);
    }
    if (dispatching_) {
        // A modal prompt runs inside dispatch; the line under dispatch must
        // not change, so later lines wait until it is done.
        if (held_.size() >= kMaxHeldLines)
            held_.pop_front();
        held_.push_back(std::move(line));
        return;
    }
    state_.Zeile = std::move(line);
    dispatchLine();
    while (!held_.empty() && !dispatching_) {
        state_.Zeile = std::move(held_.front());
        held_.pop_front();
        dispatchLine();
    }
}

// ---- dispatch -----------------------------------------------------------------

int BoardCore::Zeit_in_ms(const std::string& text) const {
    return ::Zeit_in_ms(text, localeDecimalSeparator(), options_.secMode);
}

void BoardCore::dispatchLine() {
    Batch batch(*this);  // the whole line: one publication
    dispatching_ = true;
    std::string& L = state_.Zeile;

    Startnummer_einsetzen();

    const signed char first = static_cast<signed char>(L[0]);
    const bool normal = first < 'A' || first > 'J';
    const bool byNumber = options_.numberAddress <= 0;
    if (normal && repeatedResult(L, byNumber ? startNumberAt(L, 1) : state_.Startnummer)) {
        // A device repeats a result line, between the next runner's running
        // times too: it changes nothing, not even which runner a time sent
        // without start number belongs to.
    } else if (normal) {
        updateBoards(L[0], true);
        if (byNumber)
            state_.Startnummer = startNumberAt(L, 1);
        state_.Rangwert = intAt(L, 21, 22);
        state_.Zeitwert = Zeit_in_ms(L.substr(8, 12));
        if (options_.showTime)
            Laufende_Zeit_zeigen();
        Rang_zeigen();
        if (byNumber)
            Startnummer_zeigen();
        if (options_.showPreset)
            Vorgabezeit_zeigen();
        state_.LetzteStartnummer = intAt(L, 1, 3);
    } else {
        updateBoards(L[0], false);
        if (options_.numberAddress > 0 && options_.numberAddressLetter == QLatin1Char(L[0])) {
            state_.Startnummer = startNumberAt(L, 2);
            Startnummer_zeigen();
        }
    }

    state_.Zeile.clear();
    dispatching_ = false;
}

void BoardCore::Startnummer_einsetzen() {
    std::string& L = state_.Zeile;
    if (L.size() < 4 || L[0] != 'A')
        return;
    if (L[3] != 'F') {
        state_.LetzteStartnummer = 0;
        return;
    }
    int& last = state_.LetzteStartnummer;
    if (last < 1 && options_.askStartNumber && prompt_) {
        if (const std::optional<QString> entered = prompt_()) {
            last = intValue(*entered);
            if (last >= 1 && last <= 999) {
                putNumber(L, last);
                L[3] = 'C';
                if (L.size() < 22)
                    L.resize(22, ' ');
                L[20] = '0';
                L[21] = '0';
                values_.rank.text = QString();  // the rank display writes its new caption
            }
        }
    }
    if (last > 0)
        putNumber(L, last);
}

void BoardCore::updateBoards(char address, bool normalLine) {
    for (size_t i = 0; i < 4; ++i) {
        const BoardOptions::Board& b = options_.boards[i];
        if (b.address < 0)
            continue;  // a board without address listens to nothing
        const bool listens = normalLine ? b.address == 0 : b.letter == QLatin1Char(address);
        if (!listens)
            continue;
        const QString text = latin(boardPiece(state_.Zeile, b.from, b.count));
        if (values_.boards[i].text != text)
            values_.boards[i].text = text;
    }
}

// ---- running time -------------------------------------------------------------

void BoardCore::putChar(int place, char b) {
    // One shared text per byte: a digit that changes costs no allocation.
    static const std::array<QString, 256> kTexts = [] {
        std::array<QString, 256> t;
        for (int i = 0; i < 256; ++i)
            t[size_t(i)] = QString(codepage::charOf(char(i)));
        return t;
    }();
    QString& t = values_.time[size_t(place)].text;
    const QString& c = kTexts[uint8_t(b)];
    // Compared through const access: the shown text is shared with the
    // published values, and writable access would copy it.
    if (std::as_const(t) != c)
        t = c;
}

void BoardCore::Laufende_Zeit_zeigen() {
    const std::string& L = state_.Zeile;
    if (L.size() < size_t(19))
        return;  // dispatch hands over complete lines only
    auto at = [&L](size_t pos) { return L[pos - 1]; };
    auto visible = [this](int place) -> bool& { return values_.time[size_t(place)].visible; };
    const int T = state_.Zeitwert;
    const bool A = options_.timeAutomatic;
    // In seconds mode the colons take no width: shown, they would lie on a digit.
    const bool colons = !options_.secMode;
    const bool has20 = L.size() >= 20;

    putChar(kZ, at(18));
    putChar(kSe, at(16));
    if (T >= 10000) {
        if (A)
            visible(kSz) = true;
        putChar(kSz, at(15));
    } else {
        if (A)
            visible(kSz) = false;
        putChar(kSz, ' ');
    }
    putChar(kH, has20 && T != 0 ? at(19) : ' ');
    if (T >= 60000) {
        if (A) {
            visible(kMe) = true;
            visible(kDp2) = colons;
        }
        putChar(kMe, at(13));
        putChar(kDp2, at(14));
    } else if (A) {
        visible(kMe) = false;
        visible(kDp2) = false;
    } else {
        putChar(kMe, ' ');
        putChar(kDp2, ' ');
    }
    if (A) {
        if (at(4) == '.') {
            visible(kH) = false;
            visible(kT) = false;
        } else if (at(19) != ' ' && visible(kZ)) {
            // Hundredths only behind the point and the tenths ("sec" hides them).
            visible(kH) = true;
            if (has20 && at(20) != ' ')
                visible(kT) = true;
        }
        visible(kMz) = T >= 600000;
        visible(kHe) = T >= 3600000;
        visible(kDp1) = colons && T >= 3600000;
        visible(kHz) = T >= 36000000;
    }
    putChar(kMz, at(12));
    putChar(kHe, at(10));
    putChar(kHz, at(9));
    if (!has20)
        values_.time[kT].text = QStringLiteral(" ");
    else
        putChar(kT, at(20));
}

// ---- rank, results ------------------------------------------------------------

int BoardCore::channelColumn(char channel) {
    static const int columns[] = {10, 11, 6, 8, 12, 13, 14, 15, 16, 17};  // A .. J
    return channel >= 'A' && channel <= 'J' ? columns[channel - 'A'] : 0;
}

int BoardCore::tableTime(int row, int column) const {
    // Numbers count seconds and times hold their value: both are read as
    // values, since a number's entry text ("36", "123.456") is not the
    // time field form the text conversion expects in seconds mode.
    if (const std::optional<int> v = table_->valueMs(row, column))
        return *v;
    return Zeit_in_ms(codepage::fromUnicode(table_->entry(row, column)).toStdString());
}

bool BoardCore::repeatedResult(const std::string& L, int startNumber) const {
    const int k = L.size() >= 4 ? channelColumn(L[3]) : 0;
    if (!k || !table_ || blankRank(rankText(L)) || startNumber < 1 || startNumber > 999)
        return false;
    const int row = startNumber + 9;
    return table_->hasEntry(row, k) && tableTime(row, k) == Zeit_in_ms(L.substr(8, 12));
}

void BoardCore::Rang_zeigen() {
    std::string& L = state_.Zeile;
    const std::string r = rankText(L);
    ResultTable* table = table_;
    const int number = state_.Startnummer;
    // Only start numbers 1 to 999 have a runner row; row 9 and above are the operator's header.
    const bool runnerRow = number >= 1 && number <= 999;

    if (blankRank(r)) {
        if (options_.displayMode) {
            values_.rank.visible = false;
            values_.advert = false;
        }
        values_.rank.text = QStringLiteral(" ");
        // A runner on course has no finish time yet (999 too, whose results
        // are recorded). Unchanged cells are not rewritten: every write saves.
        // A runner with a finish time runs again: a new run, which clears
        // his split times with the finish so the split presets show again.
        // Nothing is lost: each goes to "Earlier results" first.
        const int row = number + 9;
        if (table && runnerRow && (table->hasEntry(row, 6) || table->hasEntry(row, 8))) {
            ResultTable::Batch oneSave(table);
            for (char ch = 'A'; ch <= 'J'; ++ch) {
                const int k = channelColumn(ch);
                if (!table->hasEntry(row, k))
                    continue;
                table->keepEarlier(row, k, ch);
                table->setEntry(row, k, QString());
            }
        }
        return;
    }

    const char channel = L[3];
    const QString shown = latin(r) + options_.rankSuffix;
    // A device repeats a result line; that repeat changes nothing. Another
    // runner's result with the same rank is a new result and is recorded.
    if (values_.rank.text != shown || L != lastResultLine_) {
        lastResultLine_ = L;
        values_.rank.text = shown;
        const char sep = localeDecimalSeparator();
        if (sep != '.' && L[16] == '.')
            L[16] = sep;
        const int k = channelColumn(channel);
        if (k > 0 && table && runnerRow) {
            ResultTable::Batch oneSave(table);  // the result and a copied preset row: one save
            const int row = number + 9;
            // Seconds mode records the seconds as a number ("67.250" for
            // 1:07.250), which the seconds format shows as seconds; the line's
            // digits without their colons would read as 107.25.
            const std::string time = L.substr(8, 12);
            // A corrected time replaces the old one, which is kept.
            if (!repeatedResult(L, number))
                table->keepEarlier(row, k, channel);
            table->setEntry(row, k, options_.secMode ? secondsEntry(Zeit_in_ms(time)) : latin(time));
            if (raceListener_) {
                QString t = latin(time);
                if (t.size() > 8 && t[8] == QLatin1Char(sep))
                    t[8] = u'.';  // the line's own form, whatever the locale
                raceListener_->resultRecorded({number, (table->text(row, 3) + ' ' + table->text(row, 4)).trimmed(),
                                               channel, t.trimmed(), state_.Rangwert,
                                               QDateTime::currentMSecsSinceEpoch()});
            }
            if (table->hasEntry(6, k)) {
                const std::string diff = formatDifference(int64_t(tableTime(row, k)) - tableTime(6, k), sep);
                values_.preset.text = QString::fromLatin1(diff.data(), qsizetype(diff.size()));
                if (options_.showPreset)
                    values_.preset.visible = true;
            }
            // The winner of a finish channel sets the new preset times.
            if ((channel == 'C' || channel == 'D') && state_.Rangwert == 1)
                for (int c = 2; c <= 17; ++c)
                    table->setEntry(6, c, table->entry(row, c));
        }
    }

    if (options_.showRank)
        values_.rank.visible = true;
    // The rank of the line decides, not the caption (which carries the suffix).
    if (options_.advertForTopRanks && (channel == 'C' || channel == 'D') && intValue(r) < 6)
        values_.advert = true;
}

// ---- start number ---------------------------------------------------------------

void BoardCore::refreshNumber() {
    Batch batch(*this);
    const int n = state_.Startnummer;
    values_.number.text = (n > 0 ? QString::number(n) : QStringLiteral("   ")) + options_.numberSuffix;
}

void BoardCore::Startnummer_zeigen() {
    Batch batch(*this);
    const int n = state_.Startnummer;
    // Only a number from 1 up names a runner; a negative one from a garbled
    // line is shown like no number at all.
    if (n <= 0) {
        values_.number.text = QStringLiteral("   ");
        values_.texts[0].text = QString();
        return;
    }
    const QString shown = QString::number(n) + options_.numberSuffix;
    if (values_.number.text == shown)
        return;  // same runner: the table is not read again
    values_.number.text = shown;
    if (!table_)
        return;
    const int row = n + 9;
    const QString first = table_->text(row, 3), second = table_->text(row, 4);
    const QString name = options_.wholeSurname ? first + ' ' + second : first + ' ' + second.left(1) + '.';
    values_.texts[0].text = name;
    values_.texts[1].text = table_->text(row, 5);
    values_.texts[2].text = table_->text(row, 18);
}

// ---- preset time ----------------------------------------------------------------

void BoardCore::Vorgabezeit_zeigen() {
    const std::string& L = state_.Zeile;
    if (L.size() < 4 || L[3] != '.') {
        // A result line leaves the label to the rank display.
        if (options_.displayMode && state_.Zeitwert == 0)
            values_.preset.visible = false;
        return;
    }
    const int row = state_.Startnummer + 9;
    // The finish first, then the intermediate points A, B, E .. J.
    static const int columns[] = {6, 8, 10, 11, 12, 13, 14, 15, 16, 17};
    if (table_ && row >= 1) {
        for (int k : columns) {
            if (!table_->hasEntry(6, k) || table_->hasEntry(row, k))
                continue;
            const int preset = tableTime(6, k);
            if (int64_t(preset) - state_.Zeitwert >= 4000)
                continue;
            // Once near, the same preset comes with every line: formatted once.
            const char sep = localeDecimalSeparator();
            if (preset != presetShown_.ms || sep != presetShown_.sep || presetShown_.text.isNull())
                presetShown_ = {preset, sep, latin(Zeit_formatieren(uint32_t(preset), 2, sep))};
            if (values_.preset.text != presetShown_.text)
                values_.preset.text = presetShown_.text;
            values_.preset.visible = true;
            return;
        }
    }
    if (options_.displayMode)
        values_.preset.visible = false;
}
