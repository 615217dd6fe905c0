// Where the main window's bytes come from: the serial line (ComThread1 as an
// input) or a serial device server on the network, chosen in the port list.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "input/InputUrl.h"
#include "input/SerialInput.h"
#include "input/TcpInput.h"
#include "serial/WComThread.h"

#include <QComboBox>
#include <QPushButton>

#include <chrono>
#include <memory>

namespace {

const QString kLostNotice = QStringLiteral("network-input");
const QString kUrlNotice = QStringLiteral("network-url");

void selectEntry(QComboBox* list, const QString& text) {
    const int index = text.isEmpty() ? 0 : list->findText(text, Qt::MatchExactly);
    list->setCurrentIndex(index > 0 ? index : 0);
}

// The entry of a device server, listed before "Network device…".
void addNetworkEntry(QComboBox* list, const QString& url) {
    if (list->findText(url, Qt::MatchExactly) < 0) {
        const int last = list->count() - 1;
        list->insertItem(last >= 1 && list->itemText(last) == Tdisplay::networkDeviceItem() ? last : list->count(), url);
    }
    selectEntry(list, url);
}

} // namespace

QString Tdisplay::networkDeviceItem() { return QStringLiteral("Network device…"); }

void Tdisplay::inputReceived(QObject* sender, const QByteArray& bytes) {
    // The board core gathers the lines (and counts them for the status line);
    // it takes one byte a call, as the serial line delivers them.
    if (bytes.size() == 1) {
        ComThread1PacketReceived(sender, bytes);
        return;
    }
    for (const char b : bytes)
        ComThread1PacketReceived(sender, QByteArray(1, b));
}

void Tdisplay::openNetworkInput(const QString& url) {
    closeNetworkInput();
    QString why;
    const std::optional<TcpTarget> target = inputurl::parseTcp(url, &why);
    if (!target) {
        Dialogs::current().notice(this, kUrlNotice, QStringLiteral("No network device opened: %1.").arg(why));
        updateStatusLine();
        return;
    }
    Dialogs::current().withdrawNotice(kUrlNotice);
    NetInput = new TcpInput(*target, this);
    TcpInput* input = NetInput;
    connect(input, &Input::received, this, [this, input](const QByteArray& bytes) { inputReceived(input, bytes); });
    // One notice when a working link is lost, none for each attempt after it;
    // it goes when the link is back.
    struct Link {
        bool connected = false, lost = false;
    };
    auto link = std::make_shared<Link>();
    connect(input, &Input::stateChanged, this, [this, input, link] {
        const Input::State s = input->state();
        if (s.phase == Input::Phase::Connected) {
            if (link->lost)
                Dialogs::current().withdrawNotice(kLostNotice);
            *link = {true, false};
        } else if (s.phase == Input::Phase::Waiting && link->connected) {
            *link = {false, true};
            Dialogs::current().notice(
                this, kLostNotice,
                QStringLiteral("The connection to the device server %1 was lost: %2. The board runs on and "
                               "connects again by itself; the status line shows how it stands.")
                    .arg(s.where, s.why));
        }
        updateStatusLine();
    });
    PortSettings->setEnabled(false);
    PortSettings->setToolTip(QStringLiteral("A network device's serial line is set on its device server."));
    input->open();
    updateStatusLine();
}

void Tdisplay::closeNetworkInput() {
    if (!NetInput)
        return;
    TcpInput* input = NetInput;
    NetInput = nullptr;
    input->disconnect(this);
    input->close();
    input->deleteLater();  // may be inside one of its own signals
    Dialogs::current().withdrawNotice(kLostNotice);
    PortSettings->setEnabled(true);
    PortSettings->setToolTip(QString());
}

void Tdisplay::chooseNetworkDevice() {
    // What was in use stays chosen unless a good address is given.
    const QString before = NetInput ? NetInput->target().url()
                           : ComThread1->ok() || ComThread1->Reconnecting() ? QStringLiteral("COM%1").arg(ComThread1->Port())
                                                                            : QString();
    // The list names what is in use while the operator types (a save
    // meanwhile keeps it).
    selectEntry(COM, before);
    const std::optional<QString> text =
        Dialogs::current().askText(this, networkDeviceItem(),
                                   QStringLiteral("The device server's address and port (host:port):"),
                                   NetInput ? NetInput->target().url().mid(6) : QString());
    if (!text || text->trimmed().isEmpty())
        return;
    QString why;
    const std::optional<TcpTarget> target = inputurl::parseTcp(*text, &why, true);
    if (!target) {
        Dialogs::current().notice(this, kUrlNotice, QStringLiteral("No network device opened: %1.").arg(why));
        return;
    }
    addNetworkEntry(COM, target->url());
    COMChange();
}

void Tdisplay::selectStoredUrl(const QByteArray& text) {
    QString why;
    const std::optional<TcpTarget> target = inputurl::parseTcp(QString::fromUtf8(text), &why);
    if (!target) {
        // The file is kept as it is read; the list stays where it was.
        Dialogs::current().notice(this, kUrlNotice,
                                  QStringLiteral("disp.ini: the COM key names no network device: %1.").arg(why));
        return;
    }
    addNetworkEntry(COM, target->url());
}
