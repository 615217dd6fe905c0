#include "settings/SettingsKeys.h"

#include "console/Disp.h"
#include "serial/WComThread.h"

#include <QComboBox>

namespace settingskeys {
namespace {

QByteArray num(int v) { return QByteArray::number(v); }

// ---- serial line ----------------------------------------------------------

void applyCom(Tdisplay& d, int n, const QByteArray& text) {
    if (n <= 0)
        return;
    d.ComThread1->setPort(n);
    // The entry is found by the value exactly as written ("COM 3" -> COM3).
    const int index = d.COM->findText(QStringLiteral("COM") + QString::fromLatin1(text), Qt::MatchExactly);
    d.COM->setCurrentIndex(index > 0 ? index : 0);
}
QByteArray storeCom(const Tdisplay& d) {
    return d.COM->currentIndex() > 0 ? d.COM->currentText().mid(3).toLatin1() : QByteArray("0");
}

void applyBaud(Tdisplay& d, int n, const QByteArray&) { d.ComThread1->setBaud(n); }
QByteArray storeBaud(const Tdisplay& d) { return num(d.ComThread1->Baud()); }

void applyDataBits(Tdisplay& d, int n, const QByteArray&) { d.ComThread1->setDataBitsCount(n == 7 ? 7 : 8); }
QByteArray storeDataBits(const Tdisplay& d) { return d.ComThread1->DataBitsCount() == 7 ? "7" : "8"; }

void applyStopBits(Tdisplay& d, int n, const QByteArray&) {
    d.ComThread1->SetStopBits(n == 2 ? comcode::StopTwo : comcode::StopOne);
}
QByteArray storeStopBits(const Tdisplay& d) { return d.ComThread1->StopBits() == comcode::StopTwo ? "2" : "1"; }

const Row kRows[] = {
    {"COM", Kind::Number, "0", 0, applyCom, storeCom},
    {"BAUD", Kind::Number, "2400", 2400, applyBaud, storeBaud},
    {"DATABITS", Kind::Number, "8", 8, applyDataBits, storeDataBits},
    {"STOPBITS", Kind::Number, "1", 1, applyStopBits, storeStopBits},
};

} // namespace

std::span<const Row> table() { return kRows; }

} // namespace settingskeys
