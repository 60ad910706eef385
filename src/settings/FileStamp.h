#pragma once

#include <QByteArray>
#include <QString>

// What a file was when the document last read or wrote it. A later save compares the
// file with it, so that a change another program made (a second window, a sync tool,
// the command-line tool) is never overwritten without the user's choice.
struct TFileStamp
{
    bool Exists = false;
    bool Regular = false;
    quint64 Device = 0;
    quint64 Inode = 0;
    qint64 Size = 0;
    qint64 ModifiedNs = 0;
    // A digest of the content, only where the file system's times are too coarse to
    // tell two writes in one second apart.
    QByteArray Digest;

    // The file as it is now; an empty name gives a stamp that exists nowhere.
    static TFileStamp Of(const QString &fileName);

    bool operator==(const TFileStamp &other) const = default;
};
