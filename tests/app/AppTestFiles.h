#pragma once

#include <QColor>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

// Fixture files for the window tests, written by the test itself.
namespace apptest {

// A solid PNG, whatever the name's extension says.
inline QString writePng(const QTemporaryDir& dir, const QString& name, QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG")) {
        qFatal("could not write %s", qPrintable(path));
    }
    return path;
}

inline QString writeText(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
        qFatal("could not write %s", qPrintable(path));
    }
    return path;
}

} // namespace apptest
