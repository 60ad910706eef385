#include "settings/HandOverRequest.h"

#include <QDir>
#include <QStringDecoder>

#include <algorithm>

using namespace Qt::StringLiterals;

QString THandOverRequest::NoParams()
{
    return u"no_params"_s;
}

bool THandOverRequest::IsNoParams(const QString &text)
{
    return text == NoParams();
}

bool THandOverRequest::IsUsableToken(const QString &token)
{
    if (token.isEmpty() || token.size() > MaxTokenBytes)
        return false;
    return std::all_of(token.cbegin(), token.cend(),
                       [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
}

QByteArray THandOverRequest::Encode() const
{
    QByteArray bytes = Text.toUtf8();
    if (bytes.contains('\0') || (!Token.isEmpty() && !IsUsableToken(Token)))
        return {};
    if (!Token.isEmpty())
        bytes += '\0' + Token.toLatin1();
    if (bytes.size() > MaxBytes)
        return {};
    if (bytes.isNull())
        bytes = QByteArray(""); // an empty text is still a request, if not a valid one
    return bytes;
}

bool THandOverRequest::Decode(QByteArrayView bytes, THandOverRequest *request, QString *why)
{
    if (bytes.size() > MaxBytes) {
        *why = u"a request of %1 bytes"_s.arg(bytes.size());
        return false;
    }
    const qsizetype nul = bytes.indexOf('\0');
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(nul < 0 ? bytes : bytes.first(nul));
    const QString token = nul < 0 ? QString() : QString::fromLatin1(bytes.sliced(nul + 1));
    if (decoder.hasError() || (nul >= 0 && !IsUsableToken(token))) {
        *why = u"a request that is not UTF-8 text"_s;
        return false;
    }
    // A second start sends a full path or "no_params"; an empty or relative name would
    // open a file the user never named.
    if (!IsNoParams(text) && (text.isEmpty() || QDir::isRelativePath(text))) {
        *why = u"a request that names no file"_s;
        return false;
    }
    request->Text = text;
    request->Token = token;
    return true;
}
