#pragma once

// The line settings a terminal holds now, read from the kernel (TCGETS2, so
// rates outside the classic table read back too). On a pseudo-terminal the
// master end reports the slave's settings: what the program set.
struct PtyLine {
    bool ok = false;
    int speed = 0;      // output rate in bits per second
    int dataBits = 0;   // 5..8
    int stopBits = 0;   // 1 or 2
    char parity = '?';  // N, O, E, M (mark), S (space)
    bool rtscts = false;
};
PtyLine readPtyLine(int fd);

// What the program first handed to the driver of `device` (its c_cflag)
// since clearRequested, as seen by an interposed tcsetattr; speed is not
// filled in. Needed for data bits and parity: a pseudo-terminal's driver
// forces 8 bits and no parity, so later read-modify-write calls of the
// program's port layer send those back (a serial driver keeps them).
class QString;
PtyLine requestedLine(const QString& device);
void clearRequested(const QString& device);

// The ioctl requests that read or write a terminal's settings.
bool isTermiosRead(unsigned long request);
bool isTermiosWrite(unsigned long request);
