// Decoding, the representations pyramid and canvas repaint, each beside the
// baseline it is judged against, measured in the same run.
#include "BenchImages.h"
#include "canvas/KanvoCanvasDrawing.h"
#include "canvas/KanvoCanvasView.h"
#include "canvas/KanvoImageFit.h"
#include "imaging/KanvoAllocation.h"
#include "imaging/KanvoImage.h"
#include "imaging/KanvoImageDecodeService.h"
#include "imaging/KanvoImageFile.h"
#include "imaging/jpeg/KanvoJpegDecoder.h"
#include "kanvo/ui/document_session.h"
#include "kit/KanvoFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <spng.h>
#include <turbojpeg.h>
#include <vector>

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read %s", qPrintable(path));
    }
    return file.readAll();
}

// TurboJPEG at its best: the file into a plain buffer, BGRX, default flags.
void jpegCodec(const QString& path) {
    const QByteArray bytes = readFile(path);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    tjDecompressHeader3(decoder, data, bytes.size(), &width, &height, &subsampling, &colorspace);
    std::unique_ptr<unsigned char[]> pixels(new unsigned char[size_t(width) * height * 4]);
    tjDecompress2(decoder, data, bytes.size(), pixels.get(), width, width * 4, height, TJPF_BGRX,
                  0);
    benchmark::DoNotOptimize(pixels.get());
    tjDestroy(decoder);
}

