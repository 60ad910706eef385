#pragma once

#include <QString>
#include <QStringList>

// The search dialog's options and histories as the registry keeps them, under the
// settings key's subkey "Find".
struct TFindOptions
{
    static constexpr qsizetype HistorySize = 7;
    // Longer search and replace texts are not kept in the histories: a pasted log would
    // grow the settings file past what it may be, and cost every start to read.
    static constexpr qsizetype MaxHistoryEntry = 10000;

    // "Software\Vellumtree\Find\" below the given settings key.
    static QString KeyFor(const QString &settingsKey);

    QStringList FindHistory;
    QStringList ReplaceHistory;
    bool WatchCase = false;
    bool SearchNames = true;
    bool SearchNotes = true;
    bool WholeWords = false;
    int Scope = 2;

    // A missing key, a missing integer or any value of another type than expected
    // gives every option its default, histories included. Never raises.
    void Load(const QString &key);
    // Writes every value in its fixed order, creating the key. Registry failures are
    // never shown: the options are simply not kept.
    void Save(const QString &key) const;
};
