#pragma once

#include "CorpusCases.h"

#include <QByteArray>
#include <QString>

// The ICC profile a file carries, read the way the reference libraries read
// it: reassembled from every APP2 ICC_PROFILE segment by libjpeg-turbo, or
// inflated from iCCP by libspng, which like libpng drops an ancillary chunk
// whose CRC is wrong. Empty when the file carries none.
namespace EmbeddedProfile {

QByteArray of(const QString& path, CorpusFormat format);

} // namespace EmbeddedProfile
