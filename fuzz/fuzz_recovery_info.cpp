// The description of a recovery copy, read at start from the recovery folder. What
// parses must name a copy inside that folder and come back the same from its own text.
#include <cstdint>
#include <cstdlib>

#include "notes/Recovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto info = TRecoveryInfo::Parse(
        QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!info)
        return 0;
    if (info->Session.contains(u'/') || info->Session.contains(u'.')
        || info->Extension.contains(u'/') || info->Extension.contains(u'.'))
        std::abort();
    const auto back = TRecoveryInfo::Parse(info->Format());
    if (!back || back->Session != info->Session || back->Document != info->Document
        || back->Extension != info->Extension || back->Written != info->Written
        || !(back->Stamp == info->Stamp))
        std::abort();
    return 0;
}
