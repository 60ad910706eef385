#include "crypto/StrongCipher.h"

#include <QtEndian>

#include <sodium.h>

#include <gtest/gtest.h>

using namespace StrongCipher;

namespace {

const QByteArray kPassword = "correct horse";

// Some text of a given length that is not the same in every chunk.
QByteArray textOf(qsizetype size)
{
    QByteArray text(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    return text;
}

class StrongCipherTest : public ::testing::Test
{
protected:
    void SetUp() override { SetParamsForNewKeys(MinimumParams()); }
    void TearDown() override { SetParamsForNewKeys(DefaultParams()); }

    TKeyPtr key(const QByteArray &password = kPassword) const
    {
        return TStrongKey::Create(password);
    }

    TStatus open(const QByteArray &file, QByteArray *text = nullptr,
                 const QByteArray &password = kPassword) const
    {
        QByteArray out;
        const TStatus status = Decipher(file, password, out, qint64(1) << 30);
        if (text)
            *text = out;
        return status;
    }
};

// Sizes around the chunk boundaries: the final chunk may be empty, short or full.
class StrongRoundTrip : public StrongCipherTest, public ::testing::WithParamInterface<qsizetype>
{
};

TEST_P(StrongRoundTrip, TextComesBackExactly)
{
    const QByteArray text = textOf(GetParam());
    const QByteArray file = Encipher(text, key());
    // A text of whole chunks ends with a full final chunk, not an empty one.
    const qsizetype chunks = std::max<qsizetype>(1, (text.size() + ChunkSize - 1) / ChunkSize);
    EXPECT_EQ(file.size(), HeaderSize + text.size() + chunks * ChunkOverhead);
    EXPECT_TRUE(IsStrongData(file));
    QByteArray back;
    ASSERT_EQ(open(file, &back), TStatus::Ok);
    EXPECT_EQ(back, text);
}

INSTANTIATE_TEST_SUITE_P(Sizes, StrongRoundTrip,
                         ::testing::Values(0, 1, ChunkSize - 1, ChunkSize, ChunkSize + 1,
                                           3 * ChunkSize + 5));

// Small pieces are gathered, large ones enciphered while the next is made: in any mix
// the file is the same text, and the caller may reuse its buffer at once.
TEST_F(StrongCipherTest, TextFedInPiecesGivesAFileThatOpensTheSame)
{
    const QByteArray text = textOf(3 * 1024 * 1024 + 12345);
    QByteArray file;
    TWriter writer(key(), [&file](QByteArrayView piece) { file.append(piece); });
    const qsizetype sizes[] = {1000, 300 * 1024, 7, ChunkSize, 1024 * 1024, 5, 400 * 1024};
    QByteArray buffer;
    for (qsizetype at = 0, i = 0; at < text.size(); at += buffer.size(), ++i) {
        buffer = text.mid(at, sizes[i % std::size(sizes)]);
        writer.Write(buffer);
        buffer.fill('#'); // what a caller reusing its buffer does
    }
    writer.Finish();
    QByteArray back;
    ASSERT_EQ(open(file, &back), TStatus::Ok);
    EXPECT_EQ(back, text);
}

TEST_F(StrongCipherTest, SameKeyAndTextNeverGiveTheSameCipherText)
{
    // The key is kept across saves of a document: each save needs a stream of its own.
    const TKeyPtr k = key();
    const QByteArray a = Encipher("same text", k);
    const QByteArray b = Encipher("same text", k);
    EXPECT_EQ(a.first(42), b.first(42)); // magic, version, cost and salt
    EXPECT_NE(a.mid(42), b.mid(42));
    EXPECT_NE(a.mid(42, 24), b.mid(42, 24));
}

TEST_F(StrongCipherTest, ReaderUsesTheCostStoredInTheFile)
{
    const QByteArray file = Encipher("text", key());
    SetParamsForNewKeys({MinimumParams().OpsLimit + 1, MinimumParams().MemLimit * 2});
    QByteArray back;
    EXPECT_EQ(open(file, &back), TStatus::Ok);
    EXPECT_EQ(back, "text");
    THeader header;
    ASSERT_EQ(ParseHeader(Encipher("x", key()), &header), TStatus::Ok);
    EXPECT_EQ(header.Params.OpsLimit, MinimumParams().OpsLimit + 1);
    EXPECT_EQ(header.Params.MemLimit, MinimumParams().MemLimit * 2);
}

TEST_F(StrongCipherTest, WrongPasswordIsToldApartFromDamage)
{
    const QByteArray file = Encipher(textOf(100), key());
    for (const QByteArray &wrong : {QByteArray(), QByteArray("correct horse "),
                                    QByteArray("Correct horse"), QByteArray("x")}) {
        QByteArray back = "left over";
        EXPECT_EQ(open(file, &back, wrong), TStatus::WrongPassword) << wrong.constData();
        EXPECT_TRUE(back.isEmpty());
    }
}

// One byte flipped in each part of a file of three chunks: every one is damage, none
// reads as a wrong password or gives any text.
struct TFlip
{
    const char *name;
    qsizetype at; // from the start; negative from the end
    TStatus expected;
};

class StrongFlippedByte : public StrongCipherTest, public ::testing::WithParamInterface<TFlip>
{
};

TEST_P(StrongFlippedByte, IsReportedAsWhatItIs)
{
    QByteArray file = Encipher(textOf(2 * ChunkSize + 10), key());
    const qsizetype at = GetParam().at >= 0 ? GetParam().at : file.size() + GetParam().at;
    file[at] = static_cast<char>(file[at] ^ 0x01);
    QByteArray back;
    EXPECT_EQ(open(file, &back), GetParam().expected);
    EXPECT_TRUE(back.isEmpty());
}

constexpr qsizetype kChunk = ChunkSize + ChunkOverhead;

INSTANTIATE_TEST_SUITE_P(
    Regions, StrongFlippedByte,
    ::testing::Values(TFlip{"Magic", 3, TStatus::NotThisFormat},
                      TFlip{"Version", 8, TStatus::DamagedHeader},
                      TFlip{"OpsLimit", 10, TStatus::DamagedHeader},
                      TFlip{"MemLimit", 20, TStatus::DamagedHeader},
                      TFlip{"Salt", 30, TStatus::DamagedHeader},
                      TFlip{"StreamHeader", 50, TStatus::DamagedHeader},
                      TFlip{"HeaderMac", 70, TStatus::DamagedHeader},
                      TFlip{"HeaderCheck", 100, TStatus::DamagedHeader},
                      TFlip{"FirstChunkTag", HeaderSize, TStatus::DamagedChunk},
                      TFlip{"FirstChunkText", HeaderSize + 500, TStatus::DamagedChunk},
                      TFlip{"SecondChunk", HeaderSize + kChunk + 9, TStatus::DamagedChunk},
                      TFlip{"LastChunkTag", HeaderSize + 2 * kChunk, TStatus::DamagedChunk},
                      TFlip{"LastByte", -1, TStatus::DamagedChunk}),
    [](const ::testing::TestParamInfo<TFlip> &info) { return std::string(info.param.name); });

TEST_F(StrongCipherTest, ChunksMovedRemovedOrCutAreDamage)
{
    const QByteArray file = Encipher(textOf(3 * ChunkSize + 10), key());
    const QByteArray head = file.first(HeaderSize);
    const auto chunk = [&](int i) { return file.mid(HeaderSize + i * kChunk, kChunk); };
    ASSERT_EQ(chunk(3).size(), 10 + ChunkOverhead);

    EXPECT_EQ(open(head + chunk(1) + chunk(0) + chunk(2) + chunk(3)), TStatus::DamagedChunk);
    EXPECT_EQ(open(head + chunk(0) + chunk(2) + chunk(3)), TStatus::DamagedChunk);
    EXPECT_EQ(open(head + chunk(0) + chunk(1) + chunk(2) + chunk(2) + chunk(3)),
              TStatus::DamagedChunk);
    // Cut where a chunk ends: every chunk authentic, the final one missing.
    EXPECT_EQ(open(head + chunk(0) + chunk(1)), TStatus::MissingEnd);
    EXPECT_EQ(open(head), TStatus::MissingEnd);
    // Cut inside a chunk, and inside the header.
    EXPECT_EQ(open(file.first(file.size() - 1)), TStatus::DamagedChunk);
    EXPECT_EQ(open(file.first(HeaderSize + 5)), TStatus::DamagedChunk);
    EXPECT_EQ(open(file.first(HeaderSize - 1)), TStatus::DamagedHeader);
    EXPECT_EQ(open(file.first(4)), TStatus::NotThisFormat);
    // Anything after a short final chunk makes it another chunk, which fails.
    EXPECT_EQ(open(file + '\0'), TStatus::DamagedChunk);
    EXPECT_EQ(open(file + chunk(3)), TStatus::DamagedChunk);
    // After a full one it is seen for what it is.
    const QByteArray full = Encipher(textOf(ChunkSize), key());
    ASSERT_EQ(full.size(), HeaderSize + kChunk);
    EXPECT_EQ(open(full), TStatus::Ok);
    EXPECT_EQ(open(full + '\0'), TStatus::TrailingBytes);
    EXPECT_EQ(open(full + full.mid(HeaderSize)), TStatus::TrailingBytes);
}

TEST_F(StrongCipherTest, ChunkFromAnotherFileOfTheSameKeyIsDamage)
{
    // Saves of one document share their key: their chunks must still not mix.
    const TKeyPtr k = key();
    const QByteArray a = Encipher(textOf(2 * ChunkSize), k);
    const QByteArray b = Encipher(textOf(2 * ChunkSize), k);
    EXPECT_EQ(open(a.first(HeaderSize + kChunk) + b.mid(HeaderSize + kChunk)),
              TStatus::DamagedChunk);
    EXPECT_EQ(open(b.first(HeaderSize) + a.mid(HeaderSize)), TStatus::DamagedChunk);
}

// A header made to ask for more than the reader allows, with its checksum made to fit:
// refused before any key is derived or memory taken.
TEST_F(StrongCipherTest, HeaderAskingForAbsurdCostIsRefused)
{
    const QByteArray file = Encipher("text", key());
    const auto withCost = [&](quint64 ops, quint64 mem) {
        QByteArray forged = file;
        auto *h = reinterpret_cast<uchar *>(forged.data());
        qToLittleEndian<quint64>(ops, h + 10);
        qToLittleEndian<quint64>(mem, h + 18);
        crypto_generichash(h + 98, 16, h, 98, nullptr, 0);
        THeader header;
        return ParseHeader(forged, &header);
    };
    const TKdfParams low = MinimumParams();
    const TKdfParams high = MaximumParams();
    EXPECT_EQ(withCost(low.OpsLimit, low.MemLimit), TStatus::Ok);
    EXPECT_EQ(withCost(high.OpsLimit, high.MemLimit), TStatus::Ok);
    EXPECT_EQ(withCost(high.OpsLimit + 1, low.MemLimit), TStatus::DamagedHeader);
    EXPECT_EQ(withCost(low.OpsLimit, high.MemLimit + 1), TStatus::DamagedHeader);
    EXPECT_EQ(withCost(~quint64(0), ~quint64(0)), TStatus::DamagedHeader);
    EXPECT_EQ(withCost(0, low.MemLimit), TStatus::DamagedHeader);
    EXPECT_EQ(withCost(low.OpsLimit, low.MemLimit - 1), TStatus::DamagedHeader);
}

TEST_F(StrongCipherTest, NewerVersionIsSaidAsSuch)
{
    QByteArray file = Encipher("text", key());
    auto *h = reinterpret_cast<uchar *>(file.data());
    qToLittleEndian<quint16>(Version + 1, h + 8);
    crypto_generichash(h + 98, 16, h, 98, nullptr, 0);
    EXPECT_EQ(open(file), TStatus::NewerVersion);
}

TEST_F(StrongCipherTest, TextLargerThanTheCallerTakesIsRefused)
{
    const QByteArray file = Encipher(textOf(ChunkSize + 1), key());
    QByteArray text;
    EXPECT_EQ(Decipher(file, kPassword, text, ChunkSize), TStatus::TooLarge);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(Decipher(file, kPassword, text, ChunkSize + 1), TStatus::Ok);
}

} // namespace
