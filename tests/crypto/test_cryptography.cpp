#include "crypto/Cryptography.h"
#include "crypto/STRMBlowfish.h"

#include <QBuffer>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// A toy block cipher that counts its key schedules and fails on blocks starting
// with '!', to see the engine and key handling of the base class on their own.
class ToyCipher final : public TCryptography
{
public:
    ToyCipher(int blockSize, const QByteArray &key, int keySize = 8)
    {
        Init(u"Toy"_s, blockSize, keySize, key);
    }
    void InitKey() override { ++schedules; }
    bool EncryptBlock(char *block) override { return flip(block); }
    bool DecryptBlock(char *block) override { return flip(block); }

    int schedules = 0;

private:
    bool flip(char *block) const
    {
        if (block[0] == '!')
            return false;
        for (int i = 0; i < BlockSize; ++i)
            block[i] = char(block[i] ^ 0x5A);
        return true;
    }
};

// A sequential source that hands out at most `step` bytes per read, and fails
// once `failAt` bytes have gone out. A sink that takes only `capacity` bytes.
class TrickleDevice final : public QIODevice
{
public:
    TrickleDevice(QByteArray data, qint64 step, qint64 failAt = -1, qint64 capacity = 0)
        : m_data(std::move(data)), m_step(step), m_failAt(failAt), m_capacity(capacity)
    { }
    bool isSequential() const override { return true; }
    QByteArray written;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_failAt >= 0 && m_pos >= m_failAt)
            return -1;
        const qint64 n = std::min({ maxSize, m_step, m_data.size() - m_pos });
        std::memcpy(data, m_data.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char *data, qint64 maxSize) override
    {
        const qint64 n = std::min(maxSize, m_capacity - written.size());
        written.append(data, n);
        return n;
    }

private:
    QByteArray m_data;
    qint64 m_step;
    qint64 m_failAt;
    qint64 m_capacity;
    qint64 m_pos = 0;
};

QByteArray randomBytes(quint32 seed, qsizetype size)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (auto &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

QByteArray encrypted(const QByteArray &key, QByteArray text)
{
    TBlowfish(key).EncryptString(text);
    return text;
}

} // namespace

TEST(CryptographyKeys, SchedulesOnlyForANewNonEmptyKey)
{
    ToyCipher initial(8, TCryptography::initialKey());
    EXPECT_EQ(initial.schedules, 0);

    ToyCipher cipher(8, QByteArrayLiteral("k"));
    EXPECT_EQ(cipher.schedules, 1);
    cipher.SetKey(QByteArrayLiteral("k"));
    EXPECT_EQ(cipher.schedules, 1);
    cipher.SetKey(QByteArray());
    EXPECT_EQ(cipher.schedules, 1);
    EXPECT_TRUE(cipher.key().isEmpty());
    cipher.SetKey(QByteArrayLiteral("k"));
    EXPECT_EQ(cipher.schedules, 2);
}

TEST(CryptographyKeys, InitRefusesUnusableSizes)
{
    EXPECT_THROW(ToyCipher(0, QByteArrayLiteral("k")), std::invalid_argument);
    EXPECT_THROW(ToyCipher(-8, QByteArrayLiteral("k")), std::invalid_argument);
    EXPECT_THROW(ToyCipher(8, QByteArrayLiteral("k"), 3), std::invalid_argument);
}

struct BufferSizeCase
{
    int blockSize;
    int requested;
    int expected;
};

class BufferSize : public testing::TestWithParam<BufferSizeCase>
{
};

