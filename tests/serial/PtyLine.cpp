// Kept apart from <termios.h>: the kernel's struct termios2 comes from
// <asm/termbits.h>, which clashes with the C library's.
#include "PtyLine.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

PtyLine readPtyLine(int fd) {
    PtyLine l;
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return l;
    l.ok = true;
    l.speed = int(t.c_ospeed);
    switch (t.c_cflag & CSIZE) {
    case CS5: l.dataBits = 5; break;
    case CS6: l.dataBits = 6; break;
    case CS7: l.dataBits = 7; break;
    default: l.dataBits = 8; break;
    }
    l.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    if (!(t.c_cflag & PARENB))
        l.parity = 'N';
    else if (t.c_cflag & CMSPAR)
        l.parity = (t.c_cflag & PARODD) ? 'M' : 'S';
    else
        l.parity = (t.c_cflag & PARODD) ? 'O' : 'E';
    l.rtscts = t.c_cflag & CRTSCTS;
    return l;
}

bool isTermiosRead(unsigned long request) { return request == TCGETS || request == TCGETS2; }
bool isTermiosWrite(unsigned long request) {
    return request == TCSETS || request == TCSETSW || request == TCSETSF || request == TCSETS2 ||
           request == TCSETSW2 || request == TCSETSF2;
}
