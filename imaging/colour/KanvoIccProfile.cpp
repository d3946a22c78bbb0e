#include "imaging/colour/KanvoIccProfile.h"

#include <QtEndian>

namespace {

constexpr qsizetype headerBytes = 128;
constexpr qsizetype dataColourSpaceAt = 16;

} // namespace

KanvoIccProfile::Model KanvoIccProfile::model() const {
    const QByteArray signature = bytes_.mid(dataColourSpaceAt, 4);
    return signature == "RGB "   ? Model::Rgb
           : signature == "GRAY" ? Model::Grey
           : signature == "CMYK" ? Model::Cmyk
                                 : Model::Other;
}

KanvoIccProfile KanvoIccProfile::describing(Model pixels) const {
    return model() == pixels ? *this : KanvoIccProfile();
}

std::optional<quint32> KanvoIccProfile::completeSize() const {
    if (bytes_.size() < headerBytes) {
        return std::nullopt;
    }
    const quint32 claimed = qFromBigEndian<quint32>(bytes_.constData());
    if (claimed < headerBytes || claimed > quint64(bytes_.size())) {
        return std::nullopt;
    }
    return claimed;
}
