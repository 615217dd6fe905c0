#include "timetable/CellFormat.h"

#include <QDate>
#include <QLocale>
#include <QStringList>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace cellfmt {
namespace {

const std::array<const char*, 50> kBuiltin = {
    "General", "0", "0.00", "#,##0", "#,##0.00",
    "\"$\"#,##0_);(\"$\"#,##0)", "\"$\"#,##0_);[Red](\"$\"#,##0)",
    "\"$\"#,##0.00_);(\"$\"#,##0.00)", "\"$\"#,##0.00_);[Red](\"$\"#,##0.00)",
    "0%", "0.00%", "0.00E+00", "# ?/?", "# ?\?/??", "m/d/yyyy", "d-mmm-yy", "d-mmm", "mmm-yy",
    "h:mm AM/PM", "h:mm:ss AM/PM", "h:mm", "h:mm:ss", "m/d/yyyy h:mm",
    "", "", "", "", "", "", "", "", "", "", "", "", "", "",
    "#,##0_);(#,##0)", "#,##0_);[Red](#,##0)", "#,##0.00_);(#,##0.00)",
    "#,##0.00_);[Red](#,##0.00)",
    "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)",
    "_(\"$\"* #,##0_);_(\"$\"* (#,##0);_(\"$\"* \"-\"_);_(@_)",
    "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)",
    "_(\"$\"* #,##0.00_);_(\"$\"* (#,##0.00);_(\"$\"* \"-\"??_);_(@_)",
    "mm:ss", "[h]:mm:ss", "mm:ss.0", "##0.0E+0", "@"};

// One piece of a format section.
struct Tok {
    enum Type {
        Lit, General, Digit, Point, Comma, Percent, Exp, Text,
        Year, Month, Day, Hour, Minute, Second, AmPm, FracSec,
        ElapsedH, ElapsedM, ElapsedS, MinuteOrMonth
    } type;
    QString text;   // literal text; for Digit the placeholder char; for Exp the sign
    int count = 0;  // letters in a date token, digits in FracSec
};

struct Section {
    std::vector<Tok> toks;
    bool isDate = false;
    bool hasAmPm = false;
};

QStringList splitSections(const QString& code) {
    QStringList out;
    QString cur;
    bool quoted = false, bracket = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (quoted) {
            cur += c;
            if (c == u'"')
                quoted = false;
        } else if (bracket) {
            cur += c;
            if (c == u']')
                bracket = false;
        } else if (c == u'\\' && i + 1 < code.size()) {
            cur += c;
            cur += code[++i];
        } else if (c == u'"') {
            quoted = true;
            cur += c;
        } else if (c == u'[') {
            bracket = true;
            cur += c;
        } else if (c == u';') {
            out << cur;
            cur.clear();
        } else {
            cur += c;
        }
    }
    out << cur;
    return out;
}

int runOf(const QString& s, qsizetype i, QChar c) {
    int n = 0;
    while (i + n < s.size() && s[i + n].toLower() == c)
        ++n;
    return n;
}

