#pragma once

#include "Errors.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

// A block operation of the engine failed; nothing after the failing block is
// trustworthy, so the operation stops instead of writing it out.
class ECryptographyError : public EVellumtreeError
{
public:
    using EVellumtreeError::EVellumtreeError;
};

// Base of the 64-bit block ciphers: owns the key, folds it into the key buffer and
// runs a block operation over a string or a stream, chunk by chunk, in electronic
// code book mode. Each chunk's last partial block is completed with zero bytes, so
// the output is always a multiple of BlockSize long and stores no length.
class TCryptography
{
public:
    // The engine's callbacks, called once per chunk. A read returns how many bytes
    // it delivered (0 at the end); a write returns how many bytes it took.
    using TReadFunc = std::function<qint64(char *buffer, qint64 count)>;
    using TWriteFunc = std::function<qint64(const char *buffer, qint64 count)>;
    // Applies a block operation to `count` whole blocks in place. False when a
    // block reported failure.
    using TBlockOperation = bool (TCryptography::*)(char *blocks, qint64 count);

    TCryptography(const TCryptography &) = delete;
    TCryptography &operator=(const TCryptography &) = delete;
    virtual ~TCryptography();

    virtual qint64 ReadFromString(char *buffer, qint64 count);
    virtual qint64 WriteToString(const char *buffer, qint64 count);
    virtual qint64 ReadFromStream(char *buffer, qint64 count);
    virtual qint64 WriteToStream(const char *buffer, qint64 count);
    virtual void Process(TBlockOperation operation, const TReadFunc &read, const TWriteFunc &write);
    virtual void SetBufferSize(int size);
    virtual void Init(const QString &cipherName, int blockSize, int keySize, const QByteArray &key);
    virtual void FoldKey();
    virtual void InitKey() = 0;
    virtual bool EncryptBlock(char *block) = 0;
    virtual bool DecryptBlock(char *block) = 0;
    virtual void EncryptString(QByteArray &text);
    virtual void DecryptString(QByteArray &text);
    // Input from the source's current position to its end; output at the
    // destination's current position.
    virtual void EncryptStream(QIODevice *source, QIODevice *dest);
    virtual void DecryptStream(QIODevice *source, QIODevice *dest);
    virtual void Encrypt(const TReadFunc &read, const TWriteFunc &write);
    virtual void Decrypt(const TReadFunc &read, const TWriteFunc &write);

    // Reschedules only for a key that is new and not empty; the key text is taken
    // over in every case.
    void SetKey(const QByteArray &newKey);

    int blockSize() const { return BlockSize; }
    const QByteArray &key() const { return Key; }
    int bufferSize() const { return BufferSize; }
    int keySize() const { return KeySize; }
    const QByteArray &keyBuffer() const { return KeyBuffer; }
    const QString &cipherName() const { return CipherName; }

    // The key text a new object starts with.
    static QByteArray initialKey();

protected:
    // Derived classes call Init from their own constructor: a virtual call from
    // this one would not reach their InitKey.
    TCryptography() = default;

    // Runs of whole blocks for Process. These call the block operations one block
    // at a time; a cipher overrides them to skip the virtual call per block.
    virtual bool encryptBlocks(char *blocks, qint64 count);
    virtual bool decryptBlocks(char *blocks, qint64 count);

    int BlockSize = 0;
    QByteArray Key;
    int BufferSize = 0;
    int KeySize = 0;
    QByteArray KeyBuffer;
    QString CipherName;
    QByteArray SourceText;
    qsizetype ReadPos = 1; // 1-based; 64 bits so a text beyond 2 GB cannot wrap it
    QByteArray DestText;
    QIODevice *SourceStream = nullptr;
    QIODevice *DestStream = nullptr;

private:
    void runOnString(QByteArray &text, bool encrypt);
    void runOnStreams(QIODevice *source, QIODevice *dest, bool encrypt);
};
