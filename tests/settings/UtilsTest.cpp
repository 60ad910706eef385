#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include "TempRegistry.h"
#include "settings/Utils.h"

using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(TextUtils, TextBeforeDotAndShortenText)
{
    EXPECT_EQ(TextBeforeDot(u"/home/a.b/notes.vlt"_s), u"/home/a"_s);
    EXPECT_EQ(TextBeforeDot(u"notes"_s), QString());
    EXPECT_EQ(TextBeforeDot(u".vlt"_s), QString());

    const QString long300(300, u'x');
    const QString shortened = ShortenText(long300, 255);
    EXPECT_EQ(shortened.size(), 258);
    EXPECT_TRUE(shortened.endsWith(u"x..."_s));
    EXPECT_EQ(ShortenText(u"abc"_s, 3), u"abc"_s);
    EXPECT_EQ(ShortenText(u"abc"_s, -1), u"..."_s);
    // A character outside the BMP is not cut in half.
    EXPECT_EQ(ShortenText(u"a𝄞b"_s, 2), u"a..."_s);
}

TEST(TextUtils, AddToHistoryMovesTheEqualEntryAndTrims)
{
    QStringList list { u"one"_s, u"Two"_s, u"three"_s };
    AddToHistory(list, u"TWO"_s, 7);
    EXPECT_EQ(list, QStringList({ u"Two"_s, u"one"_s, u"three"_s }));
    AddToHistory(list, u"four"_s, 3);
    EXPECT_EQ(list, QStringList({ u"four"_s, u"Two"_s, u"one"_s }));
    AddToHistory(list, u"Ärger"_s, 2);
    AddToHistory(list, u"ärger"_s, 2);
    EXPECT_EQ(list, QStringList({ u"Ärger"_s, u"four"_s }));
    AddToHistory(list, u"x"_s, 0);
    EXPECT_TRUE(list.isEmpty());
}

TEST(TextUtils, DateAndTimeTextsFollowTheLocale)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const QDate date(2024, 3, 5);
    EXPECT_TRUE(LongDateText(date, german).contains(u"März"_s));
    // The plain time text has seconds but no time zone.
    EXPECT_EQ(TimeText(QTime(7, 8, 9), german), u"07:08:09"_s);
    EXPECT_FALSE(TimeText().isEmpty());
}

using RegistryInteger = TempRegistryTest;

TEST_F(RegistryInteger, ReadsRawLittleEndianBytesWithItsRules)
{
    {
        TRegistryStore reg;
        ASSERT_TRUE(reg.OpenKey(u"Software\\Vellumtree\\"_s, true));
        reg.WriteInteger(u"SingleInstance"_s, 1);
        reg.WriteBinaryData(u"Short"_s, QByteArray("\x02\x01", 2));
        reg.WriteBinaryData(u"Long"_s, QByteArray(5, '\x01'));
        reg.WriteString(u"Text"_s, u"a"_s); // 4 bytes: 'a', 0, 0, 0
    }
    const auto read = [](const QString &name) {
        return ReadRegistryInteger(TRegistryRoot::CurrentUser, u"Software\\Vellumtree"_s, name);
    };
    EXPECT_EQ(read(u"SingleInstance"_s), 1);
    EXPECT_EQ(read(u"Short"_s), 0x0102);
    EXPECT_EQ(read(u"Long"_s), 0);
    EXPECT_EQ(read(u"Text"_s), 0x61);
    EXPECT_EQ(read(u"Missing"_s), 0);
    EXPECT_EQ(ReadRegistryInteger(TRegistryRoot::CurrentUser, u"Software\\Nothing"_s, u"A"_s), -1);
}

class MoveFile : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

TEST_F(MoveFile, ReplacesAReadOnlyTargetAndRemovesTheSource)
{
    ASSERT_TRUE(writeFile(path(u"notes.vlt"_s), "new"));
    ASSERT_TRUE(writeFile(path(u"notes.bak"_s), "old"));
    QFile::setPermissions(path(u"notes.bak"_s), QFileDevice::ReadOwner);
    EXPECT_TRUE(MoveFileReplacing(path(u"notes.vlt"_s), path(u"notes.bak"_s)));
    EXPECT_EQ(readFile(path(u"notes.bak"_s)), "new");
    EXPECT_FALSE(QFileInfo::exists(path(u"notes.vlt"_s)));
}

TEST_F(MoveFile, AcrossFileSystemsCopiesOverTheTargetThenRemovesTheSource)
{
    QTemporaryDir other(u"/dev/shm/vt-move-XXXXXX"_s);
    if (!other.isValid() || QStorageInfo(other.path()) == QStorageInfo(m_dir.path()))
        GTEST_SKIP() << "no second file system";
    const QString source = other.filePath(u"notes.vlt"_s);
    ASSERT_TRUE(writeFile(source, "new"));
    QFile::setPermissions(source, QFileDevice::ReadOwner);
    ASSERT_TRUE(writeFile(path(u"notes.bak"_s), "old"));
    EXPECT_TRUE(MoveFileReplacing(source, path(u"notes.bak"_s)));
    EXPECT_EQ(readFile(path(u"notes.bak"_s)), "new");
    EXPECT_FALSE(QFileInfo::exists(source));
}

TEST_F(MoveFile, MissingSourceChangesNothing)
{
    ASSERT_TRUE(writeFile(path(u"notes.bak"_s), "old"));
    EXPECT_FALSE(MoveFileReplacing(path(u"none.vlt"_s), path(u"notes.bak"_s)));
    EXPECT_EQ(readFile(path(u"notes.bak"_s)), "old");
}

} // namespace
