#include "crypto/StrongCipher.h"

#include <sodium.h>

#include <QtEndian>

#include <atomic>
#include <cstring>
#include <new>
#include <system_error>

namespace StrongCipher {

namespace {

constexpr uchar kMagic[MagicSize] = {0x89, 'V', 'L', 'X', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr qsizetype kVersionAt = 8;
constexpr qsizetype kOpsAt = 10;
constexpr qsizetype kMemAt = 18;
constexpr qsizetype kSaltAt = 26;
constexpr qsizetype kStreamHeaderAt = 42;
constexpr qsizetype kMacAt = 66;
constexpr qsizetype kMacSize = 32;
constexpr qsizetype kCheckAt = 98;
constexpr qsizetype kCheckSize = 16;
constexpr qsizetype kKeySize = 32;
// Sub-keys of the derived key, one for the stream and one for the header's MAC.
constexpr char kKdfContext[crypto_kdf_CONTEXTBYTES + 1] = "VLXnotes";
// Chunks of output handed on at once: a write call per chunk would cost more than
// the cipher itself.
constexpr qsizetype kOutChunks = 16;
// Pieces of text from this size on are enciphered while the caller makes the next.
constexpr qsizetype kBackgroundPiece = 256 * 1024;

static_assert(kStreamHeaderAt + crypto_secretstream_xchacha20poly1305_HEADERBYTES == kMacAt);
static_assert(kCheckAt + kCheckSize == HeaderSize);
static_assert(ChunkOverhead == crypto_secretstream_xchacha20poly1305_ABYTES);
static_assert(SaltSize == crypto_pwhash_SALTBYTES);
static_assert(kKeySize == crypto_secretstream_xchacha20poly1305_KEYBYTES);
static_assert(kKeySize == crypto_kdf_KEYBYTES);

void initialise()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::bad_alloc(); // only when the system's random source cannot be opened
}

std::atomic<quint64> g_newOps{crypto_pwhash_OPSLIMIT_MODERATE};
std::atomic<quint64> g_newMem{crypto_pwhash_MEMLIMIT_MODERATE};

const uchar *bytes(QByteArrayView view)
{
    return reinterpret_cast<const uchar *>(view.data());
}

void macOf(const uchar *header, const uchar *key, uchar *mac)
{
    crypto_generichash(mac, kMacSize, header, kMacAt, key, kKeySize);
}

void checkOf(const uchar *header, uchar *check)
{
    crypto_generichash(check, kCheckSize, header, kCheckAt, nullptr, 0);
}

} // namespace

bool IsStrongData(QByteArrayView head)
{
    return head.size() >= MagicSize && std::memcmp(head.data(), kMagic, MagicSize) == 0;
}

TKdfParams DefaultParams()
{
    return {crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE};
}

TKdfParams MinimumParams()
{
    return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

TKdfParams MaximumParams()
{
    return {16, quint64(1) << 30};
}

void SetParamsForNewKeys(const TKdfParams &params)
{
    g_newOps = params.OpsLimit;
    g_newMem = params.MemLimit;
}

// ---- key -------------------------------------------------------------------------

TStrongKey::TStrongKey(const TKdfParams &params, const TSalt &salt)
    : m_params(params), m_salt(salt)
{
    // Guarded pages, kept out of swap where the system allows it.
    m_keys = static_cast<uchar *>(sodium_malloc(2 * kKeySize));
    if (!m_keys)
        throw std::bad_alloc();
}

TStrongKey::~TStrongKey()
{
    sodium_free(m_keys); // wipes before it frees
}

const uchar *TStrongKey::streamKey() const
{
    return m_keys;
}

const uchar *TStrongKey::headerKey() const
{
    return m_keys + kKeySize;
}

TKeyPtr TStrongKey::Derive(QByteArrayView password, const TKdfParams &params, const TSalt &salt)
{
    initialise();
    std::shared_ptr<TStrongKey> key(new TStrongKey(params, salt));
    uchar master[kKeySize];
    // An empty view may carry no pointer at all, which the library may not be given.
    static const char nothing = 0;
    if (crypto_pwhash(master, kKeySize, password.isEmpty() ? &nothing : password.data(),
                      static_cast<unsigned long long>(password.size()), salt.data(),
                      params.OpsLimit, static_cast<size_t>(params.MemLimit),
                      crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        return nullptr;
    crypto_kdf_derive_from_key(key->m_keys, kKeySize, 1, kKdfContext, master);
    crypto_kdf_derive_from_key(key->m_keys + kKeySize, kKeySize, 2, kKdfContext, master);
    sodium_memzero(master, sizeof master);
    return key;
}

TKeyPtr TStrongKey::Create(QByteArrayView password)
{
    initialise();
    TSalt salt;
    randombytes_buf(salt.data(), salt.size());
    return Derive(password, {g_newOps.load(), g_newMem.load()}, salt);
}

// ---- header ----------------------------------------------------------------------

TStatus ParseHeader(QByteArrayView bytes, THeader *header)
{
    initialise();
    if (!IsStrongData(bytes))
        return TStatus::NotThisFormat;
    if (bytes.size() < HeaderSize)
        return TStatus::DamagedHeader;
    const uchar *h = StrongCipher::bytes(bytes);
    uchar check[kCheckSize];
    checkOf(h, check);
    if (sodium_memcmp(check, h + kCheckAt, kCheckSize) != 0)
        return TStatus::DamagedHeader;
    // Only a whole header says which version it is: a damaged one is damage.
    header->Version = qFromLittleEndian<quint16>(h + kVersionAt);
    if (header->Version != Version)
        return TStatus::NewerVersion;
    header->Params = {qFromLittleEndian<quint64>(h + kOpsAt), qFromLittleEndian<quint64>(h + kMemAt)};
    const TKdfParams low = MinimumParams();
    const TKdfParams high = MaximumParams();
    if (header->Params.OpsLimit < low.OpsLimit || header->Params.OpsLimit > high.OpsLimit
        || header->Params.MemLimit < low.MemLimit || header->Params.MemLimit > high.MemLimit)
        return TStatus::DamagedHeader;
    std::memcpy(header->Salt.data(), h + kSaltAt, SaltSize);
    return TStatus::Ok;
}

// ---- reader ----------------------------------------------------------------------

struct TReader::TState
{
    crypto_secretstream_xchacha20poly1305_state stream;
};

TReader::TReader() = default;

TReader::~TReader()
{
    if (m_state)
        sodium_memzero(&m_state->stream, sizeof m_state->stream);
}

TStatus TReader::ReadHeader(QByteArrayView bytes)
{
    const TStatus status = ParseHeader(bytes, &m_header);
    m_failed = status != TStatus::Ok;
    if (!m_failed)
        m_headerBytes = bytes.first(HeaderSize).toByteArray();
    return status;
}

TStatus TReader::Unlock(const TKeyPtr &key)
{
    Q_ASSERT(key && !m_failed && m_headerBytes.size() == HeaderSize);
    const uchar *h = bytes(m_headerBytes);
    uchar mac[kMacSize];
    macOf(h, key->headerKey(), mac);
    if (sodium_memcmp(mac, h + kMacAt, kMacSize) != 0)
        return TStatus::WrongPassword;
    auto state = std::make_unique<TState>();
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state->stream, h + kStreamHeaderAt,
                                                        key->streamKey())
        != 0)
        return TStatus::DamagedHeader;
    m_state = std::move(state);
    return TStatus::Ok;
}

TStatus TReader::Unlock(QByteArrayView password, const TKeyPtr &reuse, TKeyPtr *used)
{
    if (reuse && reuse->params() == m_header.Params && reuse->salt() == m_header.Salt
        && Unlock(reuse) == TStatus::Ok) {
        if (used)
            *used = reuse;
        return TStatus::Ok;
    }
    TKeyPtr key = TStrongKey::Derive(password, m_header.Params, m_header.Salt);
    if (!key)
        return TStatus::NoMemory;
    const TStatus status = Unlock(key);
    if (status == TStatus::Ok && used)
        *used = std::move(key);
    return status;
}

TStatus TReader::ReadChunk(QByteArrayView chunk, QByteArray &plain, qint64 maxPlain)
{
    Q_ASSERT(m_state);
    if (m_failed)
        return TStatus::DamagedChunk;
    if (m_final) {
        m_failed = true;
        return TStatus::TrailingBytes;
    }
    if (chunk.size() < ChunkOverhead || chunk.size() > ChunkSize + ChunkOverhead) {
        m_failed = true;
        return TStatus::DamagedChunk;
    }
    const qsizetype textSize = chunk.size() - ChunkOverhead;
    if (plain.size() + textSize > maxPlain) {
        m_failed = true;
        return TStatus::TooLarge;
    }
    const qsizetype at = plain.size();
    plain.resize(at + textSize);
    unsigned long long got = 0;
    unsigned char tag = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(
            &m_state->stream, reinterpret_cast<uchar *>(plain.data()) + at, &got, &tag,
            bytes(chunk), static_cast<unsigned long long>(chunk.size()), nullptr, 0)
        != 0) {
        plain.resize(at);
        m_failed = true;
        return TStatus::DamagedChunk;
    }
    // Only the last chunk may be short, and only the last may say it is.
    const bool final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    if (!final && textSize != ChunkSize) {
        m_failed = true;
        return TStatus::DamagedChunk;
    }
    m_final = final;
    return TStatus::Ok;
}

TStatus TReader::Finish() const
{
    return m_final ? TStatus::Ok : TStatus::MissingEnd;
}

// ---- writer ----------------------------------------------------------------------

struct TWriter::TState
{
    crypto_secretstream_xchacha20poly1305_state stream;
};

TWriter::TWriter(TKeyPtr key, TOut out)
    : m_key(std::move(key)), m_out(std::move(out)), m_state(std::make_unique<TState>())
{
    Q_ASSERT(m_key);
    initialise();
    uchar header[HeaderSize];
    std::memcpy(header, kMagic, MagicSize);
    qToLittleEndian<quint16>(Version, header + kVersionAt);
    qToLittleEndian<quint64>(m_key->params().OpsLimit, header + kOpsAt);
    qToLittleEndian<quint64>(m_key->params().MemLimit, header + kMemAt);
    std::memcpy(header + kSaltAt, m_key->salt().data(), SaltSize);
    crypto_secretstream_xchacha20poly1305_init_push(&m_state->stream, header + kStreamHeaderAt,
                                                    m_key->streamKey());
    macOf(header, m_key->headerKey(), header + kMacAt);
    checkOf(header, header + kCheckAt);
    m_out(QByteArrayView(reinterpret_cast<const char *>(header), HeaderSize));
    m_pending.reserve(ChunkSize);
    m_cipher.resize(kOutChunks * (ChunkSize + ChunkOverhead));
}

TWriter::~TWriter()
{
    // An error of the caller's may leave a piece being enciphered: it uses the state.
    if (m_job.valid())
        m_job.wait();
    sodium_memzero(&m_state->stream, sizeof m_state->stream);
    Wipe(m_pending);
    Wipe(m_piece);
}

void TWriter::emitChunk(const uchar *text, qsizetype size, bool last)
{
    if (m_cipherSize + ChunkSize + ChunkOverhead > m_cipher.size())
        m_cipher.resize(m_cipherSize + kOutChunks * (ChunkSize + ChunkOverhead));
    unsigned long long length = 0;
    crypto_secretstream_xchacha20poly1305_push(
        &m_state->stream, reinterpret_cast<uchar *>(m_cipher.data()) + m_cipherSize, &length,
        text, static_cast<unsigned long long>(size), nullptr, 0,
        last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
    m_cipherSize += static_cast<qsizetype>(length);
}

void TWriter::handOn()
{
    if (m_cipherSize == 0)
        return;
    const qsizetype size = std::exchange(m_cipherSize, 0);
    m_out(QByteArrayView(m_cipher.constData(), size));
}

void TWriter::collect()
{
    if (m_job.valid()) {
        m_job.get();
        Wipe(m_piece);
    }
    handOn();
}

void TWriter::Write(QByteArrayView text)
{
    collect();
    if (text.size() < kBackgroundPiece) {
        push(text);
        if (m_cipherSize >= kOutChunks * ChunkSize)
            handOn();
        return;
    }
    // The caller may reuse its buffer as soon as this returns.
    m_piece = text.toByteArray();
    try {
        m_job = std::async(std::launch::async, [this] { push(m_piece); });
    } catch (const std::system_error &) {
        push(m_piece); // no thread to be had: here, then
        Wipe(m_piece);
    }
}

void TWriter::push(QByteArrayView text)
{
    // Whole chunks straight from the caller's bytes; only the remainder is gathered.
    if (!m_pending.isEmpty()) {
        const qsizetype take = std::min(ChunkSize - m_pending.size(), text.size());
        m_pending.append(text.first(take));
        text = text.sliced(take);
        if (m_pending.size() < ChunkSize)
            return;
        emitChunk(bytes(m_pending), ChunkSize, false);
        m_pending.resize(0);
    }
    // A chunk exactly at the end is held back: it may be the final one.
    while (text.size() > ChunkSize) {
        emitChunk(bytes(text), ChunkSize, false);
        text = text.sliced(ChunkSize);
    }
    m_pending.append(text);
}

void TWriter::Finish()
{
    collect();
    emitChunk(bytes(m_pending), m_pending.size(), true);
    Wipe(m_pending);
    handOn();
}

// ---- whole texts -----------------------------------------------------------------

void Wipe(QByteArray &bytes)
{
    if (!bytes.isDetached()) {
        bytes.clear(); // another copy still holds the bytes: not ours to wipe
        return;
    }
    bytes.resize(bytes.capacity());
    sodium_memzero(bytes.data(), static_cast<size_t>(bytes.size()));
    bytes.clear();
}

QByteArray Encipher(QByteArrayView text, const TKeyPtr &key)
{
    QByteArray file;
    file.reserve(HeaderSize + text.size() + (text.size() / ChunkSize + 1) * ChunkOverhead);
    TWriter writer(key, [&file](QByteArrayView piece) { file.append(piece); });
    writer.Write(text);
    writer.Finish();
    return file;
}

TStatus Decipher(QByteArrayView file, QByteArrayView password, QByteArray &text, qint64 maxText,
                 const TKeyPtr &reuse, TKeyPtr *used)
{
    text.clear();
    TReader reader;
    TStatus status = reader.ReadHeader(file);
    if (status == TStatus::Ok)
        status = reader.Unlock(password, reuse, used);
    if (status != TStatus::Ok)
        return status;
    for (qsizetype at = HeaderSize; at < file.size(); at += ChunkSize + ChunkOverhead) {
        status = reader.ReadChunk(file.sliced(at).first(std::min(ChunkSize + ChunkOverhead,
                                                                 file.size() - at)),
                                  text, maxText);
        if (status != TStatus::Ok) {
            Wipe(text);
            return status;
        }
    }
    return reader.Finish();
}

} // namespace StrongCipher
