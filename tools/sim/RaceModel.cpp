#include "RaceModel.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <random>

namespace sim {

QByteArray timeText(int64_t ms) {
    if (ms < 0)
        ms = 0;
    ms %= 100LL * 3600 * 1000;
    const int64_t h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, f = ms % 1000;
    QByteArray t = QByteArray::number(h).rightJustified(2, '0') + ':' + QByteArray::number(m).rightJustified(2, '0') +
                   ':' + QByteArray::number(s).rightJustified(2, '0') + '.' +
                   QByteArray::number(f).rightJustified(3, '0');
    // Blank leading zeros and separators up to the units of seconds (index 7).
    for (int i = 0; i < 7 && (t[i] == '0' || t[i] == ':'); ++i)
        t[i] = ' ';
    return t;
}

QByteArray normalLine(int startNumber, char kind, int64_t ms, int rank) {
    QByteArray line = startNumber > 0 ? QByteArray::number(startNumber % 1000).rightJustified(3, ' ')
                                      : QByteArray(3, ' ');
    line += kind;
    line += "    ";
    line += timeText(ms);
    line += rank > 0 ? QByteArray::number(rank % 100).rightJustified(2, ' ') : QByteArray(2, ' ');
    return line;
}

namespace {

struct Runner {
    int number = 0;
    int64_t start = 0, a = 0, b = 0, finish = 0;  // absolute ms from race start
};

int rankAmong(const std::vector<int64_t>& times, int64_t t) {
    return 1 + int(std::count_if(times.begin(), times.end(), [t](int64_t o) { return o < t; }));
}

} // namespace

std::vector<TimedLine> raceLines(const RaceOptions& options) {
    std::mt19937 rng(options.seed);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int count = std::clamp(options.runners, 1, 99);

    // Distinct start numbers, in a random order, from the range the time
    // table knows (numbers repeat only when there are more runners than numbers).
    const int highest = std::clamp(options.highestNumber, 1, 999);
    std::vector<int> pool(static_cast<size_t>(highest));
    std::iota(pool.begin(), pool.end(), 1);
    std::shuffle(pool.begin(), pool.end(), rng);
    std::vector<int> numbers;
    for (int i = 0; i < count; ++i)
        numbers.push_back(pool[size_t(i % highest)]);

    std::vector<Runner> runners;
    int64_t start = 2000;
    for (int i = 0; i < count; ++i) {
        Runner r;
        r.number = numbers[size_t(i)];
        r.start = start;
        const int64_t course = uniform(25000, 45000) + uniform(0, 999);
        r.a = r.start + course * uniform(30, 36) / 100 + uniform(0, 999);
        r.b = r.start + course * uniform(63, 69) / 100 + uniform(0, 999);
        r.finish = r.start + course;
        runners.push_back(r);
        start += uniform(6000, 10000);
    }
    const int anonymous = uniform(0, count - 1);

    std::vector<TimedLine> out;
    auto add = [&](int64_t at, QByteArray line) { out.push_back({at, std::move(line)}); };

    // Board J announces the race: start number places 2..4 blank, free text.
    add(0, QByteArray("J   ") + QByteArray("   START LIST ") + QByteArray::number(count).rightJustified(3, ' ') +
               "  ");

    // Running times of the latest runner on course, ten times a second.
    const int64_t end = std::max_element(runners.begin(), runners.end(), [](const Runner& x, const Runner& y) {
                            return x.finish < y.finish;
                        })->finish;
    for (int64_t t = runners.front().start; t < end; t += 100) {
        const Runner* current = nullptr;
        for (const Runner& r : runners)
            if (r.start <= t && t < r.finish)
                current = &r;  // the latest started wins
        if (current)
            add(t, normalLine(current->number, '.', t - current->start, 0));
    }

    std::vector<int64_t> aTimes, bTimes, finishTimes;
    struct Event {
        int64_t at;
        int runner;
        char channel;
    };
    std::vector<Event> events;
    for (int i = 0; i < count; ++i) {
        events.push_back({runners[size_t(i)].a, i, 'A'});
        events.push_back({runners[size_t(i)].b, i, 'B'});
        events.push_back({runners[size_t(i)].finish, i, 'C'});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& x, const Event& y) { return x.at < y.at; });
    for (const Event& e : events) {
        const Runner& r = runners[size_t(e.runner)];
        const int64_t split = e.at - r.start;
        std::vector<int64_t>& times = e.channel == 'A' ? aTimes : e.channel == 'B' ? bTimes : finishTimes;
        const int rank = rankAmong(times, split);
        times.push_back(split);
        const QByteArray line = normalLine(r.number, e.channel, split, rank);
        if (e.channel != 'C') {
            add(e.at, line);
            continue;
        }
        add(e.at, line);
        // Results are sent again, and to the addressed boards.
        add(e.at + 1000, line);
        add(e.at + 1500, QByteArray("A") + line);
        add(e.at + 2000, line);
        add(e.at + 2500, QByteArray("B") + line);
    }
    std::stable_sort(out.begin(), out.end(), [](const TimedLine& x, const TimedLine& y) { return x.atMs < y.atMs; });

    // One finish comes without start number: the finish impulse before the
    // device knows who it was. The scoreboard gives such a line the number
    // of the last normal line, so a device sends it only for the runner
    // whose running time went last (no other runner's line, and no line for
    // board A, which forgets the number, in between). The drawn runner, or
    // the next one for whom that holds; none when it holds for nobody.
    auto finishIndex = [&](int runner) -> std::optional<size_t> {
        const Runner& r = runners[size_t(runner)];
        const int64_t split = r.finish - r.start;
        for (size_t i = 0; i < out.size(); ++i)
            if (out[i].atMs == r.finish && out[i].line.size() > 3 && out[i].line[3] == 'C' &&
                out[i].line.left(3) == normalLine(r.number, 'C', split, 0).left(3))
                return i;
        return std::nullopt;
    };
    for (int k = 0; k < count; ++k) {
        const int runner = (anonymous + k) % count;
        const auto at = finishIndex(runner);
        if (!at)
            continue;
        size_t before = *at;
        while (before > 0 && out[before - 1].line[0] >= 'B' && out[before - 1].line[0] <= 'J')
            --before;  // other boards' lines leave the number alone
        if (before == 0)
            continue;
        const QByteArray& last = out[before - 1].line;
        if (last.size() < 4 || last[3] != '.' || last.left(3) != out[*at].line.left(3))
            continue;
        QByteArray& line = out[*at].line;
        line.replace(0, 3, "A  ");
        line[3] = 'F';
        break;
    }
    return out;
}

} // namespace sim
