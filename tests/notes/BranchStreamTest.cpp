#include "TreeText.h"

#include "notes/NoteTree.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using TreeText::build;
using TreeText::dump;
using TreeText::find;

namespace {

// Builds a stream by hand, the way another process could send it.
class Stream
{
public:
    Stream &marker(qint32 value)
    {
        char bytes[4];
        qToLittleEndian(value, bytes);
        m_bytes.append(bytes, 4);
        return *this;
    }
    Stream &record(const QByteArray &title, const QByteArray &body = {})
    {
        marker(static_cast<qint32>(title.size()));
        m_bytes.append(title);
        marker(static_cast<qint32>(body.size()));
        m_bytes.append(body);
        return *this;
    }
    Stream &raw(const QByteArray &bytes)
    {
        m_bytes.append(bytes);
        return *this;
    }
    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

class BranchStreamTest : public ::testing::Test
{
protected:
    TNoteTree tree;
    QAbstractItemModelTester tester{&tree, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(BranchStreamTest, WritesRecordsWithChildMarkers)
{
    build(tree, u"A(B(C),D)"_s);
    find(tree, u"C"_s)->SetBodyText(u"c1\nc2"_s);
    const QByteArray expected = Stream()
                                    .record("A")
                                    .marker(-10)
                                    .record("B")
                                    .marker(-10)
                                    .record("C", "c1\r\nc2\r\n")
                                    .marker(-9)
                                    .record("D")
                                    .marker(-9)
                                    .marker(-7)
                                    .bytes();
    EXPECT_EQ(tree.WriteBranch(tree.RootNote(0)), expected);
}

TEST_F(BranchStreamTest, SingleNoteIsOneRecordAndTheEndMarker)
{
    build(tree, u"X,Y"_s);
    TNote *y = find(tree, u"Y"_s);
    y->SetBodyText(u"body"_s);
    const QByteArray stream = tree.WriteBranch(y);
    EXPECT_EQ(stream, Stream().record("Y", "body\r\n").marker(-7).bytes());

    TNote *first = tree.InsertBranch(find(tree, u"X"_s), imFirstChild, stream);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(dump(tree), u"X(Y),Y"_s);
    EXPECT_EQ(first->Body(), QStringList{u"body"_s});
}

TEST_F(BranchStreamTest, ThreeLevelBranchPastedAfterADeepNoteKeepsItsShape)
{
    build(tree, u"R(S(T,U),V)"_s);
    TNoteTree source;
    build(source, u"A(B(C,D),E)"_s);
    const QByteArray stream = source.WriteBranch(source.RootNote(0));

    TNote *first = tree.InsertBranch(find(tree, u"T"_s), imAfter, stream);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Title(), u"A"_s);
    EXPECT_EQ(dump(tree), u"R(S(T,A(B(C,D),E),U),V)"_s);
}

// Pasting a large branch froze the window: every note was a model change of its own.
TEST_F(BranchStreamTest, PastedBranchIsOneInsertedRowWithItsCount)
{
    build(tree, u"R(S),T"_s);
    TNoteTree source;
    build(source, u"A(B(C,D),E)"_s);
    QSignalSpy inserted(&tree, &QAbstractItemModel::rowsInserted);

    const QByteArray stream = source.WriteBranch(source.RootNote(0));
    TNote *first = tree.InsertBranch(find(tree, u"S"_s), imBefore, stream);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 0);
    EXPECT_EQ(dump(tree), u"R(A(B(C,D),E),S),T"_s);
    EXPECT_EQ(tree.Count(), 8);
    EXPECT_EQ(tree.AbsoluteIndex(find(tree, u"E"_s)), 5);
    EXPECT_EQ(tree.NoteAt(7)->Title(), u"T"_s);
    EXPECT_EQ(find(tree, u"D"_s)->Level(), 3);
    EXPECT_EQ(find(tree, u"D"_s)->Parent()->Title(), u"B"_s);
}

TEST_F(BranchStreamTest, RoundTripKeepsUnicodeTitlesAndBodies)
{
    TNote *a = tree.AddNote(nullptr, u"Заметка ✓"_s, imLastChild, u"строка\r\n\r\nend"_s);
    tree.AddNote(a, u"子"_s, imLastChild);
    TNote *target = tree.AddNote(nullptr, u"T"_s, imLastChild);
    TNote *copy = tree.InsertBranch(target, imLastChild, tree.WriteBranch(a));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Title(), a->Title());
    EXPECT_EQ(copy->Body(), a->Body());
    EXPECT_EQ(TreeText::dumpBranch(copy), TreeText::dumpBranch(a));
}

TEST_F(BranchStreamTest, NoAnchorOrNoFirstRecordInsertsNothing)
{
    build(tree, u"A"_s);
    const QByteArray good = Stream().record("N").marker(-7).bytes();
    EXPECT_EQ(tree.InsertBranch(nullptr, imAfter, good), nullptr);
    EXPECT_EQ(tree.InsertBranch(tree.RootNote(0), imAfter, QByteArray()), nullptr);
    EXPECT_EQ(tree.InsertBranch(tree.RootNote(0), imAfter, QByteArray("\x01\x00", 2)), nullptr);
    EXPECT_EQ(tree.InsertBranch(tree.RootNote(0), imAfter, Stream().marker(-7).bytes()), nullptr);
    EXPECT_EQ(tree.InsertBranch(tree.RootNote(0), 9, good), nullptr);
    EXPECT_EQ(dump(tree), u"A"_s);
}

struct MalformedCase
{
    const char *name;
    QByteArray stream;
    const char *expected; // shape after pasting as last child of anchor X
};

class MalformedStream : public BranchStreamTest, public ::testing::WithParamInterface<MalformedCase>
{
};

TEST_P(MalformedStream, StopsAtTheFaultAndKeepsWhatCameBefore)
{
    build(tree, u"P(X),Q"_s);
    tree.InsertBranch(find(tree, u"X"_s), imLastChild, GetParam().stream);
    EXPECT_EQ(dump(tree), QString::fromLatin1(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MalformedStream,
    ::testing::Values(
        MalformedCase{"TruncatedRecord",
                      Stream().record("A").marker(-10).record("B").raw("\x05\0\0\0ab").bytes(),
                      "P(X(A(B))),Q"},
        MalformedCase{"NegativeLength", Stream().record("A").marker(-3).record("B").bytes(),
                      "P(X(A)),Q"},
        MalformedCase{"LengthBeyondTheData",
                      Stream().record("A").marker(0x7fffffff).raw("abc").bytes(), "P(X(A)),Q"},
        MalformedCase{"BodyLengthBeyondTheData",
                      Stream().record("A").marker(1).raw("B").marker(1000).raw("x").bytes(),
                      "P(X(A)),Q"},
        MalformedCase{"NoEndMarker", Stream().record("A").marker(-10).record("B").bytes(),
                      "P(X(A(B))),Q"},
        MalformedCase{"HalfAMarker", Stream().record("A").raw("\xf6\xff").bytes(), "P(X(A)),Q"},
        MalformedCase{"DataAfterTheEndIsNeverRead",
                      Stream().record("A").marker(-7).record("B").bytes(), "P(X(A)),Q"},
        // Another program's stream may go on after the first branch: what follows is
        // read with the anchor as the current parent, as it always was.
        MalformedCase{"RecordsAfterTheBranchGoUnderTheAnchor",
                      Stream().record("A").marker(-10).record("B").marker(-9).record("C")
                          .marker(-10).record("D").marker(-9).marker(-7).bytes(),
                      "P(X(A(B),C(D))),Q"},
        MalformedCase{"RecordWithoutAParentGoesUnderTheAnchor",
                      Stream().record("A").record("B").marker(-7).bytes(), "P(X(A,B)),Q"},
        // End markers never lead above the anchor's level.
        MalformedCase{"ExtraEndMarkers",
                      Stream().record("A").marker(-9).marker(-9).record("B").bytes(),
                      "P(X(A)),Q"},
        MalformedCase{"EndMarkersBackToTheAnchor",
                      Stream().record("A").marker(-10).record("B").marker(-9).marker(-9)
                          .record("C").bytes(),
                      "P(X(A(B))),Q"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(BranchStreamTest, EndMarkerAtTheTopStopsAtRootLevel)
{
    build(tree, u"X"_s);
    const QByteArray stream
        = Stream().record("A").marker(-10).record("B").marker(-9).marker(-9).record("C").bytes();
    tree.InsertBranch(tree.RootNote(0), imAfter, stream);
    EXPECT_EQ(dump(tree), u"X,A(B)"_s);
}

} // namespace
