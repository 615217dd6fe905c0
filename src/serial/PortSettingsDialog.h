#pragma once
#include <QDialog>

class QComboBox;

// Line settings of the port: rate, data bits, stop bits. Rate 0 stands for
// "keep the device's own rate" and is offered only when it is the present value.
class PortSettingsDialog : public QDialog {
    Q_OBJECT
public:
    PortSettingsDialog(int baud, int dataBits, int stopBits, QWidget* parent = nullptr);
    int baud() const;
    int dataBits() const;
    int stopBits() const;

    QComboBox* baudList = nullptr;
    QComboBox* dataBitsList = nullptr;
    QComboBox* stopBitsList = nullptr;
};
