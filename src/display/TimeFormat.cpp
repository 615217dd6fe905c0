#include "TimeFormat.h"

#include <cstdio>
#include <cstdlib>

std::string Zeit_formatieren(uint32_t ms, int digits, char sep) {
    if (ms > 86399999u)
        ms = 0;
    const unsigned h = ms / 3600000u, m = ms / 60000u % 60u, s = ms / 1000u % 60u, f = ms % 1000u;
    char buf[48];
    if (h > 0)
        std::snprintf(buf, sizeof buf, "%u:%02u:%02u%c%03u", h, m, s, sep, f);
    else if (m > 0)
        std::snprintf(buf, sizeof buf, "%u:%02u%c%03u", m, s, sep, f);
    else
        std::snprintf(buf, sizeof buf, "%u,%03u", s, f);
    std::string t(buf);
    if (const size_t comma = t.find(','); comma != std::string::npos)
        t[comma] = sep;
    if (digits < 0)
        digits = 0;
    if (digits > 3)
        digits = 3;
    size_t keep = t.size() - 3 + size_t(digits);
    if (digits == 0)
        --keep;
    t.resize(keep);
    return t;
}

std::string formatDifference(int64_t ms, char sep) {
    const int64_t centi = (std::llabs(ms) + 5) / 10;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%c%lld%c%02lld", ms < 0 ? '-' : '+', static_cast<long long>(centi / 100), sep,
                  static_cast<long long>(centi % 100));
    return buf;
}
