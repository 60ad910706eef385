#include "crypto/STRMBlowfish.h"

#include "crypto/BlowfishData.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr int blowfishBlockSize = 8;
constexpr int blowfishKeySize = 72;
constexpr int pWords = 18;

} // namespace

TBlowfish::TBlowfish(const QByteArray &key)
{
    Init(u"Blowfish"_s, blowfishBlockSize, blowfishKeySize, key);
}

inline quint32 TBlowfish::roundFunction(quint32 x) const
{
    // Only the low 5 bits of the S1 and S3 outputs take part.
    return ((S[0][x >> 24] + (S[1][(x >> 16) & 0xFF] & 0x1F)) ^ S[2][(x >> 8) & 0xFF])
        + (S[3][x & 0xFF] & 0x1F);
}

// The 16 rounds two at a time, so the halves need no exchange in between;
// `left` and `right` are the block's first and second little-endian words.
template <bool Forward> inline void TBlowfish::cipherWords(quint32 &left, quint32 &right) const
{
    constexpr auto index = [](int i) { return Forward ? i : pWords - 1 - i; };
    quint32 l = left;
    quint32 r = right;
    for (int i = 0; i < 16; i += 2) {
        l ^= P[index(i)];
        r ^= roundFunction(l);
        r ^= P[index(i + 1)];
        l ^= roundFunction(r);
    }
    left = r ^ P[index(17)];
    right = l ^ P[index(16)];
}

void TBlowfish::InitKey()
{
    std::memcpy(P, blowfishInitialP, sizeof P);
    std::memcpy(S, blowfishInitialS, sizeof S);

    const qsizetype keyWords = std::min<qsizetype>(KeyBuffer.size() / 4, pWords);
    for (qsizetype i = 0; i < keyWords; ++i)
        P[i] ^= qFromLittleEndian<quint32>(KeyBuffer.constData() + 4 * i);

    // One chain through P and all four S-boxes, as in the published schedule.
    quint32 l = 0;
    quint32 r = 0;
    for (int i = 0; i < pWords; i += 2) {
        cipherWords<true>(l, r);
        P[i] = l;
        P[i + 1] = r;
    }
    for (auto &box : S) {
        for (int i = 0; i < 256; i += 2) {
            cipherWords<true>(l, r);
            box[i] = l;
            box[i + 1] = r;
        }
    }
}

bool TBlowfish::EncryptBlock(char *block)
{
    return encryptBlocks(block, 1);
}

bool TBlowfish::DecryptBlock(char *block)
{
    return decryptBlocks(block, 1);
}

void TBlowfish::Cipher(char *block, int start, int step)
{
    // k takes the values start, start + step, ..., start + 17 * step; both ends
    // inside the array keep every one of them inside.
    const int last = start + 17 * step;
    if (start < 0 || start >= pWords || last < 0 || last >= pWords)
        throw std::out_of_range("TBlowfish::Cipher: P index out of range");

    quint32 l = qFromLittleEndian<quint32>(block);
    quint32 r = qFromLittleEndian<quint32>(block + 4);
    int k = start;
    for (int round = 0; round < 16; ++round) {
        l ^= P[k];
        k += step;
        r ^= roundFunction(l);
        std::swap(l, r);
    }
    std::swap(l, r);
    r ^= P[k];
    k += step;
    l ^= P[k];
    qToLittleEndian(l, block);
    qToLittleEndian(r, block + 4);
}

// Four independent blocks per loop turn: in ECB nothing chains them, so the
// processor overlaps their table look-ups instead of waiting on one round at a time.
template <bool Forward> void TBlowfish::cipherRun(char *blocks, qint64 count) const
{
    constexpr int lanes = 4;
    constexpr auto index = [](int i) { return Forward ? i : pWords - 1 - i; };
    char *block = blocks;
    char *const end = blocks + count * blowfishBlockSize;
    for (; end - block >= lanes * blowfishBlockSize; block += lanes * blowfishBlockSize) {
        quint32 l[lanes];
        quint32 r[lanes];
        for (int j = 0; j < lanes; ++j) {
            l[j] = qFromLittleEndian<quint32>(block + j * blowfishBlockSize);
            r[j] = qFromLittleEndian<quint32>(block + j * blowfishBlockSize + 4);
        }
        for (int i = 0; i < 16; i += 2) {
            const quint32 p0 = P[index(i)];
            const quint32 p1 = P[index(i + 1)];
            for (int j = 0; j < lanes; ++j) {
                l[j] ^= p0;
                r[j] ^= roundFunction(l[j]) ^ p1;
            }
            for (int j = 0; j < lanes; ++j)
                l[j] ^= roundFunction(r[j]);
        }
        for (int j = 0; j < lanes; ++j) {
            qToLittleEndian(r[j] ^ P[index(17)], block + j * blowfishBlockSize);
            qToLittleEndian(l[j] ^ P[index(16)], block + j * blowfishBlockSize + 4);
        }
    }
    for (; block != end; block += blowfishBlockSize) {
        quint32 l = qFromLittleEndian<quint32>(block);
        quint32 r = qFromLittleEndian<quint32>(block + 4);
        cipherWords<Forward>(l, r);
        qToLittleEndian(l, block);
        qToLittleEndian(r, block + 4);
    }
}

bool TBlowfish::encryptBlocks(char *blocks, qint64 count)
{
    cipherRun<true>(blocks, count);
    return true;
}

bool TBlowfish::decryptBlocks(char *blocks, qint64 count)
{
    cipherRun<false>(blocks, count);
    return true;
}
