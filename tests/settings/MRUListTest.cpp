#include <QSignalSpy>

#include "TempRegistry.h"
#include "settings/qkMRUList.h"

using namespace Qt::StringLiterals;

namespace {

const QString section = u"Software\\Vellumtree\\MRU Items"_s;

class MRUList : public TempRegistryTest
{
protected:
    static std::unique_ptr<TqkMRUList> makeList()
    {
        auto list = std::make_unique<TqkMRUList>();
        list->SetSaveSection(section);
        return list;
    }

    static QStringList storedNames()
    {
        TRegistryStore reg;
        return reg.OpenKey(section, false) ? reg.GetValueNames() : QStringList();
    }
};

TEST_F(MRUList, AddFileMovesAnEntryEqualIgnoringCaseAndTrims)
{
    auto list = makeList();
    QSignalSpy changed(list.get(), &TqkMRUList::ItemsChanged);
    for (int i = 1; i <= 5; ++i)
        list->AddFile(u"/n/File%1.vlt"_s.arg(i));
    list->AddFile(u"/N/FILE2.VLT"_s);
    EXPECT_EQ(list->Items().size(), 5);
    EXPECT_EQ(list->Items().first(), u"/n/File2.vlt"_s);
    list->AddFile(u"/n/File6.vlt"_s);
    EXPECT_EQ(list->Items(),
        QStringList({ u"/n/File6.vlt"_s, u"/n/File2.vlt"_s, u"/n/File5.vlt"_s, u"/n/File4.vlt"_s,
            u"/n/File3.vlt"_s }));
    EXPECT_EQ(changed.count(), 7);

    list.reset(); // saves
    EXPECT_EQ(storedNames(), QStringList({ u"F0"_s, u"F1"_s, u"F2"_s, u"F3"_s, u"F4"_s }));
    auto again = makeList();
    again->LoadItems();
    EXPECT_EQ(again->Items().first(), u"/n/File6.vlt"_s);
}

TEST_F(MRUList, ItemCountIsCappedAndSettingItAgainTrimsNothing)
{
    {
        TRegistryStore reg;
        ASSERT_TRUE(reg.OpenKey(section, true));
        for (int i = 0; i < 9; ++i)
            reg.WriteString(u"F%1"_s.arg(i), u"/f%1"_s.arg(i));
    }
    auto list = makeList();
    list->LoadItems();
    EXPECT_EQ(list->Items().size(), 9); // loading does not trim
    list->SetItemCount(5);
    EXPECT_EQ(list->Items().size(), 9);
    list->AddFile(u"/new"_s);
    EXPECT_EQ(list->Items().size(), 5);

    list->SetItemCount(20);
    EXPECT_EQ(list->ItemCount(), 16);
    for (int i = 0; i < 20; ++i)
        list->AddFile(u"/g%1"_s.arg(i));
    EXPECT_EQ(list->Items().size(), 16);
    EXPECT_EQ(list->Caption(0), u"&0 /g19"_s);
    EXPECT_EQ(list->Caption(15), u"&F /g4"_s);
}

TEST_F(MRUList, EmptiedListIsSavedEmptySoRemovedEntriesStayGone)
{
    auto list = makeList();
    list->AddFile(u"/a"_s);
    list.reset();
    list = makeList();
    list->LoadItems();
    list->SetItemCount(0);
    EXPECT_TRUE(list->Items().isEmpty());
    list->AddFile(u"/b"_s);
    EXPECT_TRUE(list->Items().isEmpty());
    list.reset();
    EXPECT_TRUE(storedNames().isEmpty());
}

TEST_F(MRUList, ListThatCouldNotBeReadIsNotSavedOverTheStoredOne)
{
    {
        TRegistryStore reg;
        ASSERT_TRUE(reg.OpenKey(section, true));
        reg.WriteInteger(u"F0"_s, 3);
        reg.WriteString(u"F1"_s, u"/kept"_s);
    }
    auto list = makeList();
    list->LoadItems();
    EXPECT_TRUE(list->Items().isEmpty());
    list.reset();
    EXPECT_EQ(storedNames(), QStringList({u"F0"_s, u"F1"_s}));
}

TEST_F(MRUList, LoadKeepsForeignNamesInOrderAndStopsAtANonString)
{
    {
        TRegistryStore reg;
        ASSERT_TRUE(reg.OpenKey(section, true));
        reg.WriteString(u"zz"_s, u"/z"_s);
        reg.WriteString(u"F0"_s, u"/f"_s);
        reg.WriteInteger(u"F1"_s, 3);
        reg.WriteString(u"F2"_s, u"/never"_s);
    }
    auto list = makeList();
    QSignalSpy errors(list.get(), &TqkMRUList::LoadError);
    QSignalSpy changed(list.get(), &TqkMRUList::ItemsChanged);
    list->LoadItems();
    EXPECT_EQ(list->Items(), QStringList({ u"/z"_s, u"/f"_s }));
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.first().first().toString(), u"Error loading MRU items!"_s);
    EXPECT_EQ(changed.count(), 1);
}

