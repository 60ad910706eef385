#pragma once

#include "Errors.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <functional>

class QFile;

// The system's text for an errno value ("No space left on device").
QString SystemErrorText(int errorNumber);

// The file a name stands for: symbolic links followed to their end (a link whose
// target does not exist yet gives that target), so that a save replaces the target
// and leaves the link in place. The name itself when it is no link.
QString ResolvedFilePath(const QString &fileName);

// The backup of a notes file (links followed): its own name with ".bak" added
// ("notes.vlt.bak"), so that "notes.vlt" and "notes.vle" keep backups of their own.
// Beside the file when backupFolder is empty or the file's own folder; in another
// folder, where the files of many folders meet, a short stable hash of the file's
// folder comes before ".bak" ("notes.vlt.3fa9c2e1.bak").
QString BackupFilePath(const QString &fileName, const QString &backupFolder);

// Writes bytes to fileName so that the file exists, whole, old or new, at every
// instant: they go to a new file in its folder (unnamed where the file system allows,
// so that a killed save leaves nothing behind), are synced, and only then does that
// file take the name. A symbolic link is resolved first and stays - unless it lies in
// a shared sticky folder such as /tmp and belongs to someone else, which is refused.
// What killed saves of the file left behind is removed first.
//
// With a backupPath, the file being replaced becomes the backup without ever being
// removed: a hard link to it (or, on another file system, a synced copy) is renamed
// over the backup just before the new file takes its place. A save that fails at any
// step leaves the file and the backup exactly as they were.
//
// A FIFO, socket or device is refused, and so is a read-only file (IsReadOnlyFile).
// Raises EFileError whose message names the file and the cause.
void WriteFileAtomically(const QString &fileName, QByteArrayView bytes,
                         const QString &backupPath = {});

// Whether a notes file is one its owner made read-only (links followed). Writes do
// not replace such a file unless AllowReplacingReadOnlyFiles says they may.
bool IsReadOnlyFile(const QString &fileName);
// The command-line tool's --force: replace read-only files all the same.
void AllowReplacingReadOnlyFiles(bool allow);

// The same for a text made piece by piece: produce hands every chunk, in order, to
// the function it is given, and the whole never has to be in memory at once.
using TChunkSink = std::function<void(QByteArrayView)>;
void WriteFileAtomically(const QString &fileName,
                         const std::function<void(const TChunkSink &)> &produce,
                         const QString &backupPath = {});

// A write-only device over a chunk sink, for writers that want a QIODevice (a PDF
// writer) inside WriteFileAtomically.
class TChunkDevice final : public QIODevice
{
public:
    explicit TChunkDevice(const TChunkSink &sink);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    const TChunkSink &m_sink;
};

// Opens a file for reading when it is a regular file of at most maxSize bytes: a
// FIFO or a device could block for ever or never end; a link that someone else put
// into a shared sticky folder is not followed. Raises EFileError naming the file and
// what is wrong with it.
void OpenRegularFile(QFile &file, const QString &fileName, qint64 maxSize);
