#include "settings/LngMan.h"

#include <cstddef>
#include <cstdint>

// The language-file reader on arbitrary bytes: parsing, and every look-up the
// language manager makes, must neither crash nor return more than the limits allow.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const TProfileData profile = TProfileData::parse(
        QByteArrayView(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    for (const QString &section : profile.sections()) {
        qsizetype keyChars = 0;
        for (const auto &[key, value] : profile.entries(section)) {
            keyChars += key.size() + 1;
            if (value.isNull() || value.size() > TProfileData::MaxValueLength
                || value != profile.value(section, key))
                __builtin_trap();
        }
        if (keyChars >= TProfileData::MaxSectionKeyChars)
            __builtin_trap();
    }
    return 0;
}
