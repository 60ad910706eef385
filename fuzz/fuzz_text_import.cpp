// A text file read as a note's body, on untrusted bytes and read a few bytes at a time:
// whatever the place where two reads meet, the body is the one the whole file gives
// when decoded at once.
#include <cstdint>
#include <cstdlib>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "app/ImportExport.h"

using namespace Qt::StringLiterals;

namespace {

// The whole file at once: up to its first NUL, UTF-8 when all of it is, lines split at
// CR LF, CR or LF, each followed by CR LF.
QString decodedWhole(QByteArrayView bytes, TTextEncoding legacy)
{
    const QByteArrayView text = TextEncoding::untilNul(bytes);
    const TTextEncoding encoding = TextEncoding::encodingFor(text.isValidUtf8(), legacy);
    QString form;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        if (!end && text[i] != '\r' && text[i] != '\n')
            continue;
        if (!end || start < i) {
            form += TextEncoding::decodeAs(text.sliced(start, i - start), encoding);
            form += u"\r\n";
        }
        if (!end && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    return form;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const qsizetype chunk = 1 + data[0] % 16;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1);
    static const QString path
        = QDir::temp().filePath(u"fuzz_text_import-%1.txt"_s.arg(QCoreApplication::applicationPid()));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(bytes.data(), bytes.size()) != bytes.size())
        std::abort();
    file.close();
    const QString body = ImportExport::ReadTextBody(path, TTextEncoding::Windows1251, chunk);
    if (body != decodedWhole(bytes, TTextEncoding::Windows1251))
        std::abort();
    return 0;
}
