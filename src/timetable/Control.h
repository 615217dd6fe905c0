#pragma once
#include <QDialog>

// Placeholder time table window until the time table work lands.
class TTimeControl : public QDialog {
    Q_OBJECT
public:
    explicit TTimeControl(QWidget* parent = nullptr);
    void Sekundenmodus_setzen(bool f);
};

extern TTimeControl* TimeControl;
