// The serial line of the main window: the component, the port list and its
// change handler.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "common/IntValue.h"
#include "input/InputUrl.h"
#include "input/SerialInput.h"
#include "serial/PortListBox.h"
#include "serial/PortSettingsDialog.h"
#include "serial/WComThread.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <chrono>

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

// Items of the port list as "COM<n>" with their device text; the chosen port
// stays listed while its device is away, marked as absent.
struct PortItem {
    QString name;
    QString device;
};

QList<PortItem> presentPorts() {
    QStringList names;
    EnumComDevices(names);
    QList<PortItem> items;
    for (const QString& name : names)
        items.append({name, deviceText(comNumberOfName(name))});
    return items;
}

const QString kAbsent = QStringLiteral("absent");

void describePort(QComboBox* list, int index, const QString& device) {
    list->setItemData(index, device, kDeviceRole);
    const bool absent = device == kAbsent;
    list->setItemData(index, absent ? QStringLiteral("device not present; opened as soon as it appears") : device,
                      Qt::ToolTipRole);
}

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void Tdisplay::createSerialLine() {
    ComThread1 = new TWComThread(this);
    ComThread1->Beep = [](unsigned) { QApplication::beep(); };
    SerialIn = new SerialInput(ComThread1, this);
    connect(SerialIn, &Input::received, this, [this](const QByteArray& bytes) { inputReceived(ComThread1, bytes); });

    COM->clear();
    COM->addItem(QStringLiteral("none"));
    COM->setItemDelegate(new PortItemDelegate(COM));
    refreshPortList();
    COM->setCurrentIndex(0);
    if (auto* box = dynamic_cast<PortListBox*>(COM))
        box->beforePopup = [this] { refreshPortList(); };

    // Devices come and go (USB adapters, a simulator): looked for every 2 s
    // while the setup panel shows, never on the scoreboard.
    portListTimer_ = new QTimer(this);
    portListTimer_->setInterval(2000);
    connect(portListTimer_, &QTimer::timeout, this, [this] {
        if (!Anzeigemodus && !COM->view()->isVisible())
            refreshPortList();
    });
    portListTimer_->start();
}

void Tdisplay::refreshPortList() {
    // Case-insensitive alphabetical order: COM10 comes before COM2.
    QList<PortItem> wanted = presentPorts();
    const QString chosen = COM->currentIndex() > 0 ? COM->currentText() : QString();
    if (!chosen.isEmpty() && !inputurl::isTcp(chosen) && chosen != Tdisplay::networkDeviceItem() &&
        std::none_of(wanted.begin(), wanted.end(), [&](const PortItem& p) { return p.name == chosen; }))
        wanted.append({chosen, kAbsent});
    std::sort(wanted.begin(), wanted.end(), [](const PortItem& a, const PortItem& b) {
        return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
    });
    // Device servers named this session stay listed after the ports, and
    // the entry that names a new one comes last.
    for (int i = 1; i < COM->count(); ++i)
        if (inputurl::isTcp(COM->itemText(i)))
            wanted.append({COM->itemText(i), COM->itemData(i, kDeviceRole).toString()});
    wanted.append({Tdisplay::networkDeviceItem(), QString()});

    bool same = COM->count() == wanted.size() + 1;
    for (int i = 0; same && i < wanted.size(); ++i)
        same = COM->itemText(i + 1) == wanted[i].name && COM->itemData(i + 1, kDeviceRole).toString() == wanted[i].device;
    if (same)
        return;

    const QSignalBlocker quiet(COM);
    while (COM->count() > 1)
        COM->removeItem(1);
    for (const PortItem& p : wanted) {
        COM->addItem(p.name);
        describePort(COM, COM->count() - 1, p.device);
    }
    COM->setItemData(COM->count() - 1, QStringLiteral("a serial device server on the network (host:port)"),
                     Qt::ToolTipRole);
    const int index = chosen.isEmpty() ? 0 : COM->findText(chosen, Qt::MatchExactly);
    COM->setCurrentIndex(index > 0 ? index : 0);
    COM->view()->setMinimumWidth(COM->view()->sizeHintForColumn(0) + 8);
}

