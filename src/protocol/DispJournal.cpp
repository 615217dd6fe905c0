// The journal of received lines (protocol/Journal.h), fed from the line
// handler. Only a hand-over to the writer thread happens here: the board
// never waits for the disk.
#include "console/Disp.h"

#include "common/Dialogs.h"
#include "display/RaceEvents.h"
#include "protocol/Journal.h"
#include "protocol/LineGatherer.h"

#include <QDir>
#include <QPointer>

void Tdisplay::journalByte(char b) {
    // A gatherer of its own sees each byte as it arrives, also while a prompt
    // holds the line under dispatch back, so the time is the arrival's.
    if (gatherByte(journalLine_, journalCount_, b) != Gathered::Complete)
        return;
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
    const QByteArray line(journalLine_.data(), qsizetype(journalLine_.size()));
    const qint64 at = QDateTime::currentMSecsSinceEpoch();
    journal_->append(line, at);
    if (raceListener_)
        raceListener_->lineReceived(line, at);
    journalLine_.clear();
    journalCount_ = 0;
}