Section parseSection(const QString& s) {
    Section sec;
    auto lit = [&](const QString& t) {
        if (!sec.toks.empty() && sec.toks.back().type == Tok::Lit)
            sec.toks.back().text += t;
        else
            sec.toks.push_back({Tok::Lit, t});
    };
    for (qsizetype i = 0; i < s.size();) {
        const QChar c = s[i];
        const QChar lc = c.toLower();
        if (c == u'"') {
            const qsizetype end = s.indexOf(u'"', i + 1);
            lit(s.mid(i + 1, (end < 0 ? s.size() : end) - i - 1));
            i = end < 0 ? s.size() : end + 1;
        } else if (c == u'\\') {
            if (i + 1 < s.size())
                lit(QString(s[i + 1]));
            i += 2;
        } else if (c == u'_') {
            lit(QStringLiteral(" "));
            i += 2;
        } else if (c == u'*') {
            i += 2;  // fill character: a cell has no width to fill here
        } else if (c == u'[') {
            const qsizetype end = s.indexOf(u']', i);
            const QString inner = s.mid(i + 1, (end < 0 ? s.size() : end) - i - 1).toLower();
            i = end < 0 ? s.size() : end + 1;
            if (!inner.isEmpty() && inner.count(inner[0]) == inner.size()) {
                const int n = int(inner.size());
                if (inner[0] == u'h')
                    sec.toks.push_back({Tok::ElapsedH, {}, n});
                else if (inner[0] == u'm')
                    sec.toks.push_back({Tok::ElapsedM, {}, n});
                else if (inner[0] == u's')
                    sec.toks.push_back({Tok::ElapsedS, {}, n});
            }
            // colours, locales and conditions change nothing in a text
        } else if (s.mid(i, 7).compare(u"general", Qt::CaseInsensitive) == 0) {
            sec.toks.push_back({Tok::General, {}});
            i += 7;
        } else if (s.mid(i, 5).compare(u"am/pm", Qt::CaseInsensitive) == 0) {
            sec.toks.push_back({Tok::AmPm, {}, 5});
            sec.hasAmPm = true;
            i += 5;
        } else if (s.mid(i, 3).compare(u"a/p", Qt::CaseInsensitive) == 0) {
            sec.toks.push_back({Tok::AmPm, s.mid(i, 1), 3});
            sec.hasAmPm = true;
            i += 3;
        } else if (c == u'0' || c == u'#' || c == u'?') {
            sec.toks.push_back({Tok::Digit, QString(c)});
            ++i;
        } else if (c == u'.') {
            int zeros = runOf(s, i + 1, u'0');
            sec.toks.push_back({Tok::Point, {}, zeros});
            ++i;
        } else if (c == u',') {
            sec.toks.push_back({Tok::Comma, {}});
            ++i;
        } else if (c == u'%') {
            sec.toks.push_back({Tok::Percent, {}});
            ++i;
        } else if (lc == u'e' && i + 1 < s.size() && (s[i + 1] == u'+' || s[i + 1] == u'-')) {
            sec.toks.push_back({Tok::Exp, QString(s[i + 1])});
            i += 2;
        } else if (c == u'@') {
            sec.toks.push_back({Tok::Text, {}});
            ++i;
        } else if (lc == u'y' || lc == u'd' || lc == u'h' || lc == u's' || lc == u'm') {
            const int n = runOf(s, i, lc);
            const Tok::Type t = lc == u'y' ? Tok::Year
                                : lc == u'd' ? Tok::Day
                                : lc == u'h' ? Tok::Hour
                                : lc == u's' ? Tok::Second
                                             : Tok::MinuteOrMonth;
            sec.toks.push_back({t, {}, n});
            i += n;
        } else {
            lit(QString(c));
            ++i;
        }
    }
    // Decide the date reading: "m" is minutes next to hours or seconds.
    int lastDate = -1;
    for (size_t k = 0; k < sec.toks.size(); ++k) {
        Tok& t = sec.toks[k];
        switch (t.type) {
        case Tok::Year: case Tok::Day: case Tok::Hour: case Tok::Second:
        case Tok::MinuteOrMonth: case Tok::AmPm: case Tok::ElapsedH: case Tok::ElapsedM:
        case Tok::ElapsedS:
            sec.isDate = true;
            break;
        default:
            break;
        }
        if (t.type == Tok::MinuteOrMonth) {
            bool minute = lastDate >= 0 && (sec.toks[size_t(lastDate)].type == Tok::Hour ||
                                             sec.toks[size_t(lastDate)].type == Tok::ElapsedH);
            for (size_t j = k + 1; !minute && j < sec.toks.size(); ++j) {
                const Tok::Type n = sec.toks[j].type;
                if (n == Tok::Second || n == Tok::ElapsedS)
                    minute = true;
                if (n != Tok::Lit && n != Tok::Point && n != Tok::Comma)
                    break;
            }
            t.type = minute ? Tok::Minute : Tok::Month;
        }
        if (t.type != Tok::Lit && t.type != Tok::Point && t.type != Tok::Comma)
            lastDate = int(k);
    }
    if (sec.isDate) {
        // In a date section "." followed by zeros after seconds is a fraction of a second.
        for (size_t k = 0; k < sec.toks.size(); ++k) {
            Tok& t = sec.toks[k];
            if (t.type == Tok::Point) {
                if (t.count > 0) {
                    t.type = Tok::FracSec;
                    // the zeros were read as Digit tokens: drop them
                    int n = 0;
                    while (k + 1 < sec.toks.size() && sec.toks[k + 1].type == Tok::Digit &&
                           sec.toks[k + 1].text == u"0" && n < t.count) {
                        sec.toks.erase(sec.toks.begin() + qsizetype(k + 1));
                        ++n;
                    }
                    t.count = std::min(n, 3);
                } else {
                    t.type = Tok::Lit;
                    t.text = QStringLiteral(".");
                }
            } else if (t.type == Tok::Comma) {
                t.type = Tok::Lit;
                t.text = QStringLiteral(",");
            } else if (t.type == Tok::Digit || t.type == Tok::Percent || t.type == Tok::Exp) {
                t.type = Tok::Lit;
                if (t.text.isEmpty())
                    t.text = QStringLiteral("%");
            }
        }
    }
    return sec;
}

