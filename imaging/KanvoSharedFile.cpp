#include "imaging/KanvoSharedFile.h"

KanvoSharedFile::KanvoSharedFile(std::unique_ptr<QIODevice> device) : device_(std::move(device)) {}

qint64 KanvoSharedFile::size() const {
    const std::scoped_lock lock(reading_);
    return device_->size();
}

qint64 KanvoSharedFile::read(qint64 offset, uchar* target, qint64 length) const {
    const std::scoped_lock lock(reading_);
    if (offset < 0 || !device_->seek(offset)) {
        return 0;
    }
    qint64 done = 0;
    while (done < length) {
        const qint64 got = device_->read(reinterpret_cast<char*>(target) + done, length - done);
        if (got <= 0) {
            break;
        }
        done += got;
    }
    return done;
}
