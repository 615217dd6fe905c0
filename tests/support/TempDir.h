#pragma once
#include <QString>
#include <QTemporaryDir>

// A fresh temporary folder that is also the working directory while the
// object lives (the program reads and writes its files there).
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;

private:
    QTemporaryDir dir_;
    QString previous_;
};
