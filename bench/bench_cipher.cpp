// Throughput of the program's cipher against OpenSSL's Blowfish on the same
// 16 MB, reported as a ratio so that a busy machine still gives comparable numbers.

#include "crypto/STRMBlowfish.h"

// Blowfish is deprecated in OpenSSL 3 but remains the natural yardstick here.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <QBuffer>
#include <QRandomGenerator>

#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr qsizetype bufferSize = 16 * 1024 * 1024;

const QByteArray &plainText()
{
    static const QByteArray text = [] {
        QRandomGenerator random(16);
        QByteArray bytes(bufferSize, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        return bytes;
    }();
    return text;
}

const QByteArray key = QByteArrayLiteral("a benchmark password");

void BM_OpenSslEcb(benchmark::State &state)
{
    BF_KEY schedule;
    BF_set_key(&schedule, int(key.size()), reinterpret_cast<const unsigned char *>(key.data()));
    QByteArray text = plainText();
    auto *data = reinterpret_cast<unsigned char *>(text.data());
    for (auto _ : state) {
        for (qsizetype i = 0; i < text.size(); i += 8)
            BF_ecb_encrypt(data + i, data + i, &schedule, BF_ENCRYPT);
        benchmark::DoNotOptimize(data);
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}

void BM_EncryptString(benchmark::State &state)
{
    TBlowfish cipher(key);
    QByteArray text = plainText();
    for (auto _ : state) {
        cipher.EncryptString(text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * bufferSize);
}

void BM_DecryptString(benchmark::State &state)
{
    TBlowfish cipher(key);
    QByteArray text = plainText();
    for (auto _ : state) {
        cipher.DecryptString(text);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * bufferSize);
}

void BM_EncryptStream(benchmark::State &state)
{
    TBlowfish cipher(key);
    QByteArray input = plainText();
    QByteArray output;
    output.reserve(bufferSize);
    QBuffer source(&input);
    QBuffer dest(&output);
    source.open(QIODevice::ReadOnly);
    dest.open(QIODevice::WriteOnly);
    for (auto _ : state) {
        source.seek(0);
        dest.seek(0);
        cipher.EncryptStream(&source, &dest);
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(state.iterations() * bufferSize);
}

// The program schedules a key for every file it reads or writes.
void BM_OpenSslKeySchedule(benchmark::State &state)
{
    BF_KEY schedule;
    for (auto _ : state) {
        BF_set_key(&schedule, int(key.size()), reinterpret_cast<const unsigned char *>(key.data()));
        benchmark::DoNotOptimize(&schedule);
    }
}

void BM_KeySchedule(benchmark::State &state)
{
    for (auto _ : state) {
        TBlowfish cipher(key);
        benchmark::DoNotOptimize(&cipher);
    }
}

BENCHMARK(BM_OpenSslEcb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncryptString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecryptString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncryptStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSslKeySchedule)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeySchedule)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarksWithRatios(argc, argv,
                                   {{"BM_EncryptString", "BM_OpenSslEcb"},
                                    {"BM_DecryptString", "BM_OpenSslEcb"},
                                    {"BM_EncryptStream", "BM_OpenSslEcb"},
                                    {"BM_KeySchedule", "BM_OpenSslKeySchedule"}});
}
