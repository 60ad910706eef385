#include "crypto/Cryptography.h"

#include "crypto/AuxFuncs.h"

#include <QFileDevice>
#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

constexpr int defaultBufferSize = 2048;
constexpr int minimumBufferSize = 256;
// A sequential source (a socket, a process) may have no data yet without being
// at its end; wait for more, but never forever.
constexpr int sequentialReadTimeoutMs = 30000;

QString deviceName(const QIODevice *device)
{
    if (const auto *file = qobject_cast<const QFileDevice *>(device)) {
        if (!file->fileName().isEmpty())
            return file->fileName();
    }
    return u"the stream"_s;
}

} // namespace

TCryptography::~TCryptography() = default;

QByteArray TCryptography::initialKey()
{
    return QByteArrayLiteral("quokka");
}

qint64 TCryptography::ReadFromString(char *buffer, qint64 count)
{
    const qint64 available = SourceText.size() - ReadPos + 1;
    const qint64 n = std::min(count, available);
    if (n <= 0)
        return 0;
    std::memcpy(buffer, SourceText.constData() + ReadPos - 1, static_cast<size_t>(n));
    ReadPos += n;
    return n;
}

qint64 TCryptography::WriteToString(const char *buffer, qint64 count)
{
    DestText.append(buffer, count);
    return count;
}

qint64 TCryptography::ReadFromStream(char *buffer, qint64 count)
{
    // Fill the chunk completely: a short read in the middle of the data would
    // otherwise pad a block there and corrupt everything that follows it.
    qint64 total = 0;
    while (total < count) {
        const qint64 got = SourceStream->read(buffer + total, count - total);
        if (got < 0) {
            throw EFileError(u"Could not read %1: %2"_s.arg(
                deviceName(SourceStream), SourceStream->errorString()));
        }
        if (got == 0) {
            if (SourceStream->isSequential()
                && SourceStream->waitForReadyRead(sequentialReadTimeoutMs))
                continue;
            break;
        }
        total += got;
    }
    return total;
}

qint64 TCryptography::WriteToStream(const char *buffer, qint64 count)
{
    const qint64 written = DestStream->write(buffer, count);
    if (written != count) {
        throw EFileError(
            u"Could not write %1: %2"_s.arg(deviceName(DestStream), DestStream->errorString()));
    }
    return written;
}

void TCryptography::Process(
    TBlockOperation operation, const TReadFunc &read, const TWriteFunc &write)
{
    Q_ASSERT(BlockSize > 0 && BufferSize >= BlockSize && BufferSize % BlockSize == 0);
    const auto buffer = std::make_unique<char[]>(static_cast<size_t>(BufferSize));
    for (;;) {
        std::memset(buffer.get(), 0, static_cast<size_t>(BufferSize));
        const qint64 n = std::min<qint64>(read(buffer.get(), BufferSize), BufferSize);
        if (n <= 0)
            break;
        const qint64 blocks = (n + BlockSize - 1) / BlockSize;
        const qint64 length = blocks * BlockSize;
        if (!(this->*operation)(buffer.get(), blocks)) {
            // Writing the chunk anyway would put unprocessed plaintext into the output.
            throw ECryptographyError(u"The %1 cipher failed on a block."_s.arg(CipherName));
        }
        // A short write would silently leave a truncated file behind.
        if (write(buffer.get(), length) != length)
            throw EFileError(u"Could not write the whole %1 output."_s.arg(CipherName));
    }
}

void TCryptography::SetBufferSize(int size)
{
    if (BlockSize <= 0)
        return;
    BufferSize = (size / BlockSize) * BlockSize;
    if (BufferSize < minimumBufferSize)
        BufferSize = (minimumBufferSize / BlockSize) * BlockSize;
}

void TCryptography::Init(
    const QString &cipherName, int blockSize, int keySize, const QByteArray &key)
{
    // A block must fit the smallest work buffer, and the key buffer must hold at
    // least one word to fold into.
    if (blockSize <= 0 || blockSize > minimumBufferSize || keySize < 4)
        throw std::invalid_argument("TCryptography::Init: unusable block or key size");
    CipherName = cipherName;
    BlockSize = blockSize;
    BufferSize = (defaultBufferSize / BlockSize) * BlockSize;
    Key = initialKey();
    KeySize = keySize;
    KeyBuffer = QByteArray(KeySize, '\0');
    SetKey(key);
}