// A settings file that grew for years held 100,000 recent files, and each start read
// and listed them all.
TEST_F(MRUList, AListThatGrewElsewhereIsReadOnlyAsFarAsItCanBeShown)
{
    QStringList stored;
    {
        TRegistryStore reg;
        ASSERT_TRUE(reg.OpenKey(section, true));
        for (int i = 0; i < 5000; ++i) {
            stored += u"/notes/%1.vlt"_s.arg(i);
            reg.WriteString(u"F%1"_s.arg(i), stored.last());
        }
    }
    auto list = makeList();
    list->SetItemCount(TqkMRUList::MaxItemCount);
    list->LoadItems();
    EXPECT_EQ(list->Items(), stored.first(TqkMRUList::MaxItemCount));
}

TEST_F(MRUList, RemoveMissingFilesKeepsOnlyExistingOnes)
{
    const QString kept = m_dir.filePath(u"kept.vlt"_s);
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    auto list = makeList();
    list->AddFile(m_dir.filePath(u"gone.vlt"_s));
    list->AddFile(kept);
    list->AddFile(m_dir.filePath(u"gone too.vlt"_s));
    list->RemoveMissingFiles();
    EXPECT_EQ(list->Items(), QStringList(kept));
    file.remove();
    list->RemoveMissingFiles();
    EXPECT_TRUE(list->Items().isEmpty());
}

struct DisplayCase
{
    const char *name;
    const char16_t *path;
    int itemLen;
    const char16_t *expected;
};

class MRUDisplayText : public ::testing::TestWithParam<DisplayCase>
{
};

TEST_P(MRUDisplayText, CutsOnlyTheFolderPart)
{
    const DisplayCase &c = GetParam();
    EXPECT_EQ(TqkMRUList::DisplayText(QString::fromUtf16(c.path), c.itemLen),
        QString::fromUtf16(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Paths, MRUDisplayText,
    ::testing::Values(DisplayCase { "WindowsPath", u"C:\\My Documents\\Work\\notes.vlt", 15,
                          u"C:\\My Documents...\\notes.vlt" },
        DisplayCase { "ShortWindowsPath", u"D:\\notes.vlt", 15, u"D:\\notes.vlt" },
        DisplayCase {
            "FolderExactlyItemLen", u"/home/user/abcd/n.vlt", 16, u"/home/user/abcd/n.vlt" },
        DisplayCase {
            "FolderOneLonger", u"/home/user/abcde/n.vlt", 16, u"/home/user/abcde.../n.vlt" },
        DisplayCase {
            "ZeroShowsFullPath", u"/a/very/long/folder/n.vlt", 0, u"/a/very/long/folder/n.vlt" },
        DisplayCase { "DriveColon", u"C:verylongfilename.vlt", 2, u"C:verylongfilename.vlt" },
        DisplayCase { "NoFolder", u"notes.vlt", 2, u"notes.vlt" }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MRUList, AmpersandsInPathsAreShownNotAccelerators)
{
    auto list = makeList();
    list->SetItemLen(0);
    list->AddFile(u"/R&D/a.vlt"_s);
    EXPECT_EQ(list->Caption(0), u"&0 /R&&D/a.vlt"_s);
}

} // namespace
