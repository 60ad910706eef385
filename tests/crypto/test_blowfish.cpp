#include "ReferenceBlowfish.h"

#include "crypto/STRMBlowfish.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

QByteArray randomBytes(QRandomGenerator &random, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (auto &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

QByteArray encryptString(TBlowfish &cipher, QByteArray text)
{
    cipher.EncryptString(text);
    return text;
}

QByteArray decryptString(TBlowfish &cipher, QByteArray text)
{
    cipher.DecryptString(text);
    return text;
}

QByteArray encryptStream(TBlowfish &cipher, const QByteArray &text)
{
    QByteArray input = text;
    QByteArray output;
    QBuffer source(&input);
    QBuffer dest(&output);
    source.open(QIODevice::ReadOnly);
    dest.open(QIODevice::WriteOnly);
    cipher.EncryptStream(&source, &dest);
    return output;
}

bool tablesEqual(const TBlowfish &cipher, const ReferenceBlowfish &reference)
{
    return std::memcmp(cipher.p(), reference.p, sizeof reference.p) == 0
        && std::memcmp(cipher.s(), reference.s, sizeof reference.s) == 0;
}

bool tablesAllZero(const TBlowfish &cipher)
{
    const auto zero = [](quint32 w) { return w == 0; };
    return std::all_of(std::begin(cipher.p()), std::end(cipher.p()), zero)
        && std::all_of(&cipher.s()[0][0], &cipher.s()[0][0] + 1024, zero);
}

} // namespace

class ZeroStateKey : public testing::TestWithParam<const char *>
{
};

// These keys never reach the key schedule, so the "cipher" only exchanges halves.
TEST_P(ZeroStateKey, LeavesTablesZeroAndOnlyExchangesHalves)
{
    TBlowfish cipher { QByteArray(GetParam()) };
    EXPECT_TRUE(tablesAllZero(cipher));
    EXPECT_EQ(cipher.keyBuffer(), QByteArray(72, '\0'));

    const QByteArray encrypted = encryptString(cipher, QByteArrayLiteral("ABCDEFGHijklmnop"));
    EXPECT_EQ(encrypted, QByteArrayLiteral("EFGHABCDmnopijkl"));
    EXPECT_EQ(decryptString(cipher, encrypted), QByteArrayLiteral("ABCDEFGHijklmnop"));
}

INSTANTIATE_TEST_SUITE_P(Keys, ZeroStateKey, testing::Values("", "quokka"));

TEST(Blowfish, KeyOf72BytesIsTheKeyBufferUnchanged)
{
    QRandomGenerator random(72);
    const QByteArray key = randomBytes(random, 72);
    TBlowfish cipher(key);
    EXPECT_EQ(cipher.keyBuffer(), key);
}

TEST(Blowfish, KeyOf73BytesFoldsItsSecondHalfOntoTheFirst)
{
    QRandomGenerator random(73);
    const QByteArray key = randomBytes(random, 73);
    // The key repeated to 144 bytes; word j of the second half rotates word j of
    // the first half by itself and is then XORed in.
    const QByteArray repeated = key + key.left(71);
    QByteArray expected(72, '\0');
    for (int j = 0; j < 18; ++j) {
        quint32 first, second;
        std::memcpy(&first, repeated.constData() + 4 * j, 4);
        std::memcpy(&second, repeated.constData() + 72 + 4 * j, 4);
        first = qFromLittleEndian(first);
        second = qFromLittleEndian(second);
        const unsigned n = second % 32;
        const quint32 folded = (n ? (first << n) | (first >> (32 - n)) : first) ^ second;
        qToLittleEndian(folded, expected.data() + 4 * j);
    }
    TBlowfish cipher(key);
    EXPECT_EQ(cipher.keyBuffer(), expected);
}

class KeyLength : public testing::TestWithParam<int>
{
};

// Key buffer, scheduled tables and output all agree with the literal reference.
TEST_P(KeyLength, MatchesReferenceImplementation)
{
    QRandomGenerator random(GetParam());
    const QByteArray key = randomBytes(random, GetParam());
    const QByteArray text = randomBytes(random, 5000);
    TBlowfish cipher(key);
    const ReferenceBlowfish reference(key);

    EXPECT_EQ(cipher.keyBuffer(), reference.keyBuffer);
    EXPECT_TRUE(tablesEqual(cipher, reference));
    const QByteArray encrypted = reference.encrypt(text);
    EXPECT_EQ(encryptString(cipher, text), encrypted);
    EXPECT_EQ(encryptStream(cipher, text), encrypted);
    EXPECT_EQ(decryptString(cipher, encrypted), reference.decrypt(encrypted));
}

INSTANTIATE_TEST_SUITE_P(Lengths, KeyLength, testing::Values(1, 4, 5, 71, 72, 73, 144, 145, 1000));

// Fixed answers, so a change that alters stored files is caught even if the
// reference above were changed along with the cipher.
struct KnownAnswer
{
    const char *name;
    QByteArray key;
    QByteArray plain;
    std::string cipherHex;
};

class KnownAnswerTest : public testing::TestWithParam<KnownAnswer>
{
};

TEST_P(KnownAnswerTest, EnciphersToTheFixedBytes)
{
    const KnownAnswer &answer = GetParam();
    TBlowfish cipher(answer.key);
    EXPECT_EQ(encryptString(cipher, answer.plain).toHex().toStdString(), answer.cipherHex);
    EXPECT_EQ(ReferenceBlowfish(answer.key).encrypt(answer.plain).toHex().toStdString(),
        answer.cipherHex);
}

INSTANTIATE_TEST_SUITE_P(Vectors, KnownAnswerTest,
    testing::Values(KnownAnswer { "ZeroBlockShortKey", QByteArrayLiteral("secret"),
                        QByteArray(8, '\0'), "7af0c73c60907c1e" },
        KnownAnswer { "DocTypeLine", QByteArrayLiteral("password"),
            QByteArrayLiteral("<!DOCTYPE Vellumtree-File>\r\n"),
            "fc964578091660e081b9e69cd8fccd52ebd0054d9c5eae80c1d8114d88687a38" },
        KnownAnswer { "LongKeyPartialBlock",
            QByteArrayLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ+-*/"
                              "!?.,;:()[]"),
            QByteArrayLiteral("hello"), "53879f454c0d5917" }),
    [](const testing::TestParamInfo<KnownAnswer> &info) { return info.param.name; });

