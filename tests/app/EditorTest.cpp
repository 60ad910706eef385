#include "QtPrinters.h"
#include "app/qkRichedit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace {

class Editor : public testing::Test
{
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        editor.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        editor.resize(400, 200);
        editor.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    }

    // The middle of the character at a document position, in viewport coordinates.
    QPoint pointOf(int position)
    {
        QTextCursor cursor(editor.document());
        cursor.setPosition(position);
        const QRect before = editor.cursorRect(cursor);
        cursor.setPosition(position + 1);
        const QRect after = editor.cursorRect(cursor);
        return QPoint((before.left() + after.left()) / 2, before.center().y());
    }

    void setLength(int length)
    {
        editor.setPlainText(QString(length, u'a'));
        editor.moveCursor(QTextCursor::End);
    }

    // A text of lines of 100 characters (the line break included), as long notes are;
    // the caret at its end.
    void setLines(int length)
    {
        QString text;
        for (int i = 0; i < length; ++i)
            text += (i % 100 == 99) ? u'\n' : u'a';
        editor.setPlainText(text);
        editor.moveCursor(QTextCursor::End);
    }

    TqkRichedit editor;
};

TEST_F(Editor, TabStopsLieAtMultiplesOfTabSizeXWidths)
{
    editor.SetTabSize(4);
    editor.setPlainText(u"\tA\t\tB"_s);
    editor.SetWordWrap(false); // must not lose the stops

    // Checked for the first font and again after a font change, which must re-apply them.
    for (int pointSize : { 0, 20 }) {
        if (pointSize > 0) {
            QFont font = editor.font();
            font.setPointSize(pointSize);
            editor.setFont(font);
        }
        const QFontMetrics metrics(editor.font(), &editor);
        const int dpi = editor.logicalDpiX();
        const int xTwips = qRound(metrics.horizontalAdvance(u"XXXXXXXXXX"_s) * 1440.0 / dpi) / 10;
        const QList<QTextOption::Tab> tabs = editor.document()->defaultTextOption().tabs();
        ASSERT_EQ(tabs.size(), 32);
        for (int i = 0; i < 32; ++i)
            EXPECT_NEAR(tabs[i].position, (i + 1) * 4 * xTwips * dpi / 1440.0, 0.01) << i;

        // The text really is laid out on them: A on the first stop, B on the third.
        const QTextLine line = editor.document()->firstBlock().layout()->lineAt(0);
        EXPECT_NEAR(line.cursorToX(1), tabs[0].position, 1.0);
        EXPECT_NEAR(line.cursorToX(4), tabs[2].position, 1.0);
    }
}

TEST_F(Editor, MarginsLeaveExactGapsAndFollowTheirProperties)
{
    editor.setPlainText(QString(400, u'X'));
    for (const auto &[left, right] : { std::pair { 10, 10 }, std::pair { 25, 5 } }) {
        editor.SetLeftMargin(left);
        editor.SetRightMargin(right);
        QTest::qWait(0);
        const QRect client = editor.contentsRect();
        const QPoint textStart = editor.viewport()->mapTo(
            &editor, editor.cursorRect(QTextCursor(editor.document())).topLeft());
        EXPECT_EQ(textStart.x() - client.left(), left);
        const QTextLine line = editor.document()->firstBlock().layout()->lineAt(0);
        EXPECT_EQ(qRound(line.width()), client.width() - left - right);
    }
}

TEST_F(Editor, TypingAndPastingPastSixtyFiveThousandCharactersAreKept)
{
    // A note beyond 65,535 characters took no typing at all, and one that reached it
    // took no more: what the user typed or pasted was dropped.
    QSignalSpy refused(&editor, &TqkRichedit::OnInputRefused);
    setLines(70000);
    QTest::keyClick(&editor, Qt::Key_B);
    QTest::keyClick(&editor, Qt::Key_Return);
    EXPECT_EQ(editor.EditorText().size(), 70002);
    EXPECT_TRUE(editor.EditorText().endsWith(u"\nb\n"_s));

    setLines(65535);
    QTest::keyClick(&editor, Qt::Key_Return);
    QGuiApplication::clipboard()->setText(u"pasted\nlines"_s);
    editor.PasteText();
    editor.paste();
    EXPECT_EQ(editor.EditorText().size(), 65535 + 1 + 2 * 12);
    EXPECT_TRUE(editor.InsertText(u"more"_s));
    EXPECT_EQ(refused.size(), 0);
}

