#include "settings/LngMan.h"
#include "settings/Utils.h"

#include "notes/CaseFold.h"
#include "notes/TextEncoding.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QSet>
#include <QStringDecoder>
#include <QTranslator>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcLanguage, "vellumtree.language", QtCriticalMsg)

// Outside any namespace, as Q_INIT_RESOURCE requires. The resource lives in a static
// library, where nothing else would pull its object file into the program.
static void initLanguageResource()
{
    Q_INIT_RESOURCE(lng);
}

namespace {

const QString kBuiltInPath = u":/lng/English.lng"_s;
const QString kDefaultLanguage = u"English.lng"_s;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QString TProfileData::decodeBytes(QByteArrayView bytes)
{
    // Notepad's "Unicode" files; the profile functions read them, so do we.
    if (bytes.size() >= 2) {
        const auto b0 = static_cast<uchar>(bytes[0]);
        const auto b1 = static_cast<uchar>(bytes[1]);
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) {
            QStringDecoder decoder(
                b0 == 0xFF ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
            return decoder(bytes.sliced(2));
        }
    }
    QString text = TextEncoding::decode(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

TProfileData TProfileData::parse(QByteArrayView bytes)
{
    TProfileData data;
    const QString text = decodeBytes(bytes);
    Section *current = nullptr;
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        const QStringView line = trimBlanks(QStringView(text).mid(pos, end - pos));
        pos = end;
        if (pos < size && text[pos] == u'\r')
            ++pos;
        if (pos < size && text[pos] == u'\n')
            ++pos;

        if (line.isEmpty() || line.front() == u';')
            continue;
        if (line.front() == u'[') {
            const qsizetype close = line.indexOf(u']');
            const QStringView name
                = trimBlanks(close < 0 ? line.sliced(1) : line.sliced(1, close - 1));
            data.m_sections.append({ name.toString(), CaseFold::folded(name), {} });
            current = &data.m_sections.last();
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        const QStringView key = trimBlanks(eq < 0 ? line : line.first(eq));
        if (key.isEmpty())
            continue;
        QStringView value = eq < 0 ? QStringView(u"") : trimBlanks(line.sliced(eq + 1));
        if (value.size() > MaxValueLength)
            value = value.first(MaxValueLength);
        // Keys are folded only when their section is asked for: a look-up reads one
        // section of a file of many.
        current->entries.append({ key.toString(), value.toString() });
    }
    return data;
}

QString TProfileData::value(QStringView section, QStringView key) const
{
    const QString foldedSection = CaseFold::folded(trimBlanks(section));
    const QStringView wantedKey = trimBlanks(key);
    for (const Section &s : m_sections) {
        if (s.foldedName != foldedSection)
            continue;
        for (const Entry &e : s.entries) {
            if (CaseFold::equal(e.key, wantedKey))
                return e.value.isNull() ? u""_s : e.value;
        }
    }
    return {};
}

QList<QPair<QString, QString>> TProfileData::entries(QStringView section) const
{
    const QString foldedSection = CaseFold::folded(trimBlanks(section));
    QList<QPair<QString, QString>> result;
    QSet<QString> seen;
    qsizetype used = 0;
    for (const Section &s : m_sections) {
        if (s.foldedName != foldedSection)
            continue;
        for (const Entry &e : s.entries) {
            const QString foldedKey = CaseFold::folded(e.key);
            if (seen.contains(foldedKey))
                continue;
            // A name cut in half would name another component or none; leave it out.
            if (used + e.key.size() + 1 >= MaxSectionKeyChars)
                return result;
            used += e.key.size() + 1;
            seen.insert(foldedKey);
            result.append({ e.key, e.value.isNull() ? u""_s : e.value });
        }
    }
    return result;
}

QStringList TProfileData::keys(QStringView section) const
{
    QStringList result;
    for (const auto &entry : entries(section))
        result.append(entry.first);
    return result;
}

QStringList TProfileData::sections() const
{
    QStringList result;
    QSet<QString> seen;
    for (const Section &s : m_sections) {
        if (!seen.contains(s.foldedName)) {
            seen.insert(s.foldedName);
            result.append(s.name);
        }
    }
    return result;
}

TLngIniFile::TLngIniFile(QString path) : m_path(std::move(path)) { }

bool TLngIniFile::read(TProfileData *data) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcLanguage) << "cannot read" << m_path << file.errorString();
        return false;
    }
    *data = TProfileData::parse(file.readAll());
    return true;
}

TLngMan::TLngMan() = default;
TLngMan::~TLngMan() = default;

void TLngMan::SetFolder(const QString &Folder)
{
    m_folder = Folder;
}

void TLngMan::SetLanguage(const QString &Name)
{
    if (Name == m_languageName)
        return;
    if (m_folder.isEmpty())
        throw ELngManagerException(u"Language manager not initialized!"_s);
    // The name comes from the settings; it must not lead out of the language folder.
    const bool plainName = !Name.isEmpty() && !Name.contains(u'/') && !Name.contains(u'\\')
        && Name != u"."_s && Name != u".."_s;
    const QString path = QDir(m_folder).filePath(Name);
    if (!plainName || !QFileInfo(path).isFile())
        throw ELngManagerException(u"Couldn't find language file!"_s);
    m_languageName = Name;
    m_iniFile = std::make_unique<TLngIniFile>(path);
    qCDebug(lcLanguage) << "language" << path;
}

