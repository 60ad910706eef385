#pragma once

// Files in a test's temporary folder: written whole (a test failure when the file
// cannot be opened) and read back whole (empty when there is no such file).

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

inline void WriteTestFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

inline QByteArray ReadTestFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file written whole with the owner's read and write permission and extra ones
// (QFile::ExeOwner for a program); its path.
inline QString WriteTestFileWithPermissions(const QString &path, const QByteArray &bytes,
                                            QFile::Permissions extra = {})
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | extra);
    return file.fileName();
}

