// The request a second start hands the running instance, on untrusted bytes. Whatever
// is accepted names a file or nothing, and is sent again as the same request.
#include <cstdint>
#include <cstdlib>

#include <QDir>

#include "settings/HandOverRequest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    THandOverRequest request;
    QString why;
    if (!THandOverRequest::Decode(bytes, &request, &why)) {
        if (why.isEmpty())
            std::abort();
        return 0;
    }
    if (!THandOverRequest::IsNoParams(request.Text)
        && (request.Text.isEmpty() || QDir::isRelativePath(request.Text)))
        std::abort();
    if (!request.Token.isEmpty() && !THandOverRequest::IsUsableToken(request.Token))
        std::abort();
    const QByteArray again = request.Encode();
    THandOverRequest back;
    if (again.isNull() || !THandOverRequest::Decode(again, &back, &why)
        || back.Text != request.Text || back.Token != request.Token)
        std::abort();
    return 0;
}
