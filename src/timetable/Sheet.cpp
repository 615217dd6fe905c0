#include "timetable/Sheet.h"

#include "timetable/CellFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace {

const std::array<std::pair<int, const char*>, 7> kErrors = {{
    {0x00, "#NULL!"}, {0x07, "#DIV/0!"}, {0x0F, "#VALUE!"}, {0x17, "#REF!"},
    {0x1D, "#NAME?"}, {0x24, "#NUM!"}, {0x2A, "#N/A"}}};

bool allDigits(QStringView s) {
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// h:mm:ss[.f], m:ss.f; seconds and minutes after hours have two digits, so
// "1:2.5" stays a text (the conversion of timing lines reads it differently).
bool parseTime(QStringView t, QChar sep, double& seconds) {
    const qsizetype c1 = t.indexOf(u':');
    if (c1 < 0)
        return false;
    const qsizetype c2 = t.indexOf(u':', c1 + 1);
    if (c2 >= 0 && t.indexOf(u':', c2 + 1) >= 0)
        return false;
    QStringView last = c2 >= 0 ? t.mid(c2 + 1) : t.mid(c1 + 1);
    qsizetype dot = last.indexOf(u'.');
    if (dot < 0 && sep != u'.')
        dot = last.indexOf(sep);
    QStringView secPart = dot < 0 ? last : last.left(dot);
    QStringView frac = dot < 0 ? QStringView() : last.mid(dot + 1);
    if (dot >= 0 && !allDigits(frac))
        return false;
    if (c2 < 0 && dot < 0)
        return false;  // "12:34" is ambiguous (h:mm or m:ss): a text
    if (secPart.size() != 2 || !allDigits(secPart))
        return false;
    const int sec = secPart.toInt();
    if (sec >= 60)
        return false;
    QStringView first = t.left(c1);
    if (!allDigits(first) || first.size() > 9)
        return false;
    double total = 0;
    if (c2 >= 0) {
        QStringView mins = t.mid(c1 + 1, c2 - c1 - 1);
        if (mins.size() != 2 || !allDigits(mins) || mins.toInt() >= 60)
            return false;
        total = first.toDouble() * 3600 + mins.toInt() * 60;
    } else {
        total = first.toDouble() * 60;
    }
    total += sec;
    if (!frac.isEmpty())
        total += (QStringLiteral("0.") + frac.toString()).toDouble();
    seconds = total;
    return true;
}

bool parseNumber(QStringView t, QChar sep, double& value) {
    QString norm;
    norm.reserve(t.size());
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        norm += t[i++];
    int mant = 0;
    bool point = false;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c >= u'0' && c <= u'9') {
            norm += c;
            ++mant;
        } else if (!point && (c == u'.' || c == sep)) {
            point = true;
            norm += u'.';
        } else {
            break;
        }
    }
    if (mant == 0)
        return false;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        norm += u'e';
        ++i;
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
            norm += t[i++];
        int expDigits = 0;
        for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i, ++expDigits)
            norm += t[i];
        if (expDigits == 0)
            return false;
    }
    if (i != t.size())
        return false;
    bool ok = false;
    value = norm.toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

ParsedEntry parseEntry(const QString& entry, bool timeCell, QChar localeSep) {
    ParsedEntry p;
    if (entry.isEmpty())
        return p;
    if (entry.startsWith(u'\'')) {  // an apostrophe keeps a number-like entry a text
        p.kind = Cell::Text;
        p.text = entry.mid(1);
        return p;
    }
    const QString t = entry.trimmed();
    double v = 0;
    if (parseTime(t, localeSep, v)) {
        p.kind = Cell::Time;
        p.number = v / 86400.0;
    } else if (parseNumber(t, localeSep, v)) {
        if (timeCell && v >= 0 && v < 1e11) {
            p.kind = Cell::Time;
            p.number = v / 86400.0;
        } else {
            p.kind = Cell::Number;
            p.number = v;
        }
    } else if (t.compare(u"TRUE", Qt::CaseInsensitive) == 0 ||
               t.compare(u"FALSE", Qt::CaseInsensitive) == 0) {
        p.kind = Cell::Bool;
        p.number = t.size() == 4 ? 1 : 0;
    } else if (const int code = errorCode(t); code >= 0) {
        p.kind = Cell::Error;
        p.number = code;
    } else {
        p.kind = Cell::Text;
        p.text = entry;
    }
    return p;
}

QString timeEntry(double days) {
    const long long ms = std::llround(days * 86400000.0);
    const long long h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, f = ms % 1000;
    const QString frac = QStringLiteral(".%1").arg(f, 3, 10, QChar(u'0'));
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QChar(u'0')).arg(s, 2, 10, QChar(u'0')) +
               frac;
    if (m > 0)
        return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QChar(u'0')) + frac;
    return QString::number(s) + frac;
}

QString numberEntry(double value) {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    if (std::find(buf, r.ptr, 'e') != r.ptr) {
        // 100000 reads better than 1e+05 while the digits stay few
        char fixed[400];
        const auto f = std::to_chars(fixed, fixed + sizeof fixed, value, std::chars_format::fixed);
        if (f.ec == std::errc() && f.ptr - fixed <= 20)
            return QString::fromLatin1(fixed, f.ptr - fixed);
    }
    return QString::fromLatin1(buf, r.ptr - buf);
}