void Tdisplay::selectStoredPort(int n, const QByteArray& text) {
    ComThread1->setPort(n);
    // The entry is found by the value exactly as written ("COM 3" -> COM3).
    const QString name = QStringLiteral("COM") + QString::fromLatin1(text);
    int index = COM->findText(name, Qt::MatchExactly);
    if (index <= 0 && n >= 1 && n <= 99 && text == QByteArray::number(n)) {
        // The device is late (a USB adapter plugged in after the start): the
        // operator's choice stays, listed as absent, and is saved as it was.
        COM->addItem(name);
        describePort(COM, COM->count() - 1, kAbsent);
        COM->setCurrentIndex(COM->count() - 1);
        refreshPortList();  // into its sorted place
        index = COM->findText(name, Qt::MatchExactly);
    }
    COM->setCurrentIndex(index > 0 ? index : 0);
}

qint64 Tdisplay::msSinceLastLine() const {
    const qint64 at = core_.lastLineAt();
    return at < 0 ? -1 : std::max<qint64>(0, steadyMs() - at);
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
    if (COM->currentIndex() > 0 && followUrl.isEmpty())  // a follower opens no port
        COMChange();
}

void Tdisplay::closeSerialLine() {
    closeNetworkInput();
    if (ComThread1 && (ComThread1->ok() || ComThread1->Reconnecting()))
        ComThread1->ClosePort();
}

void Tdisplay::COMChange() {
    TWComThread& com = *ComThread1;
    if (COM->currentText() == Tdisplay::networkDeviceItem()) {
        chooseNetworkDevice();
        return;
    }
    closeNetworkInput();
    if (inputurl::isTcp(COM->currentText())) {
        if (com.ok() || com.Reconnecting())
            com.ClosePort();
        openNetworkInput(COM->currentText());
        return;
    }
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
    if (com.ok()) {
        updateStatusLine();
        return;
    }

    // The words for the failed port, before reopening the old one replaces them.
    const QString failure = com.LastErrorWords();
    com.ClosePort();
    if (old <= 0) {
        // Nothing was open before: the chosen entry stays, no message; the
        // port opens as soon as it can (device plugged in, other program
        // gone), and the status line tells why it is not open yet.
        com.Reconnect();
        updateStatusLine();
        return;
    }
    com.setPort(old);
    // The previous device again; if it is away (or went away just now) it is
    // waited for, never swapped for another device of the same number.
    com.Reconnect();
    const int index = COM->findText(QStringLiteral("COM%1").arg(old), Qt::MatchExactly);
    if (index >= 0)
        COM->setCurrentIndex(index);
    updateStatusLine();
    Dialogs::current().error(this, failure);
}

void Tdisplay::PortSettingsClick() {
    TWComThread& com = *ComThread1;
    if (NetInput) {
        Dialogs::current().error(this, QStringLiteral("The port settings do not apply to a network device: "
                                                      "its device server sets the serial line's rate and bits."));
        return;
    }
    PortSettingsDialog dialog(com.Baud(), com.DataBitsCount(), com.StopBits() == comcode::StopTwo ? 2 : 1, this);
    if (Dialogs::current().exec(&dialog) != QDialog::Accepted)
        return;
    // Each setter reaches the open device at once; a closed port takes them
    // when it opens.
    const bool applied = com.SetBaudRate(comcode::rateCode(dialog.baud())), bits = com.SetDataBits(TWComThread::DataBitsCode(dialog.dataBits())),
               stop = com.SetStopBits(dialog.stopBits() == 2 ? comcode::StopTwo : comcode::StopOne);
    Einstellungen_speichern();
    updateStatusLine();
    if (!(applied && bits && stop))
        Dialogs::current().error(this, com.LastErrorWords());
}