TEST_F(Editor, InputBeyondTheLimitIsRefusedWholeAndSaidButProgramTextIsNotCut)
{
    QSignalSpy refused(&editor, &TqkRichedit::OnInputRefused);
    editor.SetMaxLength(100);
    editor.setPlainText(QString(120, u'a'));
    EXPECT_EQ(editor.EditorText().size(), 120);

    setLength(99);
    QGuiApplication::clipboard()->setText(u"xy"_s);
    editor.PasteText();
    editor.paste();
    EXPECT_EQ(editor.EditorText().size(), 99);
    EXPECT_EQ(refused.size(), 2);
    QTest::keyClick(&editor, Qt::Key_B);
    QTest::keyClick(&editor, Qt::Key_Return);
    EXPECT_EQ(editor.EditorText().size(), 100);
    EXPECT_EQ(refused.size(), 3);
    QTest::keyClick(&editor, Qt::Key_Backspace);
    QTest::keyClick(&editor, Qt::Key_C);
    EXPECT_EQ(editor.EditorText().size(), 100);
    EXPECT_TRUE(editor.EditorText().endsWith(u'c'));
    // Replacing a selection does not grow the text.
    editor.moveCursor(QTextCursor::Left, QTextCursor::KeepAnchor);
    QTest::keyClick(&editor, Qt::Key_Z);
    EXPECT_TRUE(editor.EditorText().endsWith(u'z'));
    EXPECT_FALSE(editor.InsertText(u"!"_s));
    EXPECT_EQ(refused.size(), 4);
}

TEST_F(Editor, NoLineGrowsBeyondTheLineLimit)
{
    QSignalSpy refused(&editor, &TqkRichedit::OnInputRefused);
    editor.SetMaxLineLength(10);
    editor.setPlainText(u"123456789\nabc"_s);
    QTextCursor cursor(editor.document());
    cursor.setPosition(9);
    editor.setTextCursor(cursor);
    QTest::keyClick(&editor, Qt::Key_X);
    QTest::keyClick(&editor, Qt::Key_Y);
    EXPECT_EQ(editor.EditorText(), u"123456789x\nabc"_s);
    EXPECT_EQ(refused.size(), 1);

    // A paste counts with what stands before and after it on its first and last lines.
    cursor.setPosition(12); // after "a"
    editor.setTextCursor(cursor);
    EXPECT_FALSE(editor.InsertText(u"0123456\n0123456789"_s));
    EXPECT_FALSE(editor.InsertText(u"1234567890\n"_s));
    EXPECT_EQ(refused.size(), 3);
    EXPECT_TRUE(editor.InsertText(u"123456789\n1234567"_s));
    EXPECT_EQ(editor.EditorText(), u"123456789x\na123456789\n1234567bc"_s);

    // Breaking a line and replacing part of one never make it longer.
    QTest::keyClick(&editor, Qt::Key_Return);
    editor.moveCursor(QTextCursor::Start);
    editor.moveCursor(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    QTest::keyClick(&editor, Qt::Key_Q);
    EXPECT_EQ(editor.EditorText(), u"q\na123456789\n1234567\nbc"_s);
    EXPECT_EQ(refused.size(), 3);
}

TEST_F(Editor, LinesAreNotAddedBeyondTheLineCountLimit)
{
    QSignalSpy refused(&editor, &TqkRichedit::OnInputRefused);
    editor.SetMaxLineCount(3);
    editor.setPlainText(u"one\ntwo"_s);
    editor.moveCursor(QTextCursor::End);
    QTest::keyClick(&editor, Qt::Key_Return);
    QTest::keyClick(&editor, Qt::Key_Return);
    EXPECT_FALSE(editor.InsertText(u"x\ny"_s));
    EXPECT_EQ(refused.size(), 2);
    EXPECT_EQ(editor.document()->blockCount(), 3);

    // A paste that replaces as many line breaks as it brings is taken.
    editor.moveCursor(QTextCursor::Start);
    editor.moveCursor(QTextCursor::Down, QTextCursor::KeepAnchor);
    EXPECT_TRUE(editor.InsertText(u"a\nb"_s));
    EXPECT_EQ(editor.EditorText(), u"a\nbtwo\n"_s);

    // A text the program set beyond the limit may lose lines, not gain them.
    editor.setPlainText(u"1\n2\n3\n4"_s);
    editor.moveCursor(QTextCursor::End);
    QTest::keyClick(&editor, Qt::Key_Return);
    EXPECT_EQ(refused.size(), 3);
    QTest::keyClick(&editor, Qt::Key_Backspace);
    QTest::keyClick(&editor, Qt::Key_Backspace);
    QTest::keyClick(&editor, Qt::Key_X);
    EXPECT_EQ(editor.EditorText(), u"1\n2\n3x"_s);
    EXPECT_EQ(refused.size(), 3);
}

TEST_F(Editor, ClipboardCarriesPlainTextOnly)
{
    auto *data = new QMimeData;
    data->setHtml(u"<b>bold</b> <span style=\"color:#ff0000\">red</span>"_s);
    data->setText(u"bold\r\nred"_s);
    QGuiApplication::clipboard()->setMimeData(data);
    editor.paste();
    EXPECT_EQ(editor.EditorText(), u"bold\nred"_s);
    for (QTextBlock block = editor.document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            EXPECT_NE(it.fragment().charFormat().fontWeight(), QFont::Bold);
            EXPECT_FALSE(it.fragment().charFormat().hasProperty(QTextFormat::ForegroundBrush));
        }
    }

    auto *htmlOnly = new QMimeData;
    htmlOnly->setHtml(u"<i>x</i>"_s);
    QGuiApplication::clipboard()->setMimeData(htmlOnly);
    editor.paste();
    EXPECT_EQ(editor.EditorText(), u"bold\nred"_s);

    editor.selectAll();
    editor.copy();
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->formats(), QStringList { u"text/plain"_s });
    QGuiApplication::clipboard()->clear();
    editor.CopyText();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"bold\nred"_s);
}

