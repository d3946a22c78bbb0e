#include "kit/KanvoGlyphCache.h"

#include "kit/KanvoSymbols.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QSaveFile>
#include <QStandardPaths>
#include <array>
#include <cstring>

namespace {

constexpr std::array kWindowIconSizes{16, 32, 64, 128};

// What the glyphs depend on besides their keys: Qt, which renders them; the
// executable, whose resources and drawing code change with each build; and
// the icon themes' index and cache files, which every change of an installed
// theme rewrites.
QByteArray currentIdentity() {
    QStringList files{QCoreApplication::applicationFilePath()};
    for (const QString& folder : QIcon::themeSearchPaths()) {
        for (const QString& theme : {QIcon::themeName(), QIcon::fallbackThemeName()}) {
            files << folder + '/' + theme + QStringLiteral("/index.theme")
                  << folder + '/' + theme + QStringLiteral("/icon-theme.cache");
        }
    }
    QByteArray identity = "Qt " QT_VERSION_STR;
    for (const QString& file : files) {
        const QFileInfo info(file);
        if (info.exists()) {
            identity += '\n' + file.toUtf8() + ' ' + QByteArray::number(info.size()) + ' ' +
                        QByteArray::number(info.lastModified().toMSecsSinceEpoch());
        }
    }
    return identity;
}

KanvoGlyph stored(const QImage& drawn) {
    if (drawn.isNull()) {
        return {};
    }
    const QImage image = drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    KanvoGlyph glyph{quint16(image.width()), quint16(image.height()), {}};
    glyph.pixels.reserve(qsizetype(image.width()) * image.height() * 4);
    for (int y = 0; y < image.height(); ++y) {
        glyph.pixels.append(reinterpret_cast<const char*>(image.constScanLine(y)),
                            qsizetype(image.width()) * 4);
    }
    return glyph;
}

QImage restored(const KanvoGlyph& glyph) {
    if (glyph.width == 0 || glyph.height == 0) {
        return {};
    }
    QImage image(glyph.width, glyph.height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(image.scanLine(y), glyph.pixels.constData() + qsizetype(y) * glyph.width * 4,
                    std::size_t(glyph.width) * 4);
    }
    return image;
}

QImage tintedImage(const QString& symbol, const QColor& tint, QSize size, qreal ratio) {
    const QIcon icon = KanvoSymbols::icon(symbol);
    if (icon.isNull()) {
        return {};
    }
    QPixmap glyph = icon.pixmap(size, ratio);
    QPainter painter(&glyph);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(glyph.rect(), tint);
    painter.end();
    return glyph.toImage();
}

} // namespace

KanvoGlyphCache& KanvoGlyphCache::shared() {
    static KanvoGlyphCache cache(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                                     QStringLiteral("/glyphs"),
                                 currentIdentity());
    return cache;
}

KanvoGlyphCache::KanvoGlyphCache(QString path, QByteArray identity) : path_(std::move(path)) {
    QFile file(path_);
    if (file.open(QIODevice::ReadOnly)) {
        if (std::optional<KanvoGlyphFile> read = KanvoGlyphFile::decoded(file.readAll());
            read && read->identity == identity) {
            file_ = std::move(*read);
        }
    }
    file_.identity = std::move(identity);
}

QIcon KanvoGlyphCache::tinted(const QString& symbol, const QColor& tint, QSize size) {
    const qreal ratio = qApp->devicePixelRatio();
    const QByteArray key = QStringLiteral("%1|%2|%3x%4@%5")
                               .arg(symbol, tint.name(QColor::HexArgb))
                               .arg(size.width())
                               .arg(size.height())
                               .arg(ratio)
                               .toUtf8();
    QImage image = glyph(key, [&] { return tintedImage(symbol, tint, size, ratio); });
    if (image.isNull()) {
        return {};
    }
    image.setDevicePixelRatio(ratio);
    return QIcon(QPixmap::fromImage(std::move(image)));
}

QIcon KanvoGlyphCache::windowIcon(const QString& file) {
    QIcon icon;
    for (const int size : kWindowIconSizes) {
        const QByteArray key = QStringLiteral("window|%1|%2").arg(file).arg(size).toUtf8();
        const QImage image = glyph(key, [&] { return QIcon(file).pixmap(size, 1.0).toImage(); });
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QImage KanvoGlyphCache::glyph(const QByteArray& key, const std::function<QImage()>& draw) {
    if (const auto kept = file_.glyphs.constFind(key); kept != file_.glyphs.cend()) {
        return restored(*kept);
    }
    const QImage image = draw();
    file_.glyphs.insert(key, stored(image));
    drawn_ = true;
    return image;
}

void KanvoGlyphCache::save() {
    if (!drawn_) {
        return;
    }
    QDir().mkpath(QFileInfo(path_).path());
    QSaveFile file(path_);
    if (file.open(QIODevice::WriteOnly) && file.write(file_.encoded()) >= 0 && file.commit()) {
        drawn_ = false;
    }
}
