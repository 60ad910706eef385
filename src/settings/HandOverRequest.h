#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// What a second start hands the running instance: the file it was given (or
// "no_params"), and the desktop's window-activation token when it has one.
//
// On the wire, after a length the transport adds: the text as UTF-8, then, when there
// is a token, a NUL and the token. The text is "no_params" or an absolute path; the
// token is at most MaxTokenBytes of printable ASCII; the whole at most MaxBytes. The
// bytes come from another process, so anything else is refused.
struct THandOverRequest
{
    static constexpr qsizetype MaxBytes = 32 * 1024;
    static constexpr qsizetype MaxTokenBytes = 1024;

    QString Text;
    QString Token; // empty when none

    // What a second start without a file name sends.
    static QString NoParams();
    // True only for exactly "no_params": a file whose path merely contains that text
    // is still a file.
    static bool IsNoParams(const QString &text);
    static bool IsUsableToken(const QString &token);

    // The bytes for this request; null when it cannot be sent as it is (too long, a NUL
    // in the text, an unusable token). An empty text is left for the peer to refuse.
    QByteArray Encode() const;
    // The request those bytes hold; false, with why, when they hold none.
    static bool Decode(QByteArrayView bytes, THandOverRequest *request, QString *why);
};
