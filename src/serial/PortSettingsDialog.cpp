#include "serial/PortSettingsDialog.h"

#include "serial/ComPort.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>

namespace {
QComboBox* list(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    return box;
}
void select(QComboBox* box, int value) {
    const int i = box->findData(value);
    box->setCurrentIndex(i >= 0 ? i : 0);
}
} // namespace

PortSettingsDialog::PortSettingsDialog(int baud, int dataBits, int stopBits, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PortSettingsDialog"));
    setWindowTitle(QStringLiteral("Port settings"));
    baudList = list(this, "PortBaud");
    if (comcode::rateCode(baud) == 0)
        baudList->addItem(QStringLiteral("as the device is set"), 0);
    for (int code = 1; comcode::rateOfCode(code) > 0; ++code)
        baudList->addItem(QString::number(comcode::rateOfCode(code)), comcode::rateOfCode(code));
    select(baudList, comcode::rateCode(baud) ? baud : 0);
    dataBitsList = list(this, "PortDataBits");
    for (int n : {7, 8})
        dataBitsList->addItem(QString::number(n), n);
    select(dataBitsList, dataBits == 7 ? 7 : 8);
    stopBitsList = list(this, "PortStopBits");
    for (int n : {1, 2})
        stopBitsList->addItem(QString::number(n), n);
    select(stopBitsList, stopBits == 2 ? 2 : 1);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Baud rate"), baudList);
    form->addRow(QStringLiteral("Data bits"), dataBitsList);
    form->addRow(QStringLiteral("Stop bits"), stopBitsList);
    auto* parity = new QLabel(QStringLiteral("none"), this);
    parity->setTextFormat(Qt::PlainText);
    form->addRow(QStringLiteral("Parity"), parity);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("PortSettingsButtons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

int PortSettingsDialog::baud() const { return baudList->currentData().toInt(); }
int PortSettingsDialog::dataBits() const { return dataBitsList->currentData().toInt(); }
int PortSettingsDialog::stopBits() const { return stopBitsList->currentData().toInt(); }
