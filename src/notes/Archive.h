#pragma once

#include "Errors.h"
#include "notes/TextEncoding.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QFile;
class TByteLines;
class TLineSink;
class TNote;
class TNoteTree;
namespace StrongCipher {
class TStrongKey;
}

// The deciphered text of an enciphered file has at most one line: the password
// was wrong.
class EInvalidPassword : public EVellumtreeError
{
public:
    EInvalidPassword();
};

// An enciphered file that does not start with its magic.
class EInvalidSignature : public EVellumtreeError
{
public:
    EInvalidSignature();
};

// A strongly enciphered file that fails its checks: a byte changed, parts of it moved
// or missing, or more after its end. Nothing of such a file is used.
class EDamagedFile : public EFileError
{
public:
    EDamagedFile(const QString &fileName, const QString &where);
};

// Reader and writer of notes files: a small HTML document that a browser shows as
// a list of titles with preformatted bodies, read back strictly line by line.
// One object serves one read or one write.
class TArchive final
{
public:
    static QString DocTypeLine();
    static QString DefaultBodyTag();
    // How a file is enciphered, by its name: ".vle" (in any case) is the compatible
    // format older versions read, ".vlx" the strong one.
    enum class TEncipherment { Plain, Compatible, Strong };
    static TEncipherment EnciphermentOf(const QString &fileName);
    // Whether a file name is read and written enciphered, in either format.
    static bool IsEncryptedName(const QString &fileName);
    // The name with its extension replaced by ".vlx" for a ".vlx" name and by ".vle"
    // otherwise, in lower case.
    static QString EncryptedName(const QString &fileName);
    // The name with its extension replaced by the one of an enciphered format.
    static QString EncryptedName(const QString &fileName, TEncipherment format);
    // The largest notes file that is opened: its text, decoded, takes about three
    // times its size in memory.
    static constexpr qint64 MaxFileSize = qint64(512) << 20;
    // And the most line break characters (CR and LF counted apart) its text may have.
    static constexpr qsizetype MaxLineBreaks = 20'000'000;
    // Whether bytes begin as an enciphered notes file of either format does (the
    // first 8 bytes decide).
    static bool IsEncipheredData(QByteArrayView head);
    // A password whose key leaves the cipher's schedule as it starts: a file
    // enciphered with it would be as good as plain text.
    static bool IsWeakPassword(const QString &password);

    explicit TArchive(TNoteTree *tree);

    // Reads a notes file: parent none replaces the whole tree, a note receives the
    // file's notes as its last children. False when the text is not a notes text
    // (the tree is then untouched). Raises EFileError, EInvalidSignature,
    // EInvalidPassword and EDamagedFile.
    bool ReadNotes(TNote *parent, const QString &fileName);
    // Writes the whole tree (branchRoot none) or one branch, atomically. With a
    // backupPath, the version being replaced becomes the backup once the new text is
    // safely on disk; the file itself never goes missing (WriteFileAtomically).
    bool WriteNotes(TNote *branchRoot, const QString &fileName, const QString &backupPath = {});

    bool ReadEncrypted(const QString &fileName, QStringList &lines);
    // ReadEncrypted on the bytes of a file already in memory.
    bool ReadEncryptedData(const QByteArray &fileBytes, QStringList &lines);
    void WriteEncrypted(const QString &fileName, const QStringList &lines);
    // The file's bytes for a name: the notes text, or for an enciphered name its magic
    // and cipher text.
    QByteArray FileBytes(const QStringList &lines, const QString &fileName);

    // The line-level halves of ReadNotes and WriteNotes.
    bool ReadLines(TNote *parent, const QStringList &lines);
    QStringList BuildLines(TNote *branchRoot) const;

    // What a read found wrong with a file that it read all the same, as the format
    // says: saving such a document writes only what was read.
    struct TDamage
    {
        qint64 NulAt = -1;     // the text ends at a NUL byte, and more bytes follow it
        bool Unclosed = false; // the closing lines are missing: the file was cut off
        qsizetype NotesRead = 0;
        bool Any() const { return NulAt >= 0 || Unclosed; }
    };
    TDamage Damage;

