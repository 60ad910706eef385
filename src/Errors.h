#pragma once

#include <QString>

#include <exception>

// Base of the program's named exceptions. Each carries the user-visible message
// that the command which started the work shows.
class EVellumtreeError : public std::exception
{
public:
    explicit EVellumtreeError(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {
    }

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A file that cannot be opened, read, created or written. The message names the file.
class EFileError : public EVellumtreeError
{
public:
    using EVellumtreeError::EVellumtreeError;
};
