#pragma once

// The bytes of an enciphered file, of either format, read as the notes of a document;
// what a file may rightly raise is caught.

#include "notes/Archive.h"
#include "notes/NoteTree.h"

inline void ReadEnciphered(const QByteArray &file, const QString &password)
{
    TNoteTree tree;
    TArchive archive(&tree);
    archive.Password = password;
    QStringList lines;
    try {
        if (archive.ReadEncryptedData(file, lines))
            archive.ReadLines(nullptr, lines);
    } catch (const EVellumtreeError &) {
    }
}