QString errorText(int code) {
    for (const auto& [c, t] : kErrors)
        if (c == code)
            return QString::fromLatin1(t);
    return QStringLiteral("#N/A");
}

int errorCode(const QString& text) {
    for (const auto& [c, t] : kErrors)
        if (text.compare(QLatin1String(t), Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

// ---- Sheet --------------------------------------------------------------

Sheet::Sheet() { clear(); }

void Sheet::clear() {
    rows_.clear();
    log_.reset();
    colWidths_.assign(MaxCols, 0);
    formats_ = QStringList{QStringLiteral("General")};
    formatLookup_ = {{formats_[0], 0}};
    timeFormat_ = {false};
}

void Sheet::logRow(size_t r) {
    if (!log_.all && (log_.rows.empty() || log_.rows.back() != r))
        log_.rows.push_back(r);
}

Sheet::Changes Sheet::takeChanges() {
    Changes c;
    c.all = log_.all;
    c.rowCount = rows_.size();
    if (log_.all) {
        c.rows.reserve(rows_.size());
        for (size_t r = 0; r < rows_.size(); ++r)
            if (!rows_[r].isEmpty())
                c.rows.emplace_back(r, rows_[r]);
    } else {
        std::sort(log_.rows.begin(), log_.rows.end());
        log_.rows.erase(std::unique(log_.rows.begin(), log_.rows.end()), log_.rows.end());
        c.rows.reserve(log_.rows.size());
        for (size_t r : log_.rows)
            if (r < rows_.size())
                c.rows.emplace_back(r, rows_[r]);
    }
    c.formats = formats_;
    c.formatLookup = formatLookup_;
    c.timeFormat = timeFormat_;
    c.colWidths = colWidths_;
    c.name = name_;
    log_.rows.clear();
    log_.all = false;
    return c;
}

void Sheet::apply(const Changes& c) {
    if (c.all)
        rows_.clear();
    rows_.resize(c.rowCount);
    for (const auto& [r, row] : c.rows)
        if (r < rows_.size())
            rows_[r] = row;
    formats_ = c.formats;
    formatLookup_ = c.formatLookup;
    timeFormat_ = c.timeFormat;
    colWidths_ = c.colWidths;
    name_ = c.name;
}

bool Sheet::isEmpty() const {
    for (const auto& r : rows_)
        for (const Cell& c : r)
            if (c.kind != Cell::Empty)
                return false;
    return true;
}

std::pair<int, int> Sheet::usedExtent() const {
    int lastRow = 0, lastCol = 0;
    for (size_t r = 0; r < rows_.size(); ++r)
        for (const Cell& c : rows_[r])
            if (c.kind != Cell::Empty) {
                lastRow = int(r) + 1;
                lastCol = std::max(lastCol, c.col + 1);
            }
    return {lastRow, lastCol};
}

const Cell* Sheet::cell(int row, int col) const {
    if (row < 1 || col < 1 || col > MaxCols || size_t(row) > rows_.size())
        return nullptr;
    const auto& r = rows_[size_t(row - 1)];
    const uint8_t key = uint8_t(col - 1);
    auto it = std::lower_bound(r.begin(), r.end(), key, [](const Cell& c, uint8_t k) { return c.col < k; });
    return it != r.end() && it->col == key ? &*it : nullptr;
}

Cell* Sheet::touch(int row, int col) {
    if (row < 1 || col < 1 || row > MaxRows || col > MaxCols)
        return nullptr;
    if (size_t(row) > rows_.size())
        rows_.resize(size_t(row));
    logRow(size_t(row - 1));
    auto& r = rows_[size_t(row - 1)];
    const uint8_t key = uint8_t(col - 1);
    auto it = std::lower_bound(r.begin(), r.end(), key, [](const Cell& c, uint8_t k) { return c.col < k; });
    if (it == r.end() || it->col != key) {
        Cell c;
        c.col = key;
        it = r.insert(it, c);
    }
    return &*it;
}

QString Sheet::entry(int row, int col) const {
    const Cell* c = cell(row, col);
    if (!c)
        return {};
    switch (c->kind) {
    case Cell::Empty: return {};
    case Cell::Text: return c->text;
    case Cell::Number: return numberEntry(c->number);
    case Cell::Time: return timeEntry(c->number);
    case Cell::Bool: return c->number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case Cell::Error: return errorText(int(c->number));
    }
    return {};
}

bool Sheet::hasEntry(int row, int col) const {
    const Cell* c = cell(row, col);
    if (!c)
        return false;
    switch (c->kind) {
    case Cell::Empty: return false;
    case Cell::Text: return !c->text.isEmpty();
    default: return true;  // numbers, times, truth values and errors always have a text
    }
}

QString Sheet::text(int row, int col, QChar decimalSep) const {
    const Cell* c = cell(row, col);
    if (!c)
        return {};
    switch (c->kind) {
    case Cell::Number:
    case Cell::Time:
        return cellfmt::format(c->number, formats_.value(c->format), decimalSep);
    default:
        return entry(row, col);
    }
}

bool Sheet::setEntry(int row, int col, const QString& entryText, QChar localeSep) {
    if (entryText.isEmpty()) {
        const Cell* old = cell(row, col);
        if (!old || old->kind == Cell::Empty)
            return false;
    }
    Cell* c = touch(row, col);
    if (!c)
        return false;
    const ParsedEntry p = parseEntry(entryText, isTimeFormat(c->format), localeSep);
    const bool same = c->kind == p.kind && (p.kind == Cell::Text ? c->text == p.text
                                                                 : c->number == p.number);
    if (same)
        return false;
    c->kind = p.kind;
    c->number = p.number;
    c->text = p.text;
    if (p.kind == Cell::Time && !isTimeFormat(c->format)) {
        // a typed time needs a time format to show as one
        c->format = formatIndex(p.number < 1.0 / 24 ? QStringLiteral("m:ss.000")
                                                    : QStringLiteral("[h]:mm:ss.000"));
    }
    if (c->kind == Cell::Empty && c->format == 0) {  // keep rows sparse
        auto& r = rows_[size_t(row - 1)];
        r.erase(r.begin() + (c - r.data()));
    }
    return true;
}

bool Sheet::setFormat(int row1, int col1, int row2, int col2, const QString& code) {
    row1 = std::clamp(row1, 1, MaxRows);
    row2 = std::clamp(row2, 1, MaxRows);
    col1 = std::clamp(col1, 1, MaxCols);
    col2 = std::clamp(col2, 1, MaxCols);
    if (row1 > row2)
        std::swap(row1, row2);
    if (col1 > col2)
        std::swap(col1, col2);
    const uint16_t f = formatIndex(code);
    const bool toTime = isTimeFormat(f);
    bool changed = false;
    for (int r = row1; r <= row2; ++r)
        for (int c = col1; c <= col2; ++c) {
            const Cell* old = cell(r, c);
            if ((old ? old->format : 0) == f)
                continue;
            Cell* cell = touch(r, c);
            cell->format = f;
            // In a time format a number counts seconds, in any other format a
            // time shows its seconds: switching the seconds format keeps values.
            if (cell->kind == Cell::Time && !toTime) {
                cell->kind = Cell::Number;
                cell->number = std::round(cell->number * 86400.0 * 1e6) / 1e6;
            } else if (cell->kind == Cell::Number && toTime && cell->number >= 0 && cell->number < 1e11) {
                cell->kind = Cell::Time;
                cell->number /= 86400.0;
            }
            changed = true;
        }
    return changed;
}

QString Sheet::formatOf(int row, int col) const {
    const Cell* c = cell(row, col);
    return formats_.value(c ? c->format : 0);
}

uint16_t Sheet::formatIndex(const QString& code) {
    const auto it = formatLookup_.constFind(code);
    if (it != formatLookup_.constEnd())
        return *it;
    if (formats_.size() >= 0xFFFF)
        return 0;
    formatLookup_.insert(code, uint16_t(formats_.size()));
    formats_ << code;
    timeFormat_.push_back(cellfmt::classify(code) == cellfmt::Kind::Time);
    return uint16_t(formats_.size() - 1);
}

Cell Sheet::snapshot(int row, int col) const {
    const Cell* c = cell(row, col);
    Cell copy = c ? *c : Cell{};
    copy.col = uint8_t(col - 1);
    return copy;
}

bool Sheet::restore(int row, int col, const Cell& copy) {
    const Cell now = snapshot(row, col);
    if (now.kind == copy.kind && now.number == copy.number && now.text == copy.text && now.format == copy.format)
        return false;
    if (copy.kind == Cell::Empty && copy.format == 0) {  // keep rows sparse
        if (size_t(row) <= rows_.size()) {
            logRow(size_t(row - 1));
            auto& r = rows_[size_t(row - 1)];
            const uint8_t key = uint8_t(col - 1);
            r.erase(std::remove_if(r.begin(), r.end(), [key](const Cell& c) { return c.col == key; }), r.end());
        }
        return true;
    }
    Cell* c = touch(row, col);
    if (!c)
        return false;
    c->kind = copy.kind;
    c->number = copy.number;
    c->text = copy.text;
    c->format = copy.format < formats_.size() ? copy.format : 0;
    return true;
}

bool Sheet::sameValue(const Cell& a, const Cell& b) {
    if (a.kind == b.kind)
        return a.kind == Cell::Empty || (a.kind == Cell::Text ? a.text == b.text : a.number == b.number);
    const bool timeAndNumber = (a.kind == Cell::Time && b.kind == Cell::Number) ||
                               (a.kind == Cell::Number && b.kind == Cell::Time);
    if (!timeAndNumber)
        return false;
    const double seconds = a.kind == Cell::Time ? a.number * 86400.0 : a.number;
    const double other = b.kind == Cell::Time ? b.number * 86400.0 : b.number;
    return std::abs(seconds - other) < 1e-6;
}
