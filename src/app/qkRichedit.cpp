#include "app/qkRichedit.h"

#include "settings/UtilsGui.h"

#include <QApplication>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

// Underlines, in blue, what the scanner finds in each paragraph. These are layout
// formats only, so the text itself never carries them.
class TLinkHighlighter final : public QSyntaxHighlighter
{
public:
    // Owned by the editor, not the document, so that a replaced document cannot take
    // it along.
    explicit TLinkHighlighter(QObject *owner) : QSyntaxHighlighter(owner)
    {
        m_format.setForeground(QColor(0, 0, 255));
        m_format.setFontUnderline(true);
    }

protected:
    void highlightBlock(const QString &text) override
    {
        for (const TLinkSpan &span : FindLinkSpans(text))
            setFormat(int(span.Start), int(span.Length), m_format);
    }

private:
    QTextCharFormat m_format;
};

namespace {

constexpr int kTabStopCount = 32;
constexpr double kTwipsPerInch = 1440.0;

// Text from outside (clipboard, drops, the program) as the editor holds it: one "\n"
// per line break, and nothing from a NUL on, as the text clipboard always ended there.
QString insertableText(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return BodyTextToEditorText(nul >= 0 ? QStringView(text).first(nul) : QStringView(text));
}

} // namespace

TqkRichedit::TqkRichedit(QWidget *parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The margins are the viewport's; a document margin would add to them on all sides.
    document()->setDocumentMargin(0);
    // The margin strips belong to the frame, not the viewport: paint them as the text.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    viewport()->setMouseTracking(true);
    m_highlighter = new TLinkHighlighter(this);
    ApplyLayout();
}

TqkRichedit::~TqkRichedit() = default;

void TqkRichedit::SetLeftMargin(int value)
{
    if (value == m_leftMargin)
        return;
    m_leftMargin = value;
    ApplyLayout();
}

void TqkRichedit::SetRightMargin(int value)
{
    if (value == m_rightMargin)
        return;
    m_rightMargin = value;
    ApplyLayout();
}

void TqkRichedit::SetTabSize(int value)
{
    if (value == m_tabSize)
        return;
    m_tabSize = value;
    ApplyLayout();
}

void TqkRichedit::SetMaxLength(int value)
{
    m_maxLength = value;
}

void TqkRichedit::SetMaxLineLength(int value)
{
    m_maxLineLength = value;
}

void TqkRichedit::SetMaxLineCount(int value)
{
    m_maxLineCount = value;
}

bool TqkRichedit::WordWrap() const
{
    return lineWrapMode() != QPlainTextEdit::NoWrap;
}

void TqkRichedit::SetWordWrap(bool value)
{
    setLineWrapMode(value ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TqkRichedit::ApplyLayout()
{
    // A small gap above the first line, as the platform control leaves.
    setViewportMargins(std::max(0, m_leftMargin), 2, std::max(0, m_rightMargin), 0);

    // In 64 bits: a huge tab size must not wrap round to stops before the margin.
    const qint64 stepTwips = qint64(m_tabSize) * (TextWidthTwips(u"XXXXXXXXXX"_s) / 10);
    const double pixelsPerTwip = logicalDpiX() / kTwipsPerInch;
    QTextOption option = document()->defaultTextOption();
    QList<QTextOption::Tab> tabs;
    // A tab size of 0 or less would put every stop at the left edge or before it;
    // the control's default stops serve better than that.
    if (stepTwips > 0) {
        for (int i = 1; i <= kTabStopCount; ++i)
            tabs.append(QTextOption::Tab(i * stepTwips * pixelsPerTwip, QTextOption::LeftTab));
        // Past the last stop the tabs go on at the same distance.
        option.setTabStopDistance(stepTwips * pixelsPerTwip);
    }
    option.setTabs(tabs);
    // Setting the option lays the text out again; the selection is not touched.
    document()->setDefaultTextOption(option);

    if (m_highlighter->document() != document())
        m_highlighter->setDocument(document());
}

int TqkRichedit::TextWidthTwips(const QString &Text) const
{
    const QFontMetrics metrics(font(), this);
    return qRound(metrics.horizontalAdvance(Text) * kTwipsPerInch / logicalDpiX());
}

int TqkRichedit::textLength() const
{
    return document()->characterCount() - 1;
}

bool TqkRichedit::fitsLimit(QStringView inserted) const
{
    const QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    const qsizetype current = textLength();
    const qsizetype after = current - (end - start) + inserted.size();
    // A text the program set beyond a limit may still be edited as long as it does not
    // grow.
    if (after > m_maxLength && after > current)
        return false;

    // The inserted text's first line joins what stands before the selection on its
    // line, its last line what follows the selection on its line.
    const QTextBlock first = document()->findBlock(start);
    const QTextBlock last = document()->findBlock(end);
    const qsizetype linesNow = document()->blockCount();
    const qsizetype linesAfter
        = linesNow - (last.blockNumber() - first.blockNumber()) + inserted.count(u'\n');
    if (linesAfter > m_maxLineCount && linesAfter > linesNow)
        return false;
    const qsizetype head = start - first.position();
    const qsizetype tail = last.position() + last.length() - 1 - end;
    qsizetype longestBefore = 0;
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        longestBefore = std::max<qsizetype>(longestBefore, b.length() - 1);
        if (b == last)
            break;
    }
    qsizetype longestAfter = 0;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= inserted.size(); ++i) {
        if (i < inserted.size() && inserted.at(i) != u'\n')
            continue;
        qsizetype line = i - lineStart;
        if (lineStart == 0)
            line += head;
        if (i == inserted.size())
            line += tail;
        longestAfter = std::max(longestAfter, line);
        lineStart = i + 1;
    }
    return longestAfter <= m_maxLineLength || longestAfter <= longestBefore;
}

