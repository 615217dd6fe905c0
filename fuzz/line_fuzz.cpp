// Arbitrary bytes through the main window's line path: gathering, dispatch,
// boards and the time digits, with settings chosen by the first bytes.
#include "console/Disp.h"
#include "console/Headless.h"

#include <QCheckBox>
#include <QComboBox>

#include <cstdint>
#include <cstdlib>

namespace {

Tdisplay* window = nullptr;

void choose(QComboBox* list, uint8_t byte) {
    list->setCurrentIndex(byte % list->count());
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    headless::startApplication(*argc, *argv);
    window = headless::createWindows();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    Tdisplay& w = *window;
    choose(w.ZeitDarstellung, data[0]);
    w.ZeitDarstellungChange();
    choose(w.Genauigkeit, data[0] >> 4);
    w.GenauigkeitChange();
    w.SecMode->setChecked(data[1] & 1);
    w.CheckBoxZ->setChecked(!(data[1] & 2));
    choose(w.AdrNummer, data[1] >> 2);
    for (int i = 0; i < 4; ++i) {
        choose(w.Tafel[i].Adresse, data[2] + i);
        choose(w.Tafel[i].VonZeichen, data[3] >> i);
        choose(w.Tafel[i].AnzZeichen, data[3] + 7 * i);
    }
    for (size_t i = 4; i < size; ++i)
        w.ComThread1PacketReceived(nullptr, QByteArray(1, char(data[i])));
    // Gathering state must stay inside its bounds whatever arrived.
    if (w.core().gathering().size() > 24 || !w.core().state().Zeile.empty() || w.core().heldLineCount() != 0)
        std::abort();
    return 0;
}
