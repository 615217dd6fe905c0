// The rank's controls; the rank rules are the core's (board/BoardCore.cpp).
#include "console/Disp.h"

#include "timetable/Control.h"
#include "timetable/Spreadsheet.h"

#include <QCheckBox>
#include <QComboBox>

namespace {
const char* const kSuffixes[] = {"", ".", ";", ":", "!"};
} // namespace

TSpreadsheet* Tdisplay::timeTable() const {
    return TimeControl ? TimeControl->TimeTable : nullptr;
}

int Tdisplay::tableTime(int row, int column) {
    syncTable();
    return core_.table() ? core_.tableTime(row, column) : 0;
}

void Tdisplay::RangEndeChange() {
    const int i = RangEnde->currentIndex();
    if (i < 0 || i > 4)
        return;
    BoardOptions o = core_.options();
    o.rankSuffix = kSuffixes[i];
    core_.setOptions(o);
}

void Tdisplay::NummerEndeChange() {
    const int i = NummerEnde->currentIndex();
    if (i >= 0 && i <= 4) {
        BoardOptions o = core_.options();
        o.numberSuffix = kSuffixes[i];
        core_.setOptions(o);
    }
    core_.refreshNumber();
}

void Tdisplay::CheckBoxRClick() {
    core_.change([this](BoardValues& v) { v.rank.visible = CheckBoxR->isChecked(); });
}
