#include "settings/Utils.h"

#include <QFile>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <climits>
#include <filesystem>
#include <system_error>

#include "notes/CaseFold.h"

using namespace Qt::StringLiterals;

namespace {

// A font text field as a number within [low, high]; false when it is not one.
bool fieldNumber(QStringView field, qint64 low, qint64 high, qint64 *value)
{
    bool ok = false;
    const qlonglong v = field.trimmed().toLongLong(&ok, 10);
    if (!ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

std::filesystem::path fsPath(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

bool copyOver(const QString &source, const QString &target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    // A read-only target would refuse to be replaced on some systems.
    if (QFileInfo::exists(target) && !QFileInfo(target).isWritable())
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return false;
        if (out.write(chunk) != chunk.size())
            return false;
    }
    return out.commit();
}

// The locale's long time format without its time zone, which the system's plain
// time text does not show.
QString timeFormatWithoutZone(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't') {
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

constexpr qsizetype maxDateTextLength = 255;

} // namespace

QString FontToText(const TFontDesc &font)
{
    // One arg() call: chained ones would replace a "%1" inside the font's name.
    return u"%1,%2,%3,%4,%5,%6,"_s.arg(font.Name, QString::number(font.Size),
        QString::number(font.Style), QString::number(font.Pitch), Colors::colorToString(font.Color),
        QString::number(font.Charset));
}

void TextToFont(QStringView text, TFontDesc &font)
{
    TFontDesc temp;
    QStringView rest = text;
    auto nextField = [&rest](bool last) {
        const qsizetype comma = rest.indexOf(u',');
        if (comma < 0)
            return last ? rest : QStringView();
        const QStringView field = rest.first(comma);
        rest = rest.sliced(comma + 1);
        return field;
    };

    const QStringView name = nextField(false);
    if (!name.isEmpty())
        temp.Name = name.toString();

    qint64 number = 0;
    temp.Size
        = fieldNumber(nextField(false), INT_MIN, INT_MAX, &number) ? qint32(number) : font.Size;
    // Bits beyond strike-out name no style.
    temp.Style
        = fieldNumber(nextField(false), INT_MIN, INT_MAX, &number) ? quint8(number & 0x0F) : 0;
    temp.Pitch
        = fieldNumber(nextField(false), fpDefault, fpFixed, &number) ? quint8(number) : font.Pitch;
    const QStringView color = nextField(false);
    if (!Colors::stringToColor(color, &temp.Color)) {
        font = temp;
        throw EConvertError(u"'%1' is not a valid colour"_s.arg(color));
    }
    temp.Charset = fieldNumber(nextField(true), 0, 255, &number) ? quint8(number) : font.Charset;
    font = temp;
}

qint32 ReadRegistryInteger(TRegistryRoot rootKey, const QString &subKey, const QString &valueName)
{
    TRegistryStore store(rootKey);
    if (!store.OpenKeyReadOnly(subKey))
        return -1;
    try {
        const QByteArray data = store.ReadRawData(valueName);
        if (data.size() > 4)
            return 0;
        quint32 value = 0;
        for (qsizetype i = 0; i < data.size(); ++i)
            value |= quint32(uchar(data[i])) << (8 * i);
        return qint32(value);
    } catch (const ERegistryException &) {
        return 0;
    }
}

bool MoveFileReplacing(const QString &source, const QString &target)
{
    const QString fullTarget = QFileInfo(target).absoluteFilePath();
    if (!QFileInfo::exists(source))
        return false;
    std::error_code error;
    std::filesystem::rename(fsPath(source), fsPath(fullTarget), error);
    if (!error)
        return true;

    QFileInfo info(source);
    if (!info.isWritable())
        QFile::setPermissions(source, QFile::permissions(source) | QFileDevice::WriteOwner);
    if (!copyOver(source, fullTarget))
        return false;
    return QFile::remove(source);
}

QString ProgramFilePath(const QString &name)
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString beside = QDir(exeDir).filePath(name);
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed
        = QDir::cleanPath(QDir(exeDir).filePath(QStringLiteral("../share/vellumtree/") + name));
    return QFileInfo::exists(installed) ? installed : beside;
}

QString TextBeforeDot(const QString &text)
{
    const qsizetype dot = text.indexOf(u'.');
    return dot < 0 ? QString() : text.left(dot);
}

QString ShortenText(const QString &text, qsizetype maxLength)
{
    maxLength = qMax<qsizetype>(maxLength, 0);
    if (text.size() <= maxLength)
        return text;
    qsizetype cut = maxLength;
    // Never split a surrogate pair: half a character would be lost on saving.
    if (cut > 0 && text[cut - 1].isHighSurrogate() && text[cut].isLowSurrogate())
        --cut;
    return text.left(cut) + u"..."_s;
}

QString ShortDateText(const QDate &date, const QLocale &locale)
{
    return locale.toString(date, QLocale::ShortFormat).left(maxDateTextLength);
}

QString LongDateText(const QDate &date, const QLocale &locale)
{
    return locale.toString(date, QLocale::LongFormat).left(maxDateTextLength);
}

QString TimeText(const QTime &time, const QLocale &locale)
{
    return locale.toString(time, timeFormatWithoutZone(locale)).left(maxDateTextLength);
}

QString ShortDateText()
{
    return ShortDateText(QDate::currentDate(), QLocale::system());
}

QString LongDateText()
{
    return LongDateText(QDate::currentDate(), QLocale::system());
}

QString TimeText()
{
    // A locale made from the name carries the locale's own formats, not the user's.
    return TimeText(QTime::currentTime(), QLocale(QLocale::system().name()));
}

void AddToHistory(QStringList &list, const QString &text, qsizetype maxCount)
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (CaseFold::equal(list[i], text)) {
            found = i;
            break;
        }
    }
    if (found >= 0)
        list.move(found, 0);
    else
        list.prepend(text);
    const qsizetype keep = qMax<qsizetype>(maxCount, 0);
    if (list.size() > keep)
        list.resize(keep);
}
