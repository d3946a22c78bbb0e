#pragma once

#include <QSize>

// The size of an image of `size` decoded or halved to 1/`reduction`: each
// side rounded up, as libjpeg's scaled decode and the pyramid's halvings
// both round.
inline QSize reducedSize(QSize size, int reduction) {
    return {(size.width() + reduction - 1) / reduction,
            (size.height() + reduction - 1) / reduction};
}
