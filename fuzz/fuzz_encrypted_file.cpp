// The enciphered-file reader on arbitrary file contents.
#include "ReadEnciphered.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first byte picks a password length so short and long keys are both fed.
    if (size == 0)
        return 0;
    const size_t keyLength = std::min<size_t>(data[0] % 80, size - 1);
    const QByteArray key(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(keyLength));
    const QByteArray file(reinterpret_cast<const char *>(data + 1 + keyLength),
                          static_cast<qsizetype>(size - 1 - keyLength));
    ReadEnciphered(file, QString::fromLatin1(key));
    return 0;
}