TEST_F(Editor, InsertTextAndSortLinesAreOneUndoStep)
{
    editor.setPlainText(u"Hello world"_s);
    QTextCursor cursor = editor.textCursor();
    cursor.setPosition(6);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
    editor.InsertText(u"there\r\nfriend"_s);
    EXPECT_EQ(editor.EditorText(), u"Hello there\nfriend"_s);
    editor.undo();
    EXPECT_EQ(editor.EditorText(), u"Hello world"_s);

    editor.setPlainText(u"b\nA\na"_s);
    editor.SortLines();
    EXPECT_EQ(editor.EditorText(), u"A\na\nb\n"_s);
    EXPECT_EQ(editor.textCursor().position(), 6);
    EXPECT_TRUE(editor.document()->isModified());
    editor.undo();
    EXPECT_EQ(editor.EditorText(), u"b\nA\na"_s);
}

TEST_F(Editor, LinkAtAPointSelectsTitleAndNoteLinks)
{
    editor.setPlainText(u"Go to [Shopping list] today\nsee note://Top\\Sub; x"_s);
    TLinkInfo info = editor.LinkAt(pointOf(9));
    EXPECT_EQ(info.Kind, lkTitleLink);
    EXPECT_EQ(info.Text, u"Shopping list"_s);
    EXPECT_EQ(editor.textCursor().selectedText(), u"[Shopping list]"_s);

    const int secondLine = editor.document()->findBlockByNumber(1).position();
    info = editor.LinkAt(pointOf(secondLine + 16));
    EXPECT_EQ(info.Kind, lkNoteLink);
    EXPECT_EQ(editor.textCursor().selectedText(), u"note://Top\\Sub;"_s);

    // Beyond the end of the line there is nothing.
    const QPoint end = pointOf(secondLine + 20);
    EXPECT_EQ(editor.LinkAt(QPoint(editor.viewport()->width() - 2, end.y())).Kind, lkNone);
}

TEST_F(Editor, PressOnADetectedLinkRaisesTheEventAndPlacesTheCaret)
{
    editor.setPlainText(u"Read http://example.com/a now or www.x.org"_s);
    const QTextLayout *layout = editor.document()->firstBlock().layout();
    ASSERT_FALSE(layout->formats().isEmpty());
    EXPECT_EQ(layout->formats().first().start, 5);
    EXPECT_EQ(layout->formats().first().length, 20);
    EXPECT_TRUE(layout->formats().first().format.fontUnderline());

    QSignalSpy clicks(&editor, &TqkRichedit::OnHyperlinkClicked);
    QTest::mouseClick(editor.viewport(), Qt::LeftButton, {}, pointOf(10));
    ASSERT_EQ(clicks.size(), 1);
    EXPECT_EQ(clicks[0][0].toInt(), 5);
    EXPECT_EQ(clicks[0][1].toInt(), 25);
    EXPECT_EQ(clicks[0][2].toString(), u"http://example.com/a"_s);
    EXPECT_NEAR(editor.textCursor().position(), 10, 1);

    QTest::mouseClick(editor.viewport(), Qt::LeftButton, {}, pointOf(36));
    EXPECT_EQ(clicks.last()[2].toString(), u"http://www.x.org"_s);
    QTest::mouseClick(editor.viewport(), Qt::LeftButton, {}, pointOf(28));
    EXPECT_EQ(clicks.size(), 2);

    QTest::mouseMove(editor.viewport(), pointOf(10));
    EXPECT_EQ(editor.viewport()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(editor.viewport(), pointOf(28));
    EXPECT_EQ(editor.viewport()->cursor().shape(), Qt::IBeamCursor);
}

TEST_F(Editor, LoadingLeavesUnmodifiedTypingModifies)
{
    editor.SetBodyText(u"a\u00a0b\r\n\r\nc\r\n"_s);
    QTest::qWait(0);
    EXPECT_FALSE(editor.document()->isModified());
    EXPECT_EQ(editor.BodyText(), u"a\u00a0b\r\n\r\nc\r\n"_s); // no blank for the nbsp
    editor.moveCursor(QTextCursor::End);
    QTest::keyClick(&editor, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_TRUE(editor.document()->isModified());
    // Shift+Enter makes a paragraph of its own, not a line separator inside one.
    EXPECT_EQ(editor.blockCount(), 5);
    EXPECT_EQ(editor.BodyText(), u"a\u00a0b\r\n\r\nc\r\n\r\n"_s);
}

} // namespace
