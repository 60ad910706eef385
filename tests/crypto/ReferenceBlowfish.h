#pragma once

// A deliberately literal second implementation of the program's Blowfish
// variant, written step by step from its description and sharing nothing with
// the real one but the initial tables (which test_blowfish_tables.cpp proves).

#include "crypto/BlowfishData.h"

#include <QByteArray>

#include <cstring>
#include <utility>

class ReferenceBlowfish
{
public:
    explicit ReferenceBlowfish(const QByteArray &key) { setKey(key); }

    void setKey(const QByteArray &newKey)
    {
        if (newKey != key && !newKey.isEmpty()) {
            key = newKey;
            foldKey();
            schedule();
        }
        key = newKey;
    }

    QByteArray encrypt(const QByteArray &text) const { return process(text, 0, 1); }
    QByteArray decrypt(const QByteArray &text) const { return process(text, 17, -1); }

    QByteArray key = QByteArrayLiteral("quokka");
    QByteArray keyBuffer = QByteArray(72, '\0');
    quint32 p[18] = {};
    quint32 s[4][256] = {};

private:
    static quint32 word(const QByteArray &bytes, int pos)
    {
        return quint32(quint8(bytes[pos])) | quint32(quint8(bytes[pos + 1])) << 8
            | quint32(quint8(bytes[pos + 2])) << 16 | quint32(quint8(bytes[pos + 3])) << 24;
    }
    static void setWord(QByteArray &bytes, int pos, quint32 w)
    {
        for (int i = 0; i < 4; ++i)
            bytes[pos + i] = char((w >> (8 * i)) & 0xFF);
    }

    void foldKey()
    {
        QByteArray t = key;
        int i = 1;
        while (t.size() % 72 != 0) {
            t.append(t[i - 1]);
            ++i;
        }
        for (int g = 0; g < t.size() / 4; ++g) {
            const quint32 w = word(t, 4 * g);
            const int j = g % 18;
            const quint32 old = word(keyBuffer, 4 * j);
            const unsigned n = w % 32;
            const quint32 rotated = n == 0 ? old : (old << n) | (old >> (32 - n));
            setWord(keyBuffer, 4 * j, rotated ^ w);
        }
    }

    quint32 f(quint32 x) const
    {
        const quint32 a = x >> 24, b = (x >> 16) & 0xFF, c = (x >> 8) & 0xFF, d = x & 0xFF;
        return ((s[0][a] + (s[1][b] & 0x1F)) ^ s[2][c]) + (s[3][d] & 0x1F);
    }

    void cipher(quint32 &outL, quint32 &outR, int start, int step) const
    {
        quint32 l = outL, r = outR;
        int k = start;
        for (int round = 0; round < 16; ++round) {
            l ^= p[k];
            k += step;
            r ^= f(l);
            std::swap(l, r);
        }
        std::swap(l, r);
        r ^= p[k];
        k += step;
        l ^= p[k];
        outL = l;
        outR = r;
    }

    void schedule()
    {
        std::memcpy(p, blowfishInitialP, sizeof p);
        std::memcpy(s, blowfishInitialS, sizeof s);
        for (int i = 0; i < 18; ++i)
            p[i] ^= word(keyBuffer, 4 * i);
        quint32 l = 0, r = 0;
        for (int i = 0; i <= 16; i += 2) {
            cipher(l, r, 0, 1);
            p[i] = l;
            p[i + 1] = r;
        }
        for (auto &box : s) {
            for (int i = 0; i <= 254; i += 2) {
                cipher(l, r, 0, 1);
                box[i] = l;
                box[i + 1] = r;
            }
        }
    }

    QByteArray process(const QByteArray &text, int start, int step) const
    {
        QByteArray out;
        int pos = 0;
        for (;;) {
            QByteArray buffer(2048, '\0');
            const int n = std::min<int>(2048, int(text.size()) - pos);
            if (n <= 0)
                break;
            std::memcpy(buffer.data(), text.constData() + pos, size_t(n));
            pos += n;
            const int blocks = n / 8 + (n % 8 > 0 ? 1 : 0);
            for (int b = 0; b < blocks; ++b) {
                quint32 l = word(buffer, 8 * b), r = word(buffer, 8 * b + 4);
                cipher(l, r, start, step);
                setWord(buffer, 8 * b, l);
                setWord(buffer, 8 * b + 4, r);
            }
            out.append(buffer.left(blocks * 8));
        }
        return out;
    }
};