bool TqkRichedit::InsertText(const QString &Text)
{
    const QString text = insertableText(Text);
    if (!fitsLimit(text)) {
        Q_EMIT OnInputRefused();
        return false;
    }
    std::optional<TBusyCursor> wait;
    if (SlowForEditor(text.size(), text.count(u'\n')))
        wait.emplace();
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.insertText(text);
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
    return true;
}

QString TqkRichedit::selectedEditorText() const
{
    return BodyTextToEditorText(textCursor().selectedText());
}

void TqkRichedit::CopyText()
{
    if (textCursor().hasSelection())
        SetClipboardText(selectedEditorText());
}

void TqkRichedit::CutText()
{
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return;
    SetClipboardText(selectedEditorText());
    cursor.removeSelectedText();
    setTextCursor(cursor);
}

void TqkRichedit::PasteText()
{
    const QString text = GetClipboardText();
    if (!text.isEmpty())
        InsertText(text);
}

void TqkRichedit::SortLines()
{
    const QString sorted = SortLinesText(EditorText());
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    // The sorted text is as long as the old one plus at most a final line break, so
    // the length limit, meant for the user's typing, does not apply.
    cursor.insertText(sorted);
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

QString TqkRichedit::EditorText() const
{
    return BodyTextToEditorText(document()->toRawText());
}

QString TqkRichedit::BodyText() const
{
    return EditorTextToBodyText(EditorText());
}

void TqkRichedit::SetBodyText(const QString &Body)
{
    setPlainText(BodyTextToEditorText(Body));
}

int TqkRichedit::characterAt(const QPoint &point) const
{
    const QTextBlock block = cursorForPosition(point).block();
    const QTextLayout *layout = block.isValid() ? block.layout() : nullptr;
    if (!layout || layout->lineCount() == 0)
        return -1;
    const QPointF local
        = QPointF(point) - blockBoundingGeometry(block).translated(contentOffset()).topLeft();
    QTextLine line;
    for (int i = 0; i < layout->lineCount(); ++i) {
        line = layout->lineAt(i);
        if (local.y() < line.y() + line.height())
            break;
    }
    if (line.textLength() == 0)
        return -1;
    const int first = line.textStart();
    const int last = first + line.textLength() - 1;
    if (local.x() >= line.x() + line.naturalTextWidth()) {
        // Beyond the end of the paragraph the point lies on its line break; beyond a
        // wrapped line it lies on that line's last character.
        if (line.lineNumber() == layout->lineCount() - 1)
            return -1;
        return block.position() + last;
    }
    const int inBlock = line.xToCursor(local.x(), QTextLine::CursorOnCharacter);
    return block.position() + std::clamp(inBlock, first, last);
}

TLinkInfo TqkRichedit::LinkAt(const QPoint &Point)
{
    const int position = characterAt(Point);
    if (position < 0)
        return {};
    const QTextBlock block = document()->findBlock(position);
    const TLinkInfo info = LinkAtLine(block.text(), position - block.position() + 1);
    if (info.SelLength > 0) {
        QTextCursor cursor(document());
        const int start = block.position() + int(info.SelStart) - 1;
        cursor.setPosition(start);
        cursor.setPosition(start + int(info.SelLength), QTextCursor::KeepAnchor);
        setTextCursor(cursor);
    }
    return info;
}

bool TqkRichedit::detectedLinkAt(const QPoint &point, TLinkSpan &span, int &blockPosition) const
{
    const int position = characterAt(point);
    if (position < 0)
        return false;
    const QTextBlock block = document()->findBlock(position);
    const int inBlock = position - block.position();
    for (const TLinkSpan &candidate : FindLinkSpans(block.text())) {
        if (inBlock >= candidate.Start && inBlock < candidate.Start + candidate.Length) {
            span = candidate;
            blockPosition = block.position();
            return true;
        }
    }
    return false;
}

void TqkRichedit::showEvent(QShowEvent *event)
{
    QPlainTextEdit::showEvent(event);
    ApplyLayout();
}

void TqkRichedit::changeEvent(QEvent *event)
{
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        ApplyLayout();
}

void TqkRichedit::keyPressEvent(QKeyEvent *event)
{
    if (isReadOnly()) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    QString inserted;
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QString text = event->text();
    if (isReturn)
        inserted = u"\n"_s;
    else if (!text.isEmpty() && (text.at(0).isPrint() || text.at(0) == u'\t'))
        inserted = text;
    if (!inserted.isEmpty() && !fitsLimit(inserted)) {
        event->accept();
        Q_EMIT OnInputRefused();
        return;
    }
    if (isReturn && (event->modifiers() & Qt::ShiftModifier)) {
        // Shift+Enter would insert a line separator inside the paragraph, a line break
        // that a plain-text body cannot keep apart from a real one.
        QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier, text,
            event->isAutoRepeat(), ushort(event->count()));
        QPlainTextEdit::keyPressEvent(&plain);
        event->setAccepted(plain.isAccepted());
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TqkRichedit::inputMethodEvent(QInputMethodEvent *event)
{
    if (!isReadOnly() && !event->commitString().isEmpty()
        && !fitsLimit(event->commitString())) {
        event->accept();
        Q_EMIT OnInputRefused();
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void TqkRichedit::mousePressEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    TLinkSpan span;
    int blockPosition = 0;
    const bool onLink
        = event->button() == Qt::LeftButton && detectedLinkAt(point, span, blockPosition);
    const Qt::MouseButton button = event->button();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    // The press still places the caret, as it does on a link of the platform's control.
    QPlainTextEdit::mousePressEvent(event);
    if (onLink && span.Kind != lkNoteLink) {
        const int cpMin = blockPosition + int(span.Start);
        Q_EMIT OnHyperlinkClicked(cpMin, cpMin + int(span.Length), span.Target);
    }
    Q_EMIT OnMouseDown(button, modifiers, point, false);
}

void TqkRichedit::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    const Qt::MouseButton button = event->button();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    // After the control's own word selection, so that a link's selection wins.
    QPlainTextEdit::mouseDoubleClickEvent(event);
    Q_EMIT OnMouseDown(button, modifiers, point, true);
}

void TqkRichedit::mouseMoveEvent(QMouseEvent *event)
{
    QPlainTextEdit::mouseMoveEvent(event);
    if (event->buttons() != Qt::NoButton)
        return;
    TLinkSpan span;
    int blockPosition = 0;
    const Qt::CursorShape shape = detectedLinkAt(event->position().toPoint(), span, blockPosition)
        ? Qt::PointingHandCursor
        : Qt::IBeamCursor;
    if (viewport()->cursor().shape() != shape)
        viewport()->setCursor(shape);
}

bool TqkRichedit::canInsertFromMimeData(const QMimeData *source) const
{
    return source && source->hasText();
}

void TqkRichedit::insertFromMimeData(const QMimeData *source)
{
    // Only the plain text: formatting never reaches a note.
    if (!source || !source->hasText() || insertableText(source->text()).isEmpty())
        return;
    InsertText(source->text());
}

QMimeData *TqkRichedit::createMimeDataFromSelection() const
{
    auto *data = new QMimeData;
    data->setText(selectedEditorText());
    return data;
}
