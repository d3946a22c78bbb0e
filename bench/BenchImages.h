#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// Test images for the benchmarks, made here with photographic entropy
// (gradients under per-pixel noise) and kept in a folder between runs, so
// only the first run pays for encoding.
namespace BenchImages {

// KANVO_BENCH_SMOKE set: tiny sizes and one iteration, to prove the
// benchmarks still build and run.
bool smoke();
// The sizes measured: about 24 and 100 megapixels, or tiny under smoke.
QSize medium();
QSize large();
// The images too large to hold decoded: 400 megapixels (24000 x 16000)
// and a gigapixel (40000 x 25000), or small under smoke.
QSize veryLarge();
QSize gigapixel();

QImage photoLike(QSize size, bool alpha);
// photoLike() whose rows from 35 % to 65 % of the height are grain around
// bandColour(), a green far from every grey, white and black a viewer draws
// around an image and from the colours of Kanvo's panels: a few rows read
// back from the screen tell when the image is shown.
QImage bandedPhoto(QSize size);
QRgb bandColour();
// A zone plate: concentric rings whose frequency rises to the Nyquist limit
// at the corners, the classic test of a resampler's aliasing.
QImage zonePlate(QSize size);

// The path of a JPEG (quality 90) or PNG (RGB or RGBA) of a photo-like
// image of `size`, written on first use.
QString jpeg(QSize size);
QString png(QSize size, bool alpha);
QString bandedJpeg(QSize size);
QString bandedPng(QSize size);
// The same banded picture written row by row as it is made (libjpeg at
// quality 90 with 4:2:0 chroma, libspng RGB), so that an image of any size
// is made in a few megabytes of memory.
QString streamedBandedJpeg(QSize size);
QString streamedBandedPng(QSize size);
// jpeg(size) with an ICC profile (NTSC RGB, from colord's data) in
// an APP2 segment before the image data: the same pixels and the same
// entropy-coded data, so a decode differs only in what the profile costs.
QString taggedJpeg(QSize size);

} // namespace BenchImages
