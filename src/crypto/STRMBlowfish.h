#pragma once

#include "crypto/Cryptography.h"

// The program's Blowfish variant: little-endian words, byte-reversed initial
// tables, only the low 5 bits of the S1 and S3 outputs in the round function, and
// the key folded into 72 bytes before it enters the P-array.
class TBlowfish final : public TCryptography
{
public:
    explicit TBlowfish(const QByteArray &key);

    void InitKey() override;
    bool EncryptBlock(char *block) override;
    bool DecryptBlock(char *block) override;
    // One pass over an 8-byte block, taking the P words from index `start` on in
    // steps of `step`: (0, +1) enciphers, (17, -1) deciphers. Throws
    // std::out_of_range when the walk would leave the P-array.
    void Cipher(char *block, int start, int step);

    const quint32 (&p() const)[18] { return P; }
    const quint32 (&s() const)[4][256] { return S; }

protected:
    bool encryptBlocks(char *blocks, qint64 count) override;
    bool decryptBlocks(char *blocks, qint64 count) override;

private:
    template <bool Forward> void cipherWords(quint32 &left, quint32 &right) const;
    template <bool Forward> void cipherRun(char *blocks, qint64 count) const;
    quint32 roundFunction(quint32 x) const;

    quint32 P[18] = {};
    quint32 S[4][256] = {};
};