struct LengthCase
{
    qsizetype in;
    qsizetype out;
};

class OutputLength : public testing::TestWithParam<LengthCase>
{
};

TEST_P(OutputLength, IsInputRoundedUpToWholeBlocks)
{
    QRandomGenerator random(quint32(GetParam().in));
    const QByteArray text = randomBytes(random, GetParam().in);
    TBlowfish cipher(QByteArrayLiteral("length"));
    EXPECT_EQ(encryptString(cipher, text).size(), GetParam().out);
    EXPECT_EQ(encryptStream(cipher, text).size(), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Lengths, OutputLength,
    testing::Values(LengthCase { 0, 0 }, LengthCase { 1, 8 }, LengthCase { 8, 8 },
        LengthCase { 2047, 2048 }, LengthCase { 2048, 2048 }, LengthCase { 2049, 2056 },
        LengthCase { 4097, 4104 }));

TEST(Blowfish, LastPartialBlockOfTheStreamIsZeroPadded)
{
    QRandomGenerator random(2049);
    const QByteArray text = randomBytes(random, 2049);
    TBlowfish cipher(QByteArrayLiteral("padding"));
    const QByteArray encrypted = encryptStream(cipher, text);
    ASSERT_EQ(encrypted.size(), 2056);

    EXPECT_EQ(encrypted.left(2048), encryptString(cipher, text.left(2048)));
    QByteArray lastBlock = text.right(1) + QByteArray(7, '\0');
    cipher.EncryptBlock(lastBlock.data());
    EXPECT_EQ(encrypted.right(8), lastBlock);
    EXPECT_EQ(decryptString(cipher, encrypted), text + QByteArray(7, '\0'));
}

TEST(Blowfish, EqualPlainBlocksGiveEqualCipherBlocks)
{
    QRandomGenerator random(8);
    QByteArray text = randomBytes(random, 6000);
    const QByteArray block = randomBytes(random, 8);
    // Inside the first chunk, and in the second and third chunks.
    for (int offset : { 8, 800, 2048, 5000 })
        text.replace(offset, 8, block);
    TBlowfish cipher(QByteArrayLiteral("ecb"));
    const QByteArray encrypted = encryptString(cipher, text);
    for (int offset : { 800, 2048, 5000 })
        EXPECT_EQ(encrypted.mid(offset, 8), encrypted.mid(8, 8)) << offset;
}

// Runs of whole blocks are enciphered several at a time; every run length around
// that grouping must give what one block at a time gives.
TEST(Blowfish, BlockRunsOfEveryLengthMatchSingleBlocks)
{
    QRandomGenerator random(9);
    TBlowfish cipher(QByteArrayLiteral("interleaved"));
    for (int blocks = 1; blocks <= 11; ++blocks) {
        const QByteArray text = randomBytes(random, 8 * blocks);
        QByteArray expected = text;
        for (int i = 0; i < blocks; ++i)
            cipher.Cipher(expected.data() + 8 * i, 0, 1);
        const QByteArray encrypted = encryptString(cipher, text);
        EXPECT_EQ(encrypted, expected) << blocks;
        EXPECT_EQ(decryptString(cipher, encrypted), text) << blocks;
    }
}

TEST(Blowfish, DecryptUndoesEncryptForRandomKeysAndData)
{
    QRandomGenerator random(42);
    for (int i = 0; i < 40; ++i) {
        const QByteArray key = randomBytes(random, 1 + random.bounded(200));
        const QByteArray text = randomBytes(random, random.bounded(9000));
        TBlowfish cipher(key);
        const QByteArray padded = text + QByteArray((8 - text.size() % 8) % 8, '\0');
        EXPECT_EQ(decryptString(cipher, encryptString(cipher, text)), padded);

        QByteArray block = text.left(8).leftJustified(8, '\0');
        const QByteArray original = block;
        cipher.EncryptBlock(block.data());
        QByteArray viaCipher = original;
        cipher.Cipher(viaCipher.data(), 0, 1);
        EXPECT_EQ(viaCipher, block);
        cipher.DecryptBlock(block.data());
        EXPECT_EQ(block, original);
        cipher.Cipher(viaCipher.data(), 17, -1);
        EXPECT_EQ(viaCipher, original);
    }
}

TEST(Blowfish, CipherRefusesAWalkOutsideThePArray)
{
    TBlowfish cipher(QByteArrayLiteral("bounds"));
    char block[8] = {};
    EXPECT_THROW(cipher.Cipher(block, 1, 1), std::out_of_range);
    EXPECT_THROW(cipher.Cipher(block, 16, -1), std::out_of_range);
    EXPECT_THROW(cipher.Cipher(block, 18, 0), std::out_of_range);
    EXPECT_THROW(cipher.Cipher(block, 0, 2), std::out_of_range);
}

TEST(Blowfish, NewKeyOnAUsedObjectFoldsOntoTheOldKeyBuffer)
{
    TBlowfish used(QByteArrayLiteral("first key"));
    used.SetKey(QByteArrayLiteral("second key"));
    const TBlowfish fresh(QByteArrayLiteral("second key"));
    EXPECT_NE(used.keyBuffer(), fresh.keyBuffer());
    EXPECT_NE(std::memcmp(used.p(), fresh.p(), sizeof fresh.p()), 0);

    ReferenceBlowfish reference(QByteArrayLiteral("first key"));
    reference.setKey(QByteArrayLiteral("second key"));
    EXPECT_EQ(used.keyBuffer(), reference.keyBuffer);
    EXPECT_TRUE(tablesEqual(used, reference));
}