QString pad(int64_t v, int width) {
    return QString::number(v).rightJustified(width, u'0');
}

QString generalNumber(double v, QChar sep) {
    if (v == 0)
        return QStringLiteral("0");
    const double a = std::fabs(v);
    QString s;
    if (a >= 1e11 || a < 1e-9) {
        s = QString::number(v, 'E', 5);  // 1.23457E+011 -> trim below
        const qsizetype e = s.indexOf(u'E');
        QString mant = s.left(e), exp = s.mid(e + 1);
        while (mant.contains(u'.') && (mant.endsWith(u'0') || mant.endsWith(u'.')))
            mant.chop(1);
        const QChar sign = exp[0];
        exp = exp.mid(1);
        while (exp.size() > 2 && exp.startsWith(u'0'))
            exp.remove(0, 1);
        s = mant + u'E' + sign + exp;
    } else {
        // Excel's General shows at most ten significant digits
        int intDigits = a >= 1 ? int(std::floor(std::log10(a))) + 1 : 1;
        int decimals = std::max(0, 10 - intDigits);
        s = QString::number(v, 'f', decimals);
        if (s.contains(u'.')) {
            while (s.endsWith(u'0'))
                s.chop(1);
            if (s.endsWith(u'.'))
                s.chop(1);
        }
        if (s == u"-0")
            s = QStringLiteral("0");
    }
    s.replace(u'.', sep);
    return s;
}

