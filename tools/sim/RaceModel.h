#pragma once
#include <QByteArray>
#include <cstdint>
#include <vector>

// A timing device's view of one race: the lines it sends and when.
namespace sim {

struct TimedLine {
    int64_t atMs;     // from the start of the race
    QByteArray line;  // without the terminating CR
};

// 12 bytes "HH:MM:SS.fff" with leading zero places (and their separators)
// as blanks; the units of seconds are always shown.
QByteArray timeText(int64_t ms);
// Normal line: start number at 1..3 (blanks for 0), kind letter at 4,
// time at 9..20, rank at 21..22 (blanks for 0): 22 bytes.
QByteArray normalLine(int startNumber, char kind, int64_t ms, int rank);

struct RaceOptions {
    int runners = 6;
    uint32_t seed = 1;
    // Start numbers are drawn from 1 to this (the demo time table names 30 runners).
    int highestNumber = 30;
};

// Runners start one after another; each sends running times ('.' at 4)
// ten times a second while it is the latest runner on course, intermediate
// times on channels A and B and a finish time on C, with ranks. Results are
// repeated as real devices do, copied to the addressed boards 'A' and 'B'.
// A finish comes without start number ('A' at 1, 'F' at 4) at most once a
// race, and only right after the same runner's running time: the one way
// the scoreboard, which gives it the number of the last normal line, files
// it under the right runner.
std::vector<TimedLine> raceLines(const RaceOptions& options);

} // namespace sim
