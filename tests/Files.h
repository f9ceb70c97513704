#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>

// Writes the file whole, in place when it exists, making its folder; returns its path.
inline QString writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path()); // the write tells whether the folder is there
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The file's bytes; none when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
