#pragma once
#include <QByteArray>
#include <QString>

namespace language {

// Why `bytes` cannot be a language file (8-bit text, one text a line), in
// words for the operator; empty when it may be one.
QString fileProblem(const QByteArray& bytes);

} // namespace language