QString formatNumber(double v, const Section& sec, QChar sep, bool autoMinus) {
    // Gather the layout: placeholders before and after the point, scaling.
    int intCount = 0, fracCount = 0, percent = 0, expDigits = 0;
    bool point = false, thousands = false, exp = false, general = false;
    int scaleCommas = 0;
    for (size_t k = 0; k < sec.toks.size(); ++k) {
        const Tok& t = sec.toks[k];
        if (t.type == Tok::General)
            general = true;
        else if (t.type == Tok::Digit) {
            if (exp)
                ++expDigits;
            else if (point)
                ++fracCount;
            else
                ++intCount;
        } else if (t.type == Tok::Point && !exp)
            point = true;
        else if (t.type == Tok::Percent)
            ++percent;
        else if (t.type == Tok::Exp)
            exp = true;
        else if (t.type == Tok::Comma && !point && !exp) {
            const bool digitBefore = k > 0 && sec.toks[k - 1].type == Tok::Digit;
            bool digitAfter = k + 1 < sec.toks.size() && sec.toks[k + 1].type == Tok::Digit;
            if (digitBefore && digitAfter)
                thousands = true;
            else if (digitBefore || (k > 0 && sec.toks[k - 1].type == Tok::Comma))
                ++scaleCommas;
        }
    }
    // a double has no more digits to show; more placeholders stay empty
    fracCount = std::min(fracCount, 30);
    double a = std::fabs(v);
    for (int i = 0; i < percent; ++i)
        a *= 100;
    for (int i = 0; i < scaleCommas; ++i)
        a /= 1000;
    if (!std::isfinite(a))
        return QStringLiteral("#NUM!");

    int exponent = 0;
    if (exp && a != 0) {
        exponent = int(std::floor(std::log10(a)));
        if (intCount > 1) {  // engineering style: exponent a multiple of the int digits
            exponent = int(std::floor(double(exponent) / intCount)) * intCount;
        } else {
            exponent -= std::max(intCount, 1) - 1;
        }
        a /= std::pow(10.0, exponent);
    }
    QString fixed = QString::number(a, 'f', fracCount);
    if (exp && fixed.startsWith(QStringLiteral("10")) && intCount <= 1 && a != 0) {
        a /= 10;
        ++exponent;
        fixed = QString::number(a, 'f', fracCount);
    }
    const qsizetype dot = fixed.indexOf(u'.');
    QString intDigits = dot < 0 ? fixed : fixed.left(dot);
    QString fracDigits = dot < 0 ? QString() : fixed.mid(dot + 1);
    if (intDigits == u"0")
        intDigits.clear();
    const bool negative = v < 0 && (general || intDigits.size() > 0 || fracDigits.count(u'0') != fracDigits.size());

    // Trailing zeros of the fraction shown by '#' or '?' placeholders.
    std::vector<QString> fracPh;
    for (const Tok& t : sec.toks)
        if (t.type == Tok::Digit)
            fracPh.push_back(t.text);
    fracPh.erase(fracPh.begin(), fracPh.begin() + intCount);
    fracPh.resize(size_t(fracCount));
    for (int i = fracCount - 1; i >= 0; --i) {
        if (fracDigits[i] != u'0' || fracPh[size_t(i)] == u"0")
            break;
        fracDigits[i] = fracPh[size_t(i)] == u"?" ? u' ' : u'\x01';
    }

    QString out;
    if (autoMinus && negative)
        out += u'-';
    int intSeen = 0, fracSeen = 0, expSeen = 0;
    bool inExp = false, afterPoint = false;
    const int totalInt = std::max<int>(intCount, int(intDigits.size()));
    QString expText = QString::number(std::abs(exponent));
    int intEmitted = 0;
    auto emitIntDigit = [&](const QString& ph) {
        // the first placeholder takes every extra leading digit
        const int extra = int(intDigits.size()) - intCount;
        auto put = [&](int pos) {  // pos counted from the left of totalInt
            const int di = pos - (totalInt - int(intDigits.size()));
            if (di >= 0)
                out += intDigits[di];
            else if (ph == u"0")
                out += u'0';
            else if (ph == u"?")
                out += u' ';
            else
                return;
            ++intEmitted;
            const int remaining = totalInt - pos - 1;
            if (thousands && remaining > 0 && remaining % 3 == 0 && (di >= 0 || ph == u"0"))
                out += u',';
        };
        if (intSeen == 0 && extra > 0)
            for (int i = 0; i < extra; ++i)
                put(i);
        put(intSeen + std::max(extra, 0));
        ++intSeen;
    };
    for (const Tok& t : sec.toks) {
        switch (t.type) {
        case Tok::Lit:
            out += t.text;
            break;
        case Tok::General:
            out += generalNumber(std::fabs(v), sep);
            break;
        case Tok::Digit:
            if (inExp) {
                const int di = expSeen - (std::max(expDigits, int(expText.size())) - int(expText.size()));
                if (expSeen == 0 && int(expText.size()) > expDigits)
                    out += expText.left(expText.size() - expDigits + 1);
                else if (di >= 0)
                    out += expText[di];
                else if (t.text == u"0")
                    out += u'0';
                ++expSeen;
            } else if (!afterPoint) {
                emitIntDigit(t.text);
            } else {
                if (fracSeen < fracDigits.size() && fracDigits[fracSeen] != u'\x01')
                    out += fracDigits[fracSeen];
                ++fracSeen;
            }
            break;
        case Tok::Point:
            if (!inExp) {
                afterPoint = true;
                out += sep;
            }
            break;
        case Tok::Percent:
            out += u'%';
            break;
        case Tok::Exp:
            inExp = true;
            out += u'E';
            if (exponent < 0)
                out += u'-';
            else if (t.text == u"+")
                out += u'+';
            break;
        default:
            break;
        }
    }
    if (!general && intCount == 0 && !intDigits.isEmpty() && !exp) {
        // no integer placeholder: the digits still have to show
        const qsizetype at = out.indexOf(sep);
        out.insert(at < 0 ? out.size() : at, intDigits);
    }
    return out;
}

