#include "TempDir.h"

#include <QDir>
#include <QFile>

TempWorkDir::TempWorkDir() : previous_(QDir::currentPath()) {
    QDir::setCurrent(dir_.path());
}

TempWorkDir::~TempWorkDir() {
    QDir::setCurrent(previous_);
}

void TempWorkDir::write(const QString& name, const QByteArray& bytes) const {
    QFile f(file(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray TempWorkDir::read(const QString& name) const {
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
