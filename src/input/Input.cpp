#include "input/Input.h"

QString Input::describe(const State& s) {
    switch (s.phase) {
    case Phase::Closed: return s.where + QStringLiteral(": closed");
    case Phase::Connecting: return s.where + QStringLiteral(": connecting");
    case Phase::Connected: return s.where + QStringLiteral(": connected");
    case Phase::Waiting: break;
    }
    QString text = s.where + QStringLiteral(": ") + (s.why.isEmpty() ? QStringLiteral("not connected") : s.why);
    if (s.retryInMs == 0)
        text += QStringLiteral(" - retrying now");
    else if (s.retryInMs > 0)
        text += QStringLiteral(" - retry in %1 s").arg((s.retryInMs + 999) / 1000);
    return text;
}