QString formatDate(double v, const Section& sec, QChar sep) {
    const bool negative = v < 0;
    const double a = std::fabs(v);
    int fracDigits = 0;
    for (const Tok& t : sec.toks)
        if (t.type == Tok::FracSec)
            fracDigits = std::max(fracDigits, t.count);
    const int64_t scale = fracDigits == 0 ? 1 : fracDigits == 1 ? 10 : fracDigits == 2 ? 100 : 1000;
    const double units = a * 86400.0 * double(scale);
    if (!std::isfinite(units) || units > 9.0e15)
        return QStringLiteral("#NUM!");
    const int64_t total = std::llround(units);
    const int64_t secs = total / scale;
    const int64_t frac = total % scale;
    const int64_t days = secs / 86400;
    const int64_t sod = secs % 86400;
    int64_t hour = sod / 3600;
    const int64_t minute = (sod / 60) % 60, second = sod % 60;

    QDate date;
    if (days >= 61)
        date = QDate(1899, 12, 30).addDays(days);
    else if (days >= 1)
        date = QDate(1899, 12, 31).addDays(days);
    else
        date = QDate(1900, 1, 1);  // day 0: Excel shows 1900-01-00
    const bool dayZero = days == 0;

    QString out;
    if (negative)
        out += u'-';
    const int64_t hour12 = hour % 12 == 0 ? 12 : hour % 12;
    for (const Tok& t : sec.toks) {
        switch (t.type) {
        case Tok::Lit:
            out += t.text;
            break;
        case Tok::Year:
            out += t.count <= 2 ? pad(date.year() % 100, 2) : pad(date.year(), 4);
            break;
        case Tok::Month:
            if (t.count <= 2)
                out += pad(dayZero ? 1 : date.month(), t.count);
            else {
                const QString name = QLocale::c().monthName(dayZero ? 1 : date.month(),
                                                            t.count == 3 ? QLocale::ShortFormat
                                                                         : QLocale::LongFormat);
                out += t.count == 5 ? name.left(1) : name;
            }
            break;
        case Tok::Day:
            if (t.count <= 2)
                out += pad(dayZero ? 0 : date.day(), t.count);
            else
                out += QLocale::c().dayName(date.dayOfWeek(),
                                            t.count == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
            break;
        case Tok::Hour:
            out += pad(sec.hasAmPm ? hour12 : hour, std::min(t.count, 2));
            break;
        case Tok::Minute:
            out += pad(minute, std::min(t.count, 2));
            break;
        case Tok::Second:
            out += pad(second, std::min(t.count, 2));
            break;
        case Tok::ElapsedH:
            out += pad(secs / 3600, t.count);
            break;
        case Tok::ElapsedM:
            out += pad(secs / 60, t.count);
            break;
        case Tok::ElapsedS:
            out += pad(secs, t.count);
            break;
        case Tok::FracSec:
            out += sep;
            out += pad(frac, fracDigits).left(t.count);
            break;
        case Tok::AmPm:
            if (t.count == 5)
                out += hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
            else
                out += hour < 12 ? (t.text == u"a" ? u'a' : u'A') : (t.text == u"a" ? u'p' : u'P');
            break;
        case Tok::General:
            out += generalNumber(v, sep);
            break;
        default:
            break;
        }
    }
    return out;
}

} // namespace

QString builtin(int id) {
    if (id < 0 || id >= int(kBuiltin.size()))
        return {};
    return QString::fromLatin1(kBuiltin[size_t(id)]);
}

int builtinId(const QString& code) {
    for (size_t i = 0; i < kBuiltin.size(); ++i)
        if (kBuiltin[i][0] && code == QLatin1String(kBuiltin[i]))
            return int(i);
    return -1;
}

Kind classify(const QString& code) {
    const Section sec = parseSection(splitSections(code).value(0));
    if (!sec.isDate)
        return Kind::Number;
    for (const Tok& t : sec.toks)
        if (t.type == Tok::Year || t.type == Tok::Month || t.type == Tok::Day)
            return Kind::Date;
    return Kind::Time;
}

QString format(double value, const QString& code, QChar decimalSep) {
    if (!std::isfinite(value))
        return QStringLiteral("#NUM!");
    const QStringList parts = splitSections(code);
    int index = 0;
    bool autoMinus = true;
    if (value < 0 && parts.size() >= 2 && !parts[1].isEmpty()) {
        index = 1;
        autoMinus = false;
    } else if (value == 0 && parts.size() >= 3) {
        index = 2;
    }
    const Section sec = parseSection(parts[index]);
    if (sec.toks.empty())
        return parts[index].isEmpty() && index > 0 ? QString() : generalNumber(value, decimalSep);
    if (sec.isDate)
        return formatDate(autoMinus ? value : std::fabs(value), sec, decimalSep);
    return formatNumber(value, sec, decimalSep, autoMinus);
}

} // namespace cellfmt