TProfileData TLngMan::currentData(bool *fromFile) const
{
    TProfileData data;
    *fromFile = m_iniFile && m_iniFile->read(&data);
    return data;
}

QString TLngMan::GetString(const QString &Key, const QString &Section) const
{
    bool fromFile = false;
    const TProfileData data = currentData(&fromFile);
    if (fromFile) {
        const QString value = data.value(Section, Key);
        if (!value.isNull())
            return value;
    }
    const QString builtIn = BuiltInLanguage().value(Section, Key);
    return builtIn.isNull() ? u""_s : builtIn;
}

QString TLngMan::LanguageLocale() const
{
    bool fromFile = false;
    const TProfileData data = currentData(&fromFile);
    // The built-in texts must not speak for a file: a file without the entry means
    // "the system's locale", not English.
    const QString value = fromFile ? data.value(u"Language"_s, u"Locale"_s)
                                   : (HasLanguage() ? QString()
                                                    : BuiltInLanguage().value(u"Language"_s, u"Locale"_s));
    return value.isNull() ? QString() : value;
}

void TLngMan::ListLanguages(QStringList &List) const
{
    if (m_folder.isEmpty())
        return;
    // Windows matches "*.lng" without regard to case; a file "German.LNG" counts too.
    const QStringList all = QDir(m_folder).entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    for (const QString &name : all) {
        if (name.size() > 4 && name.endsWith(u".lng"_s, Qt::CaseInsensitive))
            List.append(name);
    }
}

QList<TFormText> TLngMan::FormTexts(const QString &FormName) const
{
    // One read for the whole form: a file edited halfway must not mix two versions.
    bool fromFile = false;
    const TProfileData data = currentData(&fromFile);
    QList<TFormText> result;
    if (!fromFile)
        return result;
    const QList<QPair<QString, QString>> entries = data.entries(FormName);
    for (const auto &[key, value] : entries) {
        const qsizetype dot = key.indexOf(u'.');
        TFormText text;
        text.Key = key;
        text.Component = dot < 0 ? key : key.first(dot);
        if (dot >= 0) {
            const qsizetype next = key.indexOf(u'.', dot + 1);
            text.Property = next < 0 ? key.sliced(dot + 1) : key.sliced(dot + 1, next - dot - 1);
        }
        text.Value = value;
        text.Value.replace(u'|', u'\n');
        result.append(text);
    }
    return result;
}

void TLngMan::NotifyTranslated()
{
    if (OnTranslated)
        OnTranslated(*this);
}

TLngMan &LanguageManager()
{
    static TLngMan manager;
    return manager;
}

const TProfileData &BuiltInLanguage()
{
    // Compiled in and immutable, so one parse serves the whole run.
    static const TProfileData data = [] {
        initLanguageResource();
        QFile file(kBuiltInPath);
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcLanguage) << "built-in English texts missing";
            return TProfileData();
        }
        return TProfileData::parse(file.readAll());
    }();
    return data;
}

QString LanguageFolder()
{
    return ProgramFilePath(u"lng"_s);
}

QString StartupLanguageName(const QString &Folder, const QString &Configured)
{
    if (!Configured.isEmpty() && !Configured.contains(u'/') && !Configured.contains(u'\\')
        && QFileInfo(QDir(Folder).filePath(Configured)).isFile())
        return Configured;
    return kDefaultLanguage;
}

bool StartLanguageManager(TLngMan &Manager, const QString &Folder, const QString &Configured)
{
    Manager.SetFolder(Folder);
    try {
        Manager.SetLanguage(StartupLanguageName(Folder, Configured));
        return true;
    } catch (const ELngManagerException &e) {
        qCWarning(lcLanguage) << e.message() << "- using the built-in English texts";
        return false;
    }
}

QLocale QtTranslationLocale(const TLngMan &Manager)
{
    const QString name = Manager.LanguageLocale();
    if (!name.isEmpty()) {
        const QLocale locale(name);
        // A name Qt does not know gives the C locale: treat it as no entry.
        if (locale.language() != QLocale::C)
            return locale;
    }
    return QLocale::system();
}

bool InstallQtTranslations(const TLngMan &Manager)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return false;
    // Owned by the application, so a test's second application starts afresh.
    static QPointer<QTranslator> installed;
    static QPointer<QCoreApplication> installedFor;
    static QString installedLocale;
    const QLocale locale = QtTranslationLocale(Manager);
    // Also a locale without a catalogue is looked up once, not at every settings change.
    if (installedFor == app && installedLocale == locale.name())
        return !installed.isNull();
    // The locale object, never a text from the file, builds the catalogue's name.
    auto *translator = new QTranslator(app);
    const bool loaded
        = translator->load(
        locale, u"qt"_s, u"_"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    installedFor = app;
    installedLocale = locale.name();
    if (!loaded) {
        delete translator;
        qCDebug(lcLanguage) << "no Qt catalogue for" << locale.name();
        return false;
    }
    installed = translator;
    QCoreApplication::installTranslator(translator);
    return true;
}

QString FormatString(const QString &Format, const QString &Value)
{
    const qsizetype at = Format.indexOf(QStringLiteral("%s"));
    if (at < 0)
        return Format;
    return Format.left(at) + Value + Format.mid(at + 2);
}
