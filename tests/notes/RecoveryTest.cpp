// The recovery folder: copies of live sessions are never offered, copies of ended
// sessions are, and their descriptions are read strictly.

#include "notes/Recovery.h"
#include "Errors.h"

#include "TempFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

TRecoveryInfo sampleInfo()
{
    TRecoveryInfo info;
    info.Session = u"4711-beef"_s;
    info.Document = u"/home/ünï/odd\nname 100%.vlt"_s;
    info.Extension = u"vle"_s;
    info.Written = QDateTime::fromMSecsSinceEpoch(1765200000123);
    info.Stamp.Exists = true;
    info.Stamp.Regular = true;
    info.Stamp.Device = 2049;
    info.Stamp.Inode = 1234567;
    info.Stamp.Size = 4096;
    info.Stamp.ModifiedNs = 1765199000123456789;
    info.Stamp.Digest = QByteArray::fromHex("00ff10");
    return info;
}

void storeText(TRecoveryStore &store, const QString &extension, const QByteArray &text,
    const QString &document = u"/x/notes.vlt"_s)
{
    TRecoveryInfo about;
    about.Document = document;
    about.Extension = extension;
    about.Written = QDateTime::currentDateTime();
    store.Store(about, [&text](const QString &path) { WriteTestFile(path, text); });
}

int modeOf(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777)
                                                                    : -1;
}

} // namespace

TEST(RecoveryInfo, ComesBackFromItsTextAndRefusesAnythingElse)
{
    const TRecoveryInfo info = sampleInfo();
    const QByteArray text = info.Format();
    const auto back = TRecoveryInfo::Parse(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Session, info.Session);
    EXPECT_EQ(back->Document, info.Document);
    EXPECT_EQ(back->Extension, info.Extension);
    EXPECT_EQ(back->Written, info.Written);
    EXPECT_TRUE(back->Stamp == info.Stamp);

    const auto replaced = [&text](const QByteArray &from, const QByteArray &to) {
        return QByteArray(text).replace(from, to);
    };
    const QList<QByteArray> bad {
        {},
        text.chopped(1), // no final line break
        text + "extra value\n", // a field too many
        replaced("extension vle\n", ""), // a field missing
        replaced("extension vle", "session 1-2"), // a field twice
        replaced("session 4711-beef", "session ../../x"), // a path as the session
        replaced("extension vle", "extension vle/../../x"), // a path as the extension
        replaced("extension vle", "extension "),
        replaced("written 1765200000123", "written soon"),
        replaced("stamp 1 1", "stamp 2 1"),
        replaced(" 00ff10", " 0ff10"),
        replaced("Vellumtree recovery 1", "Vellumtree recovery 2"),
        text + QByteArray(TRecoveryInfo::MaxInfoSize, 'x'),
    };
    for (const QByteArray &input : bad)
        EXPECT_FALSE(TRecoveryInfo::Parse(input)) << input.left(200).toStdString();
}

TEST(RecoveryStore, OffersOnlyTheCopiesOfSessionsThatEnded)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"state/vellumtree/recovery"_s);
    auto running = std::make_unique<TRecoveryStore>(folder);
    storeText(*running, u"vlt"_s, "first");
    ASSERT_TRUE(running->HasCopy());

    TRecoveryStore next(folder);
    next.Start();
    EXPECT_TRUE(next.Leftovers().isEmpty()) << "a window that still runs keeps its copy";
    EXPECT_EQ(modeOf(folder), 0700);

    const QString session = running->Session();
    running.reset();
    const QList<TRecoveryInfo> left = next.Leftovers();
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left[0].Session, session);
    EXPECT_EQ(left[0].Document, u"/x/notes.vlt"_s);
    EXPECT_EQ(ReadTestFile(left[0].CopyPath), "first");
    EXPECT_EQ(modeOf(left[0].CopyPath), 0600);

    next.Remove(left[0]);
    EXPECT_TRUE(next.Leftovers().isEmpty());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).join(u' '), u"%1.lock"_s.arg(next.Session()));
}

TEST(RecoveryStore, DiscardAndAChangedExtensionLeaveOneCopyOrNone)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"recovery"_s);
    {
        TRecoveryStore store(folder);
        storeText(store, u"vlt"_s, "plain");
        // Enciphered since: the plain copy must not stay behind.
        storeText(store, u"vle"_s, "enciphered");
        EXPECT_FALSE(QFileInfo::exists(folder + u'/' + store.Session() + u".vlt"_s));
        store.Discard();
        EXPECT_FALSE(store.HasCopy());
    }
    TRecoveryStore next(folder);
    EXPECT_TRUE(next.Leftovers().isEmpty());
    EXPECT_TRUE(QDir(folder).entryList({ u"*.vl?"_s, u"*.info"_s }, QDir::Files).isEmpty());

    // A copy whose description never got written (killed in between) is not offered,
    // nor is a description whose session name does not match its file.
    WriteTestFile(folder + u"/77-1.vlt"_s, "half");
    TRecoveryInfo other = sampleInfo();
    other.Extension = u"vlt"_s;
    WriteTestFile(folder + u"/78-1.info"_s, other.Format());
    WriteTestFile(folder + u"/78-1.vlt"_s, "text");
    EXPECT_TRUE(next.Leftovers().isEmpty());
}

TEST(RecoveryStore, RefusesAFolderThatIsALinkAndOpensUpAFolderOthersCouldEnter)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(u"elsewhere"_s);
    ASSERT_TRUE(QFile::link(dir.filePath(u"elsewhere"_s), dir.filePath(u"linked"_s)));
    TRecoveryStore linked(dir.filePath(u"linked"_s));
    EXPECT_THROW(linked.Start(), EFileError);

    const QString open = dir.filePath(u"open"_s);
    QDir(dir.path()).mkpath(u"open"_s);
    ::chmod(QFile::encodeName(open).constData(), 0777);
    TRecoveryStore store(open);
    store.Start();
    EXPECT_EQ(modeOf(open), 0700);
}
