// The strongly enciphered notes file (.vlx): the notes text a plain file would hold,
// enciphered by StrongCipher, and checked whole before any of it is read.

#include "notes/Archive.h"

#include "crypto/StrongCipher.h"
#include "notes/ArchiveFormat.h"
#include "settings/UtilsFile.h"

#include <QFile>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;
using namespace ArchiveFormat;
using StrongCipher::TStatus;

EDamagedFile::EDamagedFile(const QString &fileName, const QString &where)
    : EFileError(
        u"The file \"%1\" is damaged or was changed (%2). Nothing of it was opened."_s.arg(
            displayName(fileName), where))
{
}

namespace {

// Says what a status other than Ok means for the file; `at` is where the chunk being
// read starts.
[[noreturn]] void raise(TStatus status, const QString &fileName, qint64 at)
{
    switch (status) {
    case TStatus::NotThisFormat:
        throw EInvalidSignature();
    case TStatus::WrongPassword:
        throw EInvalidPassword();
    case TStatus::NewerVersion:
        throw EFileError(u"Cannot open file \"%1\". It was written by a newer version of the "
                         "program."_s.arg(displayName(fileName)));
    case TStatus::NoMemory:
        throw EFileError(u"Cannot open file \"%1\". There is not enough memory to derive its "
                         "key."_s.arg(displayName(fileName)));
    case TStatus::TooLarge:
        throw EFileError(u"Cannot open file \"%1\". It is larger than the program can hold."_s.arg(
            displayName(fileName)));
    case TStatus::DamagedHeader:
        throw EDamagedFile(fileName, u"its header"_s);
    case TStatus::DamagedChunk:
        throw EDamagedFile(fileName, u"at byte %1"_s.arg(at));
    case TStatus::MissingEnd:
        throw EDamagedFile(fileName, u"its end is missing"_s);
    case TStatus::TrailingBytes:
        throw EDamagedFile(fileName, u"bytes follow its end at byte %1"_s.arg(at));
    case TStatus::Ok:
        break;
    }
    Q_UNREACHABLE();
}

void check(TStatus status, const QString &fileName, qint64 at = 0)
{
    if (status != TStatus::Ok)
        raise(status, fileName, at);
}

} // namespace

QByteArray TArchive::decipherStrong(const QString &fileName)
{
    QFile file;
    OpenRegularFile(file, fileName, MaxFileSize);
    return decipherStrong(fileName, [&](char *buffer, qint64 count) {
        const qint64 got = file.read(buffer, count);
        if (got < 0)
            throw EFileError(u"Cannot read file \"%1\". %2"_s.arg(displayName(fileName),
                                                                    file.errorString()));
        return got;
    }, file.size());
}

QByteArray TArchive::decipherStrongData(const QByteArray &fileBytes, const QString &fileName)
{
    qsizetype at = 0;
    return decipherStrong(fileName, [&](char *buffer, qint64 count) {
        const qsizetype got = std::min<qsizetype>(count, fileBytes.size() - at);
        std::memcpy(buffer, fileBytes.constData() + at, got);
        at += got;
        return qint64(got);
    }, fileBytes.size());
}

QByteArray TArchive::decipherStrong(const QString &fileName,
                                    const std::function<qint64(char *, qint64)> &read,
                                    qint64 sizeHint)
{
    QByteArray buffer(StrongCipher::ChunkSize + StrongCipher::ChunkOverhead, Qt::Uninitialized);
    const auto readSome = [&](qint64 count) {
        return QByteArrayView(buffer.constData(), read(buffer.data(), count));
    };
    StrongCipher::TReader reader;
    check(reader.ReadHeader(readSome(StrongCipher::HeaderSize)), fileName);
    std::shared_ptr<const StrongCipher::TStrongKey> used;
    QByteArray passwordBytes = passwordKey(Password);
    const TStatus unlocked = reader.Unlock(
        passwordBytes, FileKey.Password == Password ? FileKey.Strong : nullptr, &used);
    StrongCipher::Wipe(passwordBytes);
    check(unlocked, fileName);
    // Nothing of the text leaves here before all of it has been authenticated. Room for
    // all of it at once: no copy of it is left behind in freed memory as it grows.
    QByteArray text;
    text.reserve(std::clamp<qint64>(sizeHint - StrongCipher::HeaderSize, 0, MaxFileSize));
    qint64 at = StrongCipher::HeaderSize;
    TStatus status = TStatus::Ok;
    for (QByteArrayView chunk = readSome(buffer.size()); !chunk.isEmpty() && status == TStatus::Ok;
         chunk = readSome(buffer.size())) {
        status = reader.ReadChunk(chunk, text, MaxFileSize);
        if (status == TStatus::Ok)
            at += chunk.size();
    }
    if (status == TStatus::Ok)
        status = reader.Finish();
    if (status != TStatus::Ok) {
        StrongCipher::Wipe(text);
        raise(status, fileName, at);
    }
    FileKey = {Password, {}, std::move(used)};
    return text;
}

std::shared_ptr<const StrongCipher::TStrongKey> TArchive::strongKey()
{
    if (FileKey.Password == Password && FileKey.Strong)
        return FileKey.Strong;
    QByteArray passwordBytes = passwordKey(Password);
    auto key = StrongCipher::TStrongKey::Create(passwordBytes);
    StrongCipher::Wipe(passwordBytes);
    if (!key)
        throw EFileError(u"There is not enough memory to derive the key for the password."_s);
    FileKey = {Password, {}, key};
    return key;
}
