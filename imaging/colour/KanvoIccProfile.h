#pragma once

#include <QByteArray>
#include <optional>

// An ICC profile as a file embeds it, and what its header says. Empty means
// none. Converts from the bytes implicitly, as Qt's and the codecs' profiles
// arrive as plain byte arrays.
class KanvoIccProfile {
public:
    // The colour model of the data a profile describes (its header's data
    // colour space); Other for any model Kanvo does not decode, and for
    // bytes too short to say.
    enum class Model { Other, Rgb, Grey, Cmyk };

    KanvoIccProfile() = default;
    KanvoIccProfile(QByteArray bytes) : bytes_(std::move(bytes)) {}

    const QByteArray& bytes() const { return bytes_; }
    bool isEmpty() const { return bytes_.isEmpty(); }
    Model model() const;

    // This profile when it describes `model`, else none: an RGB profile on a
    // grey image is a mistake the image is better drawn without.
    KanvoIccProfile describing(Model pixels) const;

    // The size the header claims for the whole profile, when the bytes hold
    // a header and all it claims; bytes past the claim are padding. Little
    // CMS takes a profile cut short (a lost segment, a property read in
    // part) and skips the tags past its end, so such a profile is refused.
    std::optional<quint32> completeSize() const;

    friend bool operator==(const KanvoIccProfile&, const KanvoIccProfile&) = default;

private:
    QByteArray bytes_;
};