    TNote *LastNode = nullptr;
    QString Title;
    QString BodyTag;
    QString Password;
    // How an enciphered file was keyed. A read leaves it here, and a write with the
    // same password keys the file the same way: a .vle opened with the legacy key
    // bytes stays readable where only those work, and a .vlx is saved without its key
    // being derived again. The document keeps it from one read or write to the next.
    struct TFileKey
    {
        QString Password;    // the password it belongs to
        QByteArray LegacyKey; // .vle: the key bytes that opened it, when not the UTF-8 ones
        std::shared_ptr<const StrongCipher::TStrongKey> Strong; // .vlx
    };
    TFileKey FileKey;
    // Set by a read to the encoding the file was in; a write uses it when the text
    // fits, UTF-8 otherwise, and leaves here the one it used.
    TTextEncoding Encoding = TTextEncoding::Utf8;
    // The code page a file that is not valid UTF-8 is read in.
    TTextEncoding LegacyEncoding = TextEncoding::systemLegacyEncoding();
    // A read for a listing: titles and structure only, every body left empty. A tree
    // read so must not be written back.
    bool TitlesOnly = false;

private:
    void writeFile(const QString &fileName, const QByteArray &bytes,
                   const QString &backupPath = {}) const;
    static QByteArray decipher(const QByteArray &fileBytes, const QByteArray &key);
    // The text of a strongly enciphered file, checked whole before anything of it is
    // returned. Raises EInvalidPassword, EDamagedFile and EFileError.
    QByteArray decipherStrong(const QString &fileName);
    QByteArray decipherStrongData(const QByteArray &fileBytes, const QString &fileName);
    // sizeHint: the file's size, which the text is never larger than.
    QByteArray decipherStrong(const QString &fileName,
                              const std::function<qint64(char *buffer, qint64 count)> &read,
                              qint64 sizeHint);
    // The key a .vlx is written with: the document's own, or a new one.
    std::shared_ptr<const StrongCipher::TStrongKey> strongKey();
    QByteArray legacyWriteKey() const;
    // ReadNotes on a strong file's deciphered text.
    bool readStrong(TNote *parent, const QString &fileName);
    struct TDeciphered
    {
        QByteArray Text;           // up to the first NUL; empty when NotNotes
        bool NotNotes = false;     // the first line is not the document type line
        bool SeveralLines = false; // when NotNotes: the text has more than one line
    };
    // The deciphered text of an enciphered file; with notesOnly, no more than it
    // takes to see that it is no notes text.
    TDeciphered decipherFile(const QString &fileName, const QByteArray &key,
                             bool notesOnly) const;
    QByteArray encodeText(const QString &text);
    QByteArray fileBytes(const QString &text, const QString &fileName);
    QStringList decodeLines(QByteArrayView bytes);
    // Sets Encoding for a text: UTF-8 when it is valid UTF-8, else the legacy code page.
    TTextEncoding decideEncoding(bool utf8);
    static bool hasSeveralLines(QByteArrayView text);
    // ReadNotes on the lines of a text, each decoded in encoding.
    bool readText(TNote *parent, TByteLines &lines, TTextEncoding encoding);
    struct TTextScan
    {
        qint64 Length = 0; // up to the first NUL
        bool Utf8 = true;
    };
    // Reads a file through once without keeping it: how long its text is, and
    // whether it is UTF-8. Raises EFileError, also for too many line breaks.
    static TTextScan scanText(QFile &file, const QString &fileName);
    // The notes text of the tree or of one branch.
    void writeText(TNote *branchRoot, TLineSink &out) const;
    // With a file name, raises EFileError when the text has more line breaks than a
    // read of that file would accept.
    QString buildText(TNote *branchRoot, const QString &fileName = {}) const;

    TNoteTree *m_tree;
};
