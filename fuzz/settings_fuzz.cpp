// Arbitrary bytes as disp.ini: reading applies them to the main window, and
// what is written back must read and write back to the same bytes.
#include "console/Disp.h"
#include "console/Headless.h"

#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

Tdisplay* window = nullptr;

QByteArray saved() {
    window->Einstellungen_speichern();
    QFile f(QStringLiteral("disp.ini"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    headless::startApplication(*argc, *argv);
    window = headless::createWindows();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        QFile f(QStringLiteral("disp.ini"));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    // The first load may still move values: a text field's background takes
    // its shadow colour (Text<n>BKColor is read after Text<n>Color). From
    // then on what is written must read and write back to the same bytes.
    window->Einstellungen_laden();
    saved();
    window->Einstellungen_laden();
    const QByteArray first = saved();
    window->Einstellungen_laden();
    const QByteArray second = saved();
    if (first != second) {
        std::fprintf(stderr, "disp.ini does not round-trip:\n%s\n---\n%s\n", first.constData(), second.constData());
        std::abort();
    }
    return 0;
}