// libspng at its best: the file into a plain RGBA8 buffer.
void pngCodec(const QString& path) {
    const QByteArray bytes = readFile(path);
    spng_ctx* decoder = spng_ctx_new(0);
    spng_set_png_buffer(decoder, bytes.constData(), size_t(bytes.size()));
    size_t size = 0;
    spng_decoded_image_size(decoder, SPNG_FMT_RGBA8, &size);
    std::unique_ptr<unsigned char[]> pixels(new unsigned char[size]);
    spng_decode_image(decoder, pixels.get(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
    benchmark::DoNotOptimize(pixels.get());
    spng_ctx_free(decoder);
}

// The baseline viewer: Qt's reader, then the format Qt draws fastest.
void qtReader(const QString& path) {
    // A viewer of large photos must lift Qt's 128 MB default.
    QImageReader::setAllocationLimit(1024);
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QImage image = reader.read();
    benchmark::DoNotOptimize(image.convertToFormat(
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32));
}

void kanvoDecoder(const QString& path) {
    benchmark::DoNotOptimize(KanvoImageFile(path).decode().image);
}

std::string sizeName(QSize size) {
    return std::to_string(size.width()) + "x" + std::to_string(size.height());
}

QString fileFor(const std::string& kind, QSize size) {
    if (kind == "jpeg") {
        return BenchImages::jpeg(size);
    }
    return BenchImages::png(size, kind == "png-rgba");
}

void registerDecodes() {
    using Decode = void (*)(const QString&);
    const std::vector<std::pair<std::string, QSize>> files{{"jpeg", BenchImages::medium()},
                                                           {"jpeg", BenchImages::large()},
                                                           {"png-rgb", BenchImages::medium()},
                                                           {"png-rgba", BenchImages::medium()},
                                                           {"png-rgb", BenchImages::large()}};
    for (const auto& [kind, size] : files) {
        const QString path = fileFor(kind, size);
        const std::string name =
            kind + "/" + std::to_string(size.width() * qint64(size.height()) / 1000000) + "MP";
        const Decode codec = kind == "jpeg" ? jpegCodec : pngCodec;
        for (const auto& [decoder, decode] : std::vector<std::pair<std::string, Decode>>{
                 {"codec", codec}, {"kanvo", kanvoDecoder}, {"qt", qtReader}}) {
            benchmark::RegisterBenchmark(("decode/" + name + "/" + decoder).c_str(),
                                         [path, decode](benchmark::State& state) {
                                             for (auto _ : state) {
                                                 decode(path);
                                             }
                                         })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
}

// The first picture of a large JPEG, decoded reduced to cover the fitted
// view (a quarter of 24 MP, an eighth of 100 MP): in pieces on every core
// against libjpeg's reduced decode on one.
void registerPreviews() {
    for (const auto& [size, reduction] : std::vector<std::pair<QSize, int>>{
             {BenchImages::medium(), 4}, {BenchImages::large(), 8}}) {
        const QByteArray bytes = readFile(BenchImages::jpeg(size));
        const std::string name =
            std::to_string(size.width() * qint64(size.height()) / 1000000) + "MP";
        for (const auto& [decoder, threads] : std::vector<std::pair<std::string, int>>{
                 {"pieces", KanvoJpegDecoder::defaultThreads()}, {"libjpeg", 1}}) {
            benchmark::RegisterBenchmark(
                ("preview/jpeg/" + name + "/" + decoder).c_str(),
                [bytes, reduction, threads](benchmark::State& state) {
                    const std::span<const uchar> file(
                        reinterpret_cast<const uchar*>(bytes.constData()), size_t(bytes.size()));
                    for (auto _ : state) {
                        benchmark::DoNotOptimize(KanvoJpegDecoder::decode(
                            file, KanvoAllocation::largestImageBytes(), reduction, threads));
                    }
                    state.counters["reduction"] = reduction;
                })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
}

// The pyramid's share of the decode job, and of memory.
void registerPyramids() {
    for (const QSize size : {BenchImages::medium(), BenchImages::large()}) {
        const QString path = BenchImages::jpeg(size);
        const std::string name =
            std::to_string(size.width() * qint64(size.height()) / 1000000) + "MP";
        benchmark::RegisterBenchmark(("pyramid/jpeg/" + name).c_str(),
                                     [path](benchmark::State& state) {
                                         const QImage full = KanvoImageFile(path).decode().image;
                                         qsizetype bytes = 0;
                                         for (auto _ : state) {
                                             const KanvoImage image =
                                                 KanvoImage::withRepresentations(full);
                                             bytes = image.byteCount();
                                         }
                                         state.counters["memory_ratio"] =
                                             double(bytes) / double(full.sizeInBytes());
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

// The decode job (decoded image and pyramid) of the same JPEG with and
// without an embedded ICC profile, and the rendition of the fitted view: the
// first pixels a person sees, which are what a profile converts (the whole
// image is never converted at once), so the ratio is what honouring the
// profile costs before anything is on screen.
void registerDecodeJobs() {
    const QSize size = BenchImages::medium();
    const std::string name = std::to_string(size.width() * qint64(size.height()) / 1000000) + "MP";
    for (const auto& [kind, path] : std::vector<std::pair<std::string, QString>>{
             {"untagged", BenchImages::jpeg(size)}, {"tagged", BenchImages::taggedJpeg(size)}}) {
        benchmark::RegisterBenchmark(("decode-job/jpeg-" + kind + "/" + name).c_str(),
                                     [path](benchmark::State& state) {
                                         // 6000 x 4000 fitted into the
                                         // canvas of the repaint rows.
                                         const QSize fitted(956, 637);
                                         for (auto _ : state) {
                                             const KanvoImage image =
                                                 KanvoImageDecodeService::decodeFile(path);
                                             benchmark::DoNotOptimize(image.renditionAt(fitted));
                                         }
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

// The real canvas view showing a photo (the large one unless said), painted
// at a zoom: once its full image (or for one too large to hold, its tiles'
// index) is ready.
struct ShownPhoto {
    static constexpr QRectF bounds{0, 0, 1116, 802};
    kanvo::ui::DocumentSession session;
    KanvoCanvasView view{bounds, nullptr};
    QImage target{1116, 802, QImage::Format_ARGB32_Premultiplied};

    explicit ShownPhoto(const QString& path = BenchImages::jpeg(BenchImages::large())) {
        view.setSession(&session);
        view.openImageURL(QUrl::fromLocalFile(path));
        QElapsedTimer waited;
        waited.start();
        while ((view.image().isNull() || view.showsPreview()) && waited.elapsed() < 120000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    }
    void zoomTo(double zoom) {
        session.fitViewport();
        session.zoomViewport(zoom / session.document()->viewport.zoom);
    }
};

void registerRepaints() {
    for (const double zoom : {0.05, 1.0, 4.0, 16.0}) {
        benchmark::RegisterBenchmark(("repaint/" + sizeName(BenchImages::large()) + "/zoom-" +
                                      QString::number(zoom).toStdString())
                                         .c_str(),
                                     [zoom](benchmark::State& state) {
                                         static ShownPhoto shown;
                                         shown.zoomTo(zoom);
                                         for (auto _ : state) {
                                             shown.view.render(&shown.target);
                                         }
                                         state.counters["zoom"] =
                                             shown.session.document()->viewport.zoom;
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

// How long after a zoom the view is sharp: rendered every few milliseconds,
// as the canvas repaints whenever a tile lands, until it has held still for
// seconds; the figure is the time of the first frame from which every
// frame is that last one.
double millisecondsToSharp(ShownPhoto& shown) {
    const qint64 settled = BenchImages::smoke() ? 500 : 4000;
    std::vector<std::pair<double, std::size_t>> frames;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < settled) {
        shown.view.render(&shown.target);
        frames.emplace_back(
            double(clock.nsecsElapsed()) / 1e6,
            qHashBits(shown.target.constBits(), size_t(shown.target.sizeInBytes())));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    auto first = frames.end() - 1;
    while (first != frames.begin() && (first - 1)->second == frames.back().second) {
        --first;
    }
    return first->first;
}

// The gigapixel JPEG zoomed from the fitted view to the most the canvas
// shows (sixteen times the fitted size), at its middle and then with its
// corner at the view's corner: full-resolution tiles decoded on demand.
// Each repetition opens the file under a name of its own, so that neither
// the decoded-image cache nor the tiles of the one before serve it.
void registerZooms() {
    benchmark::RegisterBenchmark(
        ("zoom/jpeg/" + sizeName(BenchImages::gigapixel())).c_str(),
        [](benchmark::State& state) {
            const QTemporaryDir names;
            const QString path = names.filePath(QStringLiteral("gigapixel.jpg"));
            QFile::link(BenchImages::streamedBandedJpeg(BenchImages::gigapixel()), path);
            ShownPhoto shown(path);
            for (auto _ : state) {
                shown.zoomTo(16.0);
                state.counters["centre_ms"] = millisecondsToSharp(shown);
                const QRectF drawn =
                    KanvoImageFit::rectFor(QSizeF(shown.view.image().size()),
                                           KanvoImageFit::canvasRect(ShownPhoto::bounds),
                                           shown.session.document()->viewport.zoom, {});
                const QRectF canvas = KanvoImageFit::canvasRect(ShownPhoto::bounds);
                shown.session.panViewport((drawn.width() - canvas.width()) / 2,
                                          (drawn.height() - canvas.height()) / 2);
                state.counters["corner_ms"] = millisecondsToSharp(shown);
            }
            state.counters["zoom"] = shown.session.document()->viewport.zoom;
        })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1);
}

// Box filter with fractional coverage, one grey channel, rows then columns.
std::vector<double> areaAveraged(const QImage& source, QSize size) {
    const auto resample = [](const std::vector<double>& in, int inLength, int outLength, int lines,
                             bool alongRows) {
        std::vector<double> out(size_t(outLength) * lines);
        const double step = double(inLength) / outLength;
        for (int line = 0; line < lines; ++line) {
            for (int o = 0; o < outLength; ++o) {
                const double from = o * step;
                const double to = from + step;
                double sum = 0;
                for (int i = int(from); i < std::min(int(std::ceil(to)), inLength); ++i) {
                    const double cover = std::min(to, i + 1.0) - std::max(from, double(i));
                    sum += cover *
                           in[alongRows ? size_t(line) * inLength + i : size_t(i) * lines + line];
                }
                out[alongRows ? size_t(line) * outLength + o : size_t(o) * lines + line] =
                    sum / step;
            }
        }
        return out;
    };
    std::vector<double> grey(size_t(source.width()) * source.height());
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            grey[size_t(y) * source.width() + x] = qRed(source.pixel(x, y));
        }
    }
    const std::vector<double> rows =
        resample(grey, source.width(), size.width(), source.height(), true);
    return resample(rows, source.height(), size.height(), size.width(), false);
}

double psnr(const QImage& drawn, QRect area, const std::vector<double>& reference, int inset) {
    double squared = 0;
    int count = 0;
    for (int y = inset; y < area.height() - inset; ++y) {
        for (int x = inset; x < area.width() - inset; ++x) {
            const double d = qRed(drawn.pixel(area.x() + x, area.y() + y)) -
                             reference[size_t(y) * area.width() + x];
            squared += d * d;
            ++count;
        }
    }
    return 10.0 * std::log10(255.0 * 255.0 / (squared / count));
}

// At zoom 1 the canvas fits the zone plate into exactly 956 x 658 pixels: the drawn
// image against the exact area average, and the naive full-size bilinear
// draw beside it.
void registerZonePlate() {
    benchmark::RegisterBenchmark(
        "quality/zone-plate/zoom-1",
        [](benchmark::State& state) {
            const int factor = BenchImages::smoke() ? 2 : 9;
            const QImage plate = BenchImages::zonePlate(QSize(956, 658) * factor);
            const KanvoImage image = KanvoImage::withRepresentations(plate);
            kanvo::ui::Layer layer;
            layer.width = size_t(plate.width());
            layer.height = size_t(plate.height());
            const kanvo::ui::Document document;
            const QRectF bounds(0, 0, 1116, 802);
            const QRect area =
                KanvoFrame::toQt(KanvoImageFit::rectFor(QSizeF(plate.size()),
                                                        KanvoImageFit::canvasRect(bounds), 1.0, {}),
                                 bounds.height())
                    .toAlignedRect();
            QImage drawn(1116, 802, QImage::Format_ARGB32_Premultiplied);
            for (auto _ : state) {
                QPainter painter(&drawn);
                KanvoCanvasDrawing::drawIn(painter, bounds, image, &layer, &document, QString());
            }
            QImage naive(1116, 802, QImage::Format_ARGB32_Premultiplied);
            {
                QPainter painter(&naive);
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                painter.drawImage(QRectF(area), plate);
            }
            const std::vector<double> reference = areaAveraged(plate, area.size());
            // The layer frame and name tag are drawn over the image's edge.
            const int inset = 24;
            state.counters["psnr_db"] = psnr(drawn, area, reference, inset);
            state.counters["naive_psnr_db"] = psnr(naive, area, reference, inset);
        })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(BenchImages::smoke() ? 1 : 20);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    registerDecodes();
    registerPreviews();
    registerPyramids();
    registerDecodeJobs();
    registerRepaints();
    registerZooms();
    registerZonePlate();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
