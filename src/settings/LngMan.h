#pragma once

#include "Errors.h"

#include <QByteArrayView>
#include <QList>
#include <QLocale>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Raised by TLngMan::SetLanguage; its two messages are fixed English texts.
class ELngManagerException final : public EVellumtreeError
{
public:
    using EVellumtreeError::EVellumtreeError;
};

// One parse of a language file in the profile (INI) syntax:
//  - "[name]" starts a section; "key=value" is an entry of it; ";" starts a comment line;
//  - section names and keys match without regard to case (Unicode simple folding);
//  - blanks (spaces, tabs) around names, keys and values are dropped;
//  - the first of several equal keys wins; sections of the same name are read as one;
//  - a value is cut at MaxValueLength characters;
//  - a line without "=" is a key with an empty value; entries before the first section
//    are ignored.
// Any bytes are accepted: UTF-16 with its byte-order mark, else UTF-8 when valid, else
// the legacy code page.
class TProfileData final
{
public:
    static constexpr qsizetype MaxValueLength = 2047;
    // The key names of one section, each counted with a terminator, fit in this many
    // characters; names that do not fit any more are left out whole.
    static constexpr qsizetype MaxSectionKeyChars = 16384;

    static TProfileData parse(QByteArrayView bytes);
    static QString decodeBytes(QByteArrayView bytes);

    // The value, or a null QString when the key is not there (an empty value is an
    // empty, non-null QString).
    QString value(QStringView section, QStringView key) const;
    // The section's key names in file order, each once, in its first spelling, with
    // the value that look-ups give.
    QList<QPair<QString, QString>> entries(QStringView section) const;
    QStringList keys(QStringView section) const;
    QStringList sections() const;

private:
    struct Entry
    {
        QString key;
        QString value;
    };
    struct Section
    {
        QString name;
        QString foldedName;
        QList<Entry> entries;
    };
    QList<Section> m_sections;
};

// Reader of one language file on disk. Every look-up reads the file again, so a
// file edited while the program runs is seen at once.
class TLngIniFile final
{
public:
    explicit TLngIniFile(QString path);

    const QString &path() const { return m_path; }
    // False when the file cannot be read; *data is then left alone.
    bool read(TProfileData *data) const;

private:
    QString m_path;
};

// A form text of a language file, ready to apply: Component "." Property = Value, with
// every "|" of the value already turned into a line break.
struct TFormText
{
    QString Key;
    QString Component;
    QString Property;
    QString Value;
};

class TLngMan final
{
public:
    TLngMan();
    ~TLngMan();
    TLngMan(const TLngMan &) = delete;
    TLngMan &operator=(const TLngMan &) = delete;

    void SetFolder(const QString &Folder);
    // Throws ELngManagerException; the current language stays when it does.
    void SetLanguage(const QString &Name);
    // The value of Key in Section of the current language file. A key that the file
    // lacks, and every key while no language file can be read, takes the built-in
    // English text, so a known key never comes back empty.
    QString GetString(const QString &Key, const QString &Section) const;
    // Appends the "*.lng" file names of the folder in the file system's order.
    void ListLanguages(QStringList &List) const;

    // The entries of the form's section in file order, for TranslateForm.
    QList<TFormText> FormTexts(const QString &FormName) const;
    // Calls OnTranslated, if set, with this manager as sender.
    void NotifyTranslated();

    // The locale the language file names for itself ("de", "pt_BR") in the entry Locale
    // of its section [Language]; empty when it names none. Without a file, the built-in
    // English texts' locale.
    QString LanguageLocale() const;

    const QString &LanguageName() const { return m_languageName; }
    const QString &Folder() const { return m_folder; }
    bool HasLanguage() const { return m_iniFile != nullptr; }

    std::function<void(TLngMan &Sender)> OnTranslated;

private:
    TProfileData currentData(bool *fromFile) const;

    std::unique_ptr<TLngIniFile> m_iniFile;
    QString m_languageName;
    QString m_folder;
};

// The locale for Qt's own texts: the language file's, else the system's.
QLocale QtTranslationLocale(const TLngMan &Manager);
// Loads Qt's translation catalogue (the Yes/No buttons of message boxes, the file, font
// and colour dialogs) for that locale and installs it in place of the one before; with
// no catalogue for it, Qt's own English texts stay. Needs a QCoreApplication. Returns
// whether a catalogue is installed.
bool InstallQtTranslations(const TLngMan &Manager);

// A language text with its "%s" replaced by Value (the first one only).
QString FormatString(const QString &Format, const QString &Value);

// The one language manager of the program, alive until the process ends.
TLngMan &LanguageManager();

// The English texts compiled into the program.
const TProfileData &BuiltInLanguage();

// "<executable folder>/lng", or "../share/vellumtree/lng" beside the executable's folder
// when only that exists (an installed program).
QString LanguageFolder();

// The file to start with: Configured when it is a file in Folder, else "English.lng".
QString StartupLanguageName(const QString &Folder, const QString &Configured);

// Start-up: folder and language as above. When no language file can be loaded the
// manager runs on the built-in English texts; returns false then.
bool StartLanguageManager(TLngMan &Manager, const QString &Folder, const QString &Configured);
