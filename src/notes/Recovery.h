#pragma once

#include "settings/FileStamp.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLockFile;

// What a recovery copy belongs to, as its description file records it.
struct TRecoveryInfo
{
    // The window session that wrote it: letters, digits and '-'.
    QString Session;
    // The document's file; empty for an untitled document.
    QString Document;
    // The copy's extension, as the document's own ("vlt", "vle", ...): it says how the
    // copy is read, and an enciphered document's copy is enciphered like its file.
    QString Extension;
    QDateTime Written;
    // The document's file as the window last read or wrote it, so that a recovered
    // document still notices a change another program made to the file.
    TFileStamp Stamp;
    // Where the copy is, set when the store lists it.
    QString CopyPath;

    // The description file's text, and its strict reader: nullopt for anything that
    // is not such a text (at most MaxInfoSize bytes).
    QByteArray Format() const;
    static std::optional<TRecoveryInfo> Parse(QByteArrayView bytes);
    static constexpr qsizetype MaxInfoSize = 64 * 1024;
};

// Recovery copies of documents with changes not yet saved, so that a crash, a kill or
// a lost session costs at most the last few seconds of typing. Each window session
// keeps one copy in a private folder, held by a lock while the window runs; the
// copies of sessions that ended without removing theirs are offered at the next start.
class TRecoveryStore final
{
public:
    // $XDG_STATE_HOME/vellumtree/recovery (~/.local/state when the variable is unset).
    static QString DefaultFolder();

    explicit TRecoveryStore(QString folder = DefaultFolder());
    ~TRecoveryStore();
    TRecoveryStore(const TRecoveryStore &) = delete;
    TRecoveryStore &operator=(const TRecoveryStore &) = delete;

    const QString &Folder() const { return m_folder; }
    const QString &Session() const { return m_session; }

    // Makes the folder (0700, the user's own, no link) and takes this session's lock.
    // Raises EFileError naming the folder and the cause.
    void Start();
    bool Started() const { return m_lock != nullptr; }

    // Writes this session's copy: writeCopy writes the document to the path it is
    // given (atomically), then the description is written and the copy of another
    // extension this session had is removed. Raises EFileError.
    void Store(
        const TRecoveryInfo &about, const std::function<void(const QString &path)> &writeCopy);
    // Whether this session has a copy on disk.
    bool HasCopy() const { return !m_extension.isEmpty(); }
    // Removes this session's copy: the document was saved or its changes given up.
    void Discard();

    // The copies of sessions that are no longer running, newest first.
    QList<TRecoveryInfo> Leftovers() const;
    // Removes a leftover copy with its description and lock.
    void Remove(const TRecoveryInfo &copy) const;

private:
    QString pathOf(const QString &session, const QString &suffix) const;

    QString m_folder;
    QString m_session;
    std::unique_ptr<QLockFile> m_lock;
    // The extension of this session's copy on disk, empty when there is none.
    QString m_extension;
};
