#include "../settings/TempRegistry.h"
#include "find/FindOptions.h"
#include "settings/Utils.h"

using namespace Qt::StringLiterals;

namespace {

class FindOptionsTest : public TempRegistryTest
{
protected:
    const QString key = TFindOptions::KeyFor(u"Software\\Vellumtree\\"_s);
};

TEST_F(FindOptionsTest, FirstRunGivesTheDefaults)
{
    TFindOptions options;
    options.WatchCase = true;
    options.FindHistory = {u"old"_s};
    options.Load(key);
    EXPECT_TRUE(options.FindHistory.isEmpty());
    EXPECT_TRUE(options.ReplaceHistory.isEmpty());
    EXPECT_FALSE(options.WatchCase);
    EXPECT_TRUE(options.SearchNames);
    EXPECT_TRUE(options.SearchNotes);
    EXPECT_FALSE(options.WholeWords);
    EXPECT_EQ(options.Scope, 2);
}

TEST_F(FindOptionsTest, SavedInTheirOrderAndReadBack)
{
    TFindOptions options;
    options.FindHistory = {u"b"_s, u"a"_s};
    options.ReplaceHistory = {u"r"_s};
    options.WatchCase = true;
    options.SearchNames = false;
    options.WholeWords = true;
    options.Scope = 1;
    options.Save(key);

    const QByteArray text = registryBytes();
    EXPECT_TRUE(text.contains("[HKEY_CURRENT_USER\\Software\\Vellumtree\\Find]"));
    qsizetype at = text.indexOf("\"Find\"=");
    EXPECT_GE(at, 0) << text.toStdString();
    for (const char *name : {"\"Replace\"", "\"Watch case\"=dword:00000001",
                             "\"Whole Words\"=dword:00000001", "\"Search Names\"=dword:00000000",
                             "\"Search Notes\"=dword:00000001", "\"Scope\"=dword:00000001"}) {
        const qsizetype next = text.indexOf(name, at);
        EXPECT_GT(next, at) << name;
        at = next;
    }

    TFindOptions back;
    back.Load(key);
    EXPECT_EQ(back.FindHistory, options.FindHistory);
    EXPECT_EQ(back.ReplaceHistory, options.ReplaceHistory);
    EXPECT_TRUE(back.WatchCase);
    EXPECT_FALSE(back.SearchNames);
    EXPECT_TRUE(back.SearchNotes);
    EXPECT_TRUE(back.WholeWords);
    EXPECT_EQ(back.Scope, 1);
}

TEST_F(FindOptionsTest, OneMissingOrMistypedValueResetsAllOptions)
{
    const QByteArray head = "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_CURRENT_USER\\Software\\Vellumtree\\Find]\r\n"
                            "\"Find\"=\"kept?\"\r\n\"Watch case\"=dword:00000001\r\n"
                            "\"Search Names\"=dword:00000000\r\n";
    const QByteArray tails[] = {
        // "Whole Words" missing
        "\"Search Notes\"=dword:00000001\r\n\"Scope\"=dword:00000001\r\n",
        // "Scope" a string
        "\"Search Notes\"=dword:00000001\r\n\"Whole Words\"=dword:00000000\r\n"
        "\"Scope\"=\"1\"\r\n",
        // "Replace" an integer
        "\"Search Notes\"=dword:00000001\r\n\"Whole Words\"=dword:00000000\r\n"
        "\"Scope\"=dword:00000001\r\n\"Replace\"=dword:00000001\r\n",
    };
    for (const QByteArray &tail : tails) {
        writeRegistry(head + tail);
        TFindOptions options;
        options.Load(key);
        EXPECT_TRUE(options.FindHistory.isEmpty()) << tail.toStdString();
        EXPECT_FALSE(options.WatchCase);
        EXPECT_TRUE(options.SearchNames);
        EXPECT_EQ(options.Scope, 2);
    }
    // Complete, with any non-zero integer meaning checked and no "Replace" at all.
    writeRegistry(head + "\"Search Notes\"=dword:00000007\r\n\"Whole Words\"=dword:00000000\r\n"
                         "\"Scope\"=dword:00000000\r\n");
    TFindOptions options;
    options.Load(key);
    EXPECT_EQ(options.FindHistory, QStringList{u"kept?"_s});
    EXPECT_TRUE(options.ReplaceHistory.isEmpty());
    EXPECT_TRUE(options.WatchCase);
    EXPECT_FALSE(options.SearchNames);
    EXPECT_TRUE(options.SearchNotes);
    EXPECT_EQ(options.Scope, 0);
}

TEST_F(FindOptionsTest, HistoryOfEightKeepsTheSevenNewest)
{
    TFindOptions options;
    for (int i = 1; i <= 8; ++i)
        AddToHistory(options.FindHistory, u"text%1"_s.arg(i), TFindOptions::HistorySize);
    AddToHistory(options.FindHistory, u"TEXT5"_s, TFindOptions::HistorySize);
    options.Save(key);
    TFindOptions back;
    back.Load(key);
    EXPECT_EQ(back.FindHistory, (QStringList{u"text5"_s, u"text8"_s, u"text7"_s, u"text6"_s,
                                             u"text4"_s, u"text3"_s, u"text2"_s}));
}

// A history grown elsewhere to megabytes is read only as far as its seven entries,
// split at any line break with empty entries dropped.
TEST_F(FindOptionsTest, LongStoredHistoryGivesItsFirstSevenEntries)
{
    QString stored = u"\r\none\r\n\r\ntwo\rthree\nfour\r\n\nfive\r\nsix\r\n"_s;
    for (int i = 0; i < 200000; ++i)
        stored += u"entry %1\r\n"_s.arg(i);
    {
        TRegistryStore store;
        ASSERT_TRUE(store.OpenKey(key, true));
        store.WriteString(u"Find"_s, stored);
        store.WriteString(u"Replace"_s, u"r1\nr2"_s);
        store.WriteInteger(u"Watch case"_s, 0);
        store.WriteInteger(u"Whole Words"_s, 0);
        store.WriteInteger(u"Search Names"_s, 1);
        store.WriteInteger(u"Search Notes"_s, 1);
        store.WriteInteger(u"Scope"_s, 2);
    }
    TFindOptions options;
    options.Load(key);
    EXPECT_EQ(options.FindHistory, (QStringList{u"one"_s, u"two"_s, u"three"_s, u"four"_s,
                                                u"five"_s, u"six"_s, u"entry 0"_s}));
    EXPECT_EQ(options.ReplaceHistory, (QStringList{u"r1"_s, u"r2"_s}));
}

// A log pasted into the search box is searched for but not remembered: kept, it would
// grow the settings file past what can be read back, and every setting would be lost.
TEST_F(FindOptionsTest, TextTooLongToRememberIsLeftOutOfItsHistory)
{
    const QString pasted(6 * 1024 * 1024, u'x');
    TFindOptions options;
    options.FindHistory = {u"before"_s, pasted, u"after"_s};
    options.ReplaceHistory = {QString(TFindOptions::MaxHistoryEntry, u'r'),
                              QString(TFindOptions::MaxHistoryEntry + 1, u'r')};
    options.WatchCase = true;
    options.Save(key);
    EXPECT_LT(registryBytes().size(), 1024 * 1024);

    TFindOptions back;
    back.Load(key);
    EXPECT_EQ(back.FindHistory, (QStringList{u"before"_s, u"after"_s}));
    EXPECT_EQ(back.ReplaceHistory, QStringList{QString(TFindOptions::MaxHistoryEntry, u'r')});
    EXPECT_TRUE(back.WatchCase);
}

} // namespace
