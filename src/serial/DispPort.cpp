// The serial line of the main window: the component, the port list and its
// change handler.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "common/IntValue.h"
#include "serial/WComThread.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QStyledItemDelegate>

namespace {

constexpr int kDeviceRole = Qt::UserRole + 1;

// Shows each port's device beside its name in the open list; the item text
// stays "COM<n>", which the port selection and disp.ini compare.
class PortItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString device = index.data(kDeviceRole).toString();
        if (!device.isEmpty())
            option->text += QStringLiteral("  ") + device;
    }
};

QString deviceText(int n) {
    const QString path = comDevicePath(n);
    const QFileInfo fi(path);
    return fi.isSymLink() ? path + QStringLiteral(" -> ") + fi.symLinkTarget() : path;
}

} // namespace

void Tdisplay::createSerialLine() {
    ComThread1 = new TWComThread(this);
    ComThread1->Beep = [](unsigned) { QApplication::beep(); };
    ComThread1->OnPacketReceived = [this](TWComThread* sender, const QByteArray& buffer) {
        ComThread1PacketReceived(sender, buffer);
    };

    // Case-insensitive alphabetical order: COM10 comes before COM2.
    QStringList ports;
    EnumComDevices(ports);
    ports.sort(Qt::CaseInsensitive);
    COM->clear();
    COM->addItem(QStringLiteral("none"));
    for (const QString& name : ports) {
        COM->addItem(name);
        const QString device = deviceText(comNumberOfName(name));
        COM->setItemData(COM->count() - 1, device, kDeviceRole);
        COM->setItemData(COM->count() - 1, device, Qt::ToolTipRole);
    }
    COM->setItemDelegate(new PortItemDelegate(COM));
    COM->view()->setMinimumWidth(COM->view()->sizeHintForColumn(0) + 8);
    COM->setCurrentIndex(0);
}

void Tdisplay::setSerialDefaults() {
    ComThread1->setBaud(2400);
    ComThread1->setPort(1);
    ComThread1->setDataBitsCount(8);
    ComThread1->SetStopBits(comcode::StopOne);
    ComThread1->setPacketSize(1);
    ComThread1->SetParity(comcode::ParityNone);
}

void Tdisplay::openStoredPort() {
    if (COM->currentIndex() > 0)
        COMChange();
}

void Tdisplay::closeSerialLine() {
    if (ComThread1 && (ComThread1->ok() || ComThread1->Reconnecting()))
        ComThread1->ClosePort();
}

void Tdisplay::COMChange() {
    TWComThread& com = *ComThread1;
    const int n = COM->currentIndex() > 0 ? intValue(COM->currentText().mid(3), 0) : 0;

    // A port whose device went away is still the operator's choice.
    int old = 0;
    if (com.ok() || com.Reconnecting()) {
        com.ClosePort();
        old = com.Port();
    }
    if (n == 0)
        return;

    com.setPort(n);
    com.OpenPort();
    if (com.ok())
        return;

    // The text of the failed port, before reopening the old one replaces it.
    const QString failure = com.LastError();
    com.ClosePort();
    com.setPort(old);
    if (old <= 0)
        return;  // nothing was open before: the chosen entry stays, no message
    // The previous device again; if it is away (or went away just now) it is
    // waited for, never swapped for another device of the same number.
    com.Reconnect();
    const int index = COM->findText(QStringLiteral("COM%1").arg(old), Qt::MatchExactly);
    if (index >= 0)
        COM->setCurrentIndex(index);
    Dialogs::current().error(this, failure);
}
