// The initial tables are checked against OpenSSL's published Blowfish: a plain
// Blowfish built from our byte-reversed tables must schedule and encipher exactly
// as OpenSSL does. A wrong digit anywhere would silently change every stored file.

#include "crypto/BlowfishData.h"

// Blowfish is deprecated in OpenSSL 3 but still the reference we need here.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <QRandomGenerator>
#include <QtEndian>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

// Textbook Blowfish: big-endian words, full S-box sums, key bytes taken cyclically.
class PublishedBlowfish
{
public:
    explicit PublishedBlowfish(const std::vector<unsigned char> &key)
    {
        for (int i = 0; i < 18; ++i)
            p[i] = qbswap(blowfishInitialP[i]);
        for (int box = 0; box < 4; ++box) {
            for (int i = 0; i < 256; ++i)
                s[box][i] = qbswap(blowfishInitialS[box][i]);
        }
        size_t j = 0;
        for (auto &word : p) {
            quint32 data = 0;
            for (int k = 0; k < 4; ++k) {
                data = (data << 8) | key[j];
                j = (j + 1) % key.size();
            }
            word ^= data;
        }
        quint32 l = 0, r = 0;
        for (int i = 0; i < 18; i += 2) {
            encrypt(l, r);
            p[i] = l;
            p[i + 1] = r;
        }
        for (auto &box : s) {
            for (int i = 0; i < 256; i += 2) {
                encrypt(l, r);
                box[i] = l;
                box[i + 1] = r;
            }
        }
    }

    void encrypt(quint32 &l, quint32 &r) const
    {
        for (int i = 0; i < 16; ++i) {
            l ^= p[i];
            r ^= f(l);
            std::swap(l, r);
        }
        std::swap(l, r);
        r ^= p[16];
        l ^= p[17];
    }

    std::array<unsigned char, 8> encryptBlock(const std::array<unsigned char, 8> &in) const
    {
        quint32 l = qFromBigEndian<quint32>(in.data());
        quint32 r = qFromBigEndian<quint32>(in.data() + 4);
        encrypt(l, r);
        std::array<unsigned char, 8> out {};
        qToBigEndian(l, out.data());
        qToBigEndian(r, out.data() + 4);
        return out;
    }

    quint32 p[18];
    quint32 s[4][256];

private:
    quint32 f(quint32 x) const
    {
        return ((s[0][x >> 24] + s[1][(x >> 16) & 0xFF]) ^ s[2][(x >> 8) & 0xFF]) + s[3][x & 0xFF];
    }
};

std::vector<unsigned char> randomBytes(QRandomGenerator &random, size_t size)
{
    std::vector<unsigned char> bytes(size);
    for (auto &byte : bytes)
        byte = static_cast<unsigned char>(random.bounded(256));
    return bytes;
}

} // namespace

// Every initial S word is read during some of these schedules, so a wrong one
// shows up in the scheduled tables or in the cipher output.
TEST(BlowfishTables, PublishedBlowfishFromOurTablesMatchesOpenSsl)
{
    QRandomGenerator random(20240601);
    std::vector<std::vector<unsigned char>> keys = {
        { 'a' },
        { 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h' },
        std::vector<unsigned char>(72, 0xFF),
    };
    for (int i = 0; i < 64; ++i)
        keys.push_back(randomBytes(random, 1 + random.bounded(72)));

    for (const auto &key : keys) {
        SCOPED_TRACE(key.size());
        BF_KEY openssl;
        BF_set_key(&openssl, static_cast<int>(key.size()), key.data());
        const PublishedBlowfish ours(key);

        ASSERT_EQ(0, std::memcmp(ours.p, openssl.P, sizeof ours.p));
        ASSERT_EQ(0, std::memcmp(ours.s, openssl.S, sizeof ours.s));

        for (int b = 0; b < 4; ++b) {
            std::array<unsigned char, 8> block {};
            const auto bytes = randomBytes(random, 8);
            std::copy(bytes.begin(), bytes.end(), block.begin());
            std::array<unsigned char, 8> expected {};
            BF_ecb_encrypt(block.data(), expected.data(), &openssl, BF_ENCRYPT);
            EXPECT_EQ(ours.encryptBlock(block), expected);
        }
    }
}
