#pragma once

// The strong enciphered file: a header that names its key derivation (Argon2id with a
// random salt and the cost it was written with) and authenticates itself, then the
// text in chunks of the XChaCha20-Poly1305 secret stream, the last one tagged final.
// Any change to the file, its order or its length fails authentication; a wrong
// password is told apart from damage by the header's own unkeyed checksum.
//
// Layout, integers little-endian:
//   0   8  magic 89 'V' 'L' 'X' 0D 0A 1A 0A
//   8   2  format version (1)
//  10   8  Argon2id operations limit
//  18   8  Argon2id memory limit in bytes
//  26  16  salt
//  42  24  secret stream header
//  66  32  keyed BLAKE2b of bytes 0..65 (proves the password, guards the header)
//  98  16  unkeyed BLAKE2b of bytes 0..97 (finds damage before any key is derived)
// 114      chunks: ChunkSize bytes of text each, plus 17 bytes of tag and MAC;
//          the last chunk holds the rest (possibly nothing) and the final tag.

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <functional>
#include <future>
#include <memory>

namespace StrongCipher {

constexpr qsizetype MagicSize = 8;
constexpr qsizetype HeaderSize = 114;
constexpr quint16 Version = 1;
constexpr qsizetype ChunkSize = 64 * 1024;
constexpr qsizetype ChunkOverhead = 17;
constexpr qsizetype SaltSize = 16;

// Whether bytes begin with the magic of a strong enciphered file.
bool IsStrongData(QByteArrayView head);

struct TKdfParams
{
    quint64 OpsLimit = 0;
    quint64 MemLimit = 0; // bytes
    bool operator==(const TKdfParams &) const = default;
};
// About half a second on an ordinary desktop machine.
TKdfParams DefaultParams();
// The cheapest Argon2id allows: for tests and the fuzzer, never for a user's file.
TKdfParams MinimumParams();
// What a header may ask for before it is refused as damaged: never an unbounded
// allocation or a derivation that runs for minutes because a file says so.
TKdfParams MaximumParams();
// New keys take these; tests lower them so that saves stay fast.
void SetParamsForNewKeys(const TKdfParams &params);

enum class TStatus {
    Ok,
    NotThisFormat, // no magic
    NewerVersion,  // a version this program does not know
    DamagedHeader, // the header's checksum failed, or it asks for absurd costs
    WrongPassword, // the header is whole, and the key does not authenticate it
    NoMemory,      // the key derivation could not get its memory
    DamagedChunk,  // a chunk failed authentication: changed, reordered, cut short
    MissingEnd,    // the chunks end before the one tagged final
    TrailingBytes, // bytes follow the final chunk
    TooLarge,      // the text is larger than the caller takes
};

// A key derived from a password, with the salt and cost it was derived with. The key
// bytes live in guarded memory and are wiped when the last owner lets go.
class TStrongKey final
{
public:
    using TSalt = std::array<uchar, SaltSize>;

    // Derives a key; null when the memory the cost asks for is not to be had.
    static std::shared_ptr<const TStrongKey> Derive(QByteArrayView password,
                                                    const TKdfParams &params, const TSalt &salt);
    // A new key with a fresh random salt and the parameters for new keys.
    static std::shared_ptr<const TStrongKey> Create(QByteArrayView password);

    TStrongKey(const TStrongKey &) = delete;
    TStrongKey &operator=(const TStrongKey &) = delete;
    ~TStrongKey();

    const TKdfParams &params() const { return m_params; }
    const TSalt &salt() const { return m_salt; }
    const uchar *streamKey() const;
    const uchar *headerKey() const;

private:
    TStrongKey(const TKdfParams &params, const TSalt &salt);

    TKdfParams m_params;
    TSalt m_salt{};
    uchar *m_keys = nullptr; // stream key, then header key
};
using TKeyPtr = std::shared_ptr<const TStrongKey>;

// The fields of a header that passed its checksum.
struct THeader
{
    quint16 Version = 0;
    TKdfParams Params;
    TStrongKey::TSalt Salt{};
};
// Checks magic, version, checksum and cost limits of the first HeaderSize bytes.
TStatus ParseHeader(QByteArrayView bytes, THeader *header);

// Reads an enciphered text: the header first, then the chunks in order. Each step
// returns Ok or what is wrong; after anything but Ok the reader takes nothing more.
class TReader final
{
public:
    TReader();
    ~TReader();
    TReader(const TReader &) = delete;
    TReader &operator=(const TReader &) = delete;

    TStatus ReadHeader(QByteArrayView bytes);
    const THeader &header() const { return m_header; }
    // The key must be one derived with the header's salt and parameters.
    TStatus Unlock(const TKeyPtr &key);
    // Derives the key from the password, or takes `reuse` when it was derived with the
    // same salt and parameters from the same password. Leaves the key in *used.
    TStatus Unlock(QByteArrayView password, const TKeyPtr &reuse, TKeyPtr *used);
    // One chunk: ChunkSize + ChunkOverhead bytes, or fewer for the last one. Appends
    // its text to plain; refuses to let plain grow beyond maxPlain bytes.
    TStatus ReadChunk(QByteArrayView chunk, QByteArray &plain, qint64 maxPlain);
    // No more bytes: Ok when the final chunk was read, MissingEnd otherwise.
    TStatus Finish() const;
    bool finished() const { return m_final; }

private:
    struct TState;
    THeader m_header;
    QByteArray m_headerBytes;
    std::unique_ptr<TState> m_state;
    bool m_final = false;
    bool m_failed = false;
};

// Writes an enciphered text: the header at once, then a chunk whenever ChunkSize bytes
// of text have come, and the final chunk at Finish. Output goes to `out` in pieces,
// always on the caller's thread. A large piece of text is enciphered on a thread of
// its own while the caller makes the next one.
class TWriter final
{
public:
    using TOut = std::function<void(QByteArrayView)>;
    TWriter(TKeyPtr key, TOut out);
    ~TWriter();
    TWriter(const TWriter &) = delete;
    TWriter &operator=(const TWriter &) = delete;

    void Write(QByteArrayView text);
    void Finish();

private:
    void push(QByteArrayView text);
    void emitChunk(const uchar *text, qsizetype size, bool last);
    // Waits for the piece being enciphered, then hands on what is ready.
    void collect();
    void handOn();

    struct TState;
    TKeyPtr m_key;
    TOut m_out;
    std::unique_ptr<TState> m_state;
    QByteArray m_pending; // text of the chunk being gathered
    QByteArray m_cipher;  // output not yet handed on
    qsizetype m_cipherSize = 0;
    QByteArray m_piece;   // the text the other thread enciphers
    std::future<void> m_job;
};

// Overwrites the bytes with zeros (where the compiler cannot leave it out) and empties.
void Wipe(QByteArray &bytes);

// The whole file for a text.
QByteArray Encipher(QByteArrayView text, const TKeyPtr &key);
// The text of a whole file in memory. The key used is left in *used when given.
TStatus Decipher(QByteArrayView file, QByteArrayView password, QByteArray &text,
                 qint64 maxText, const TKeyPtr &reuse = {}, TKeyPtr *used = nullptr);

} // namespace StrongCipher