void TCryptography::FoldKey()
{
    const qint64 keyLength = Key.size();
    const qint64 words = KeySize / 4;
    if (keyLength == 0 || words == 0)
        return;
    // The key repeated cyclically up to the smallest multiple of KeySize not below
    // its length, taken word by word; a longer key wraps round onto the first words.
    const qint64 foldedLength = (keyLength + KeySize - 1) / KeySize * KeySize;
    const auto *key = reinterpret_cast<const uchar *>(Key.constData());
    char *buffer = KeyBuffer.data();
    for (qint64 g = 0; g < foldedLength / 4; ++g) {
        quint32 w = 0;
        for (int b = 0; b < 4; ++b)
            w |= quint32(key[(4 * g + b) % keyLength]) << (8 * b);
        char *slot = buffer + 4 * (g % words);
        const quint32 old = qFromLittleEndian<quint32>(slot);
        qToLittleEndian<quint32>(rotateLeft(old, w) ^ w, slot);
    }
}

void TCryptography::EncryptString(QByteArray &text)
{
    runOnString(text, true);
}

void TCryptography::DecryptString(QByteArray &text)
{
    runOnString(text, false);
}

void TCryptography::EncryptStream(QIODevice *source, QIODevice *dest)
{
    runOnStreams(source, dest, true);
}

void TCryptography::DecryptStream(QIODevice *source, QIODevice *dest)
{
    runOnStreams(source, dest, false);
}

void TCryptography::Encrypt(const TReadFunc &read, const TWriteFunc &write)
{
    Process(&TCryptography::encryptBlocks, read, write);
}

void TCryptography::Decrypt(const TReadFunc &read, const TWriteFunc &write)
{
    Process(&TCryptography::decryptBlocks, read, write);
}

void TCryptography::SetKey(const QByteArray &newKey)
{
    if (newKey != Key && !newKey.isEmpty()) {
        Key = newKey;
        FoldKey();
        InitKey();
    }
    Key = newKey;
}

bool TCryptography::encryptBlocks(char *blocks, qint64 count)
{
    for (qint64 i = 0; i < count; ++i) {
        if (!EncryptBlock(blocks + i * BlockSize))
            return false;
    }
    return true;
}

bool TCryptography::decryptBlocks(char *blocks, qint64 count)
{
    for (qint64 i = 0; i < count; ++i) {
        if (!DecryptBlock(blocks + i * BlockSize))
            return false;
    }
    return true;
}

void TCryptography::runOnString(QByteArray &text, bool encrypt)
{
    SourceText = text;
    DestText = QByteArray();
    // The whole output in one allocation: appending chunk by chunk must not
    // reallocate a large text over and over.
    DestText.reserve((SourceText.size() + BlockSize - 1) / BlockSize * BlockSize);
    ReadPos = 1;
    const TReadFunc read
        = [this](char *buffer, qint64 count) { return ReadFromString(buffer, count); };
    const TWriteFunc write
        = [this](const char *buffer, qint64 count) { return WriteToString(buffer, count); };
    if (encrypt)
        Encrypt(read, write);
    else
        Decrypt(read, write);
    text = std::move(DestText);
    // Neither copy is needed any more; a large text should not stay alive twice.
    SourceText = QByteArray();
    DestText = QByteArray();
}

void TCryptography::runOnStreams(QIODevice *source, QIODevice *dest, bool encrypt)
{
    if (!source || !dest)
        throw std::invalid_argument("TCryptography: no stream to read from or write to");
    SourceStream = source;
    DestStream = dest;
    const TReadFunc read
        = [this](char *buffer, qint64 count) { return ReadFromStream(buffer, count); };
    const TWriteFunc write
        = [this](const char *buffer, qint64 count) { return WriteToStream(buffer, count); };
    if (encrypt)
        Encrypt(read, write);
    else
        Decrypt(read, write);
}
