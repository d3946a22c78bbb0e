#include "generate/KanvoSDURLLine.h"

#include <QList>
#include <QStringDecoder>

namespace {

// Spaces and tabs only: a carriage return left by CRLF line ends stays on the
// line, where it falls outside the quotes.
QStringView trimmedOfBlanks(QStringView line) {
    const auto blank = [](QChar c) {
        return c == u' ' || c == u'\t';
    };
    while (!line.isEmpty() && blank(line.front())) {
        line = line.sliced(1);
    }
    while (!line.isEmpty() && blank(line.back())) {
        line.chop(1);
    }
    return line;
}

} // namespace

std::optional<QString> KanvoSDURLLine::firstValue(const QByteArray& config) {
    // Stateless: a sequence cut off at the end is an error, not one that is
    // waiting for more bytes.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(config);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    for (const QStringView rawLine : QStringView(text).split(u'\n')) {
        const QStringView line = trimmedOfBlanks(rawLine);
        if (!line.startsWith(u"sd_url")) {
            continue;
        }
        const qsizetype first = line.indexOf(u'"');
        const qsizetype last = line.lastIndexOf(u'"');
        if (first >= 0 && last > first) {
            return line.sliced(first + 1, last - first - 1).toString();
        }
    }
    return std::nullopt;
}
