#pragma once

#include <QDir>
#include <QImage>

// Writes a real PNG of the given size into the folder and returns its path.
inline QString writeTestPng(const QString& folder, int width, int height) {
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(128);
    const QString path = QDir(folder).filePath(QStringLiteral("%1x%2.png").arg(width).arg(height));
    return image.save(path, "PNG") ? path : QString();
}
