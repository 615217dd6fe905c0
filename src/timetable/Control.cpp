#include "Control.h"

TTimeControl* TimeControl = nullptr;

TTimeControl::TTimeControl(QWidget* parent) : QDialog(parent) {
    TimeControl = this;
    setObjectName("TimeControl");
    setWindowTitle("TimeControl");
    resize(665, 480);
}

void TTimeControl::Sekundenmodus_setzen(bool) {}