TEST_P(BufferSize, IsWholeBlocksAndNeverBelow256Bytes)
{
    ToyCipher cipher(GetParam().blockSize, QByteArrayLiteral("k"));
    cipher.SetBufferSize(GetParam().requested);
    EXPECT_EQ(cipher.bufferSize(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BufferSize,
    testing::Values(BufferSizeCase { 8, 2048, 2048 }, BufferSizeCase { 8, 1001, 1000 },
        BufferSizeCase { 8, 300, 296 }, BufferSizeCase { 8, 255, 256 },
        BufferSizeCase { 8, 0, 256 }, BufferSizeCase { 8, -5, 256 }, BufferSizeCase { 6, 100, 252 },
        BufferSizeCase { 6, 2048, 2046 }));

TEST(CryptographyEngine, DefaultBufferIsTheLargestWholeBlockCountIn2048Bytes)
{
    EXPECT_EQ(ToyCipher(6, QByteArrayLiteral("k")).bufferSize(), 2046);
    EXPECT_EQ(TBlowfish(QByteArrayLiteral("k")).bufferSize(), 2048);
}

TEST(CryptographyEngine, FailingBlockStopsBeforeItsChunkIsWritten)
{
    QByteArray text(3000, 'a');
    text[2048 + 16] = '!';
    QByteArray output;
    QBuffer source(&text);
    QBuffer dest(&output);
    source.open(QIODevice::ReadOnly);
    dest.open(QIODevice::WriteOnly);
    ToyCipher cipher(8, QByteArrayLiteral("k"));
    EXPECT_THROW(cipher.EncryptStream(&source, &dest), ECryptographyError);
    // Only the first, fully enciphered chunk went out; no plaintext followed it.
    EXPECT_EQ(output, QByteArray(2048, char('a' ^ 0x5A)));
}

TEST(CryptographyStreams, ReadFromTheCurrentPositionAndWriteAtTheDestinations)
{
    const QByteArray body = randomBytes(1, 3000);
    QByteArray input = QByteArrayLiteral("HEADER") + body;
    QByteArray output = QByteArrayLiteral("VLE");
    QBuffer source(&input);
    QBuffer dest(&output);
    source.open(QIODevice::ReadOnly);
    dest.open(QIODevice::ReadWrite);
    source.seek(6);
    dest.seek(3);
    TBlowfish(QByteArrayLiteral("position")).EncryptStream(&source, &dest);
    EXPECT_EQ(output, QByteArrayLiteral("VLE") + encrypted(QByteArrayLiteral("position"), body));
    EXPECT_TRUE(source.atEnd());
}

// A short read in the middle must not pad a block there: chunks stay 2048 bytes.
TEST(CryptographyStreams, TricklingSourceGivesTheSameOutputAsAFile)
{
    const QByteArray body = randomBytes(2, 5001);
    TrickleDevice source(body, 333);
    source.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    {
        TrickleDevice probe(body, 333);
        probe.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        char buffer[2048];
        ASSERT_LT(probe.read(buffer, sizeof buffer), qint64(sizeof buffer));
    }
    QByteArray output;
    QBuffer dest(&output);
    dest.open(QIODevice::WriteOnly);
    TBlowfish(QByteArrayLiteral("trickle")).EncryptStream(&source, &dest);
    EXPECT_EQ(output, encrypted(QByteArrayLiteral("trickle"), body));
}

TEST(CryptographyStreams, ReadFailureIsReportedNotTakenAsTheEnd)
{
    TrickleDevice source(randomBytes(3, 5000), 2048, 2048);
    source.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    QByteArray output;
    QBuffer dest(&output);
    dest.open(QIODevice::WriteOnly);
    EXPECT_THROW(TBlowfish(QByteArrayLiteral("k")).EncryptStream(&source, &dest), EFileError);
}

TEST(CryptographyStreams, ShortWriteIsReportedNotIgnored)
{
    QByteArray input = randomBytes(4, 5000);
    QBuffer source(&input);
    source.open(QIODevice::ReadOnly);
    TrickleDevice full(QByteArray(), 0, -1, 3000);
    full.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    EXPECT_THROW(TBlowfish(QByteArrayLiteral("k")).EncryptStream(&source, &full), EFileError);

    source.seek(0);
    QByteArray readOnly;
    QBuffer notWritable(&readOnly);
    notWritable.open(QIODevice::ReadOnly);
    EXPECT_THROW(
        TBlowfish(QByteArrayLiteral("k")).DecryptStream(&source, &notWritable), EFileError);
}

TEST(CryptographyStreams, MissingStreamIsRefused)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    TBlowfish cipher(QByteArrayLiteral("k"));
    EXPECT_THROW(cipher.EncryptStream(nullptr, &buffer), std::invalid_argument);
    EXPECT_THROW(cipher.DecryptStream(&buffer, nullptr), std::invalid_argument);
}
