#pragma once

#include <QIODevice>
#include <memory>
#include <mutex>

// A file read by offset from several threads at once, one read at a time:
// what the tiles of an image too large to hold read its bytes from. Held
// open, so that the file replaced under the same name (an export over it)
// leaves the tiles reading the one that was opened.
class KanvoSharedFile {
public:
    // `device` is open for reading: a file on disk, or a QBuffer.
    explicit KanvoSharedFile(std::unique_ptr<QIODevice> device);

    qint64 size() const;
    // Up to `length` bytes from `offset` into `target`; how many arrived,
    // fewer at the file's end or when a read fails.
    qint64 read(qint64 offset, uchar* target, qint64 length) const;

private:
    std::unique_ptr<QIODevice> device_;
    mutable std::mutex reading_;
};
