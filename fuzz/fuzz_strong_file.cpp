// The strong enciphered file (.vlx) reader on arbitrary input. The first byte picks:
//  even: the rest is a whole file, read as a document is opened with the password
//        "fuzz". Its header is always parsed; the key is derived only for files of the
//        cheapest cost, so that Argon2 does not eat the fuzzer's time.
//  odd:  the rest is a text, enciphered with a fixed key and read back through the
//        same reader: the chunk reader and the notes reader behind it meet every text,
//        and what comes back must be the text.

#include "ReadEnciphered.h"

#include "crypto/StrongCipher.h"

#include <cstdint>
#include <cstdlib>

namespace {

const QByteArray kPassword = QByteArrayLiteral("fuzz");

const StrongCipher::TKeyPtr &fixedKey()
{
    static const StrongCipher::TKeyPtr key = StrongCipher::TStrongKey::Derive(
        kPassword, StrongCipher::MinimumParams(), StrongCipher::TStrongKey::TSalt{});
    return key;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    if (data[0] % 2 == 0) {
        StrongCipher::THeader header;
        if (StrongCipher::ParseHeader(rest, &header) == StrongCipher::TStatus::Ok
            && header.Params == StrongCipher::MinimumParams())
            ReadEnciphered(rest, QString::fromLatin1(kPassword));
        return 0;
    }
    const QByteArray file = StrongCipher::Encipher(rest, fixedKey());
    QByteArray text;
    if (StrongCipher::Decipher(file, kPassword, text, qint64(1) << 30, fixedKey())
            != StrongCipher::TStatus::Ok
        || text != rest)
        std::abort();
    ReadEnciphered(file, QString::fromLatin1(kPassword));
    return 0;
}
