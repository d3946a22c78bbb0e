#include "imaging/KanvoImageExport.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace {

QByteArray formatFor(const QString& path) {
    const QString extension = QFileInfo(path).suffix().toLower();
    return extension == QLatin1String("jpg") || extension == QLatin1String("jpeg")
               ? QByteArrayLiteral("jpeg")
               : QByteArrayLiteral("png");
}

} // namespace

bool KanvoImageExport::write(const QImage& image, const QString& path) {
    if (image.isNull() || path.isEmpty()) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QImageWriter writer(&file, formatFor(path));
    if (!writer.write(image)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
