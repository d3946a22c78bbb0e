#include "generate/KanvoProgressAnswer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace {

double leadingNumber(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)"));
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? match.captured(0).trimmed().toDouble() : 0.0;
}

} // namespace

std::optional<double> KanvoProgressAnswer::progress(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject()) {
        return std::nullopt;
    }
    const QJsonValue value = document.object().value(QLatin1String("progress"));
    switch (value.type()) {
    case QJsonValue::Double:
        return value.toDouble();
    case QJsonValue::String:
        return leadingNumber(value.toString());
    case QJsonValue::Undefined:
        return 0.0;
    default:
        return std::nullopt;
    }
}

// A value beyond the int range (a string such as "1e300") saturates, and NaN
// gives 0, instead of an undefined conversion.
int KanvoProgressAnswer::percent(double progress) {
    const double scaled = std::trunc(progress * 100.0);
    if (std::isnan(scaled)) {
        return 0;
    }
    if (scaled >= double(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (scaled <= double(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return int(scaled);
}
