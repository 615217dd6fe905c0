// The journal of received lines (protocol/Journal.h), fed by the core as
// each line arrives. Only a hand-over to the writer thread happens here:
// the board never waits for the disk.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "protocol/Journal.h"

#include <QDir>
#include <QPointer>

void Tdisplay::lineToJournal(const QByteArray& line, qint64 at) {
    if (!journal_) {
        QPointer<Tdisplay> self(this);
        journal_ = std::make_shared<LineJournal>(QDir::currentPath(), [self](const QString& why) {
            // runs on the writer thread: the message goes to the window's own
            QMetaObject::invokeMethod(self.data(), [self, why] {
                if (!self)
                    return;
                if (why.isEmpty())
                    Dialogs::current().withdrawNotice(QStringLiteral("journal"));
                else
                    Dialogs::current().notice(self, QStringLiteral("journal"),
                                              QStringLiteral("Could not write the journal of received lines: %1").arg(why));
            }, Qt::QueuedConnection);
        });
    }
    journal_->append(line, at);
}
