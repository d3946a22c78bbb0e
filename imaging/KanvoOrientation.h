#pragma once

#include "kanvo/ui/exif_orientation.h"

#include <QImage>
#include <QTransform>

// `stored` turned as its EXIF orientation says, so that it stands upright:
// mirrored for 2 and 4, half a turn for 3, a quarter turn (with a mirror for
// 5 and 7) for 5 to 8. Orientation 1 returns the image untouched.
QImage uprightImage(QImage stored, kanvo::ui::ExifOrientation orientation);

// Where a rectangle of an image of `storedSize` lands once uprightImage has
// turned it; its inverse finds the stored pixels of an upright rectangle.
QTransform uprightTransform(QSize storedSize, kanvo::ui::ExifOrientation orientation);
