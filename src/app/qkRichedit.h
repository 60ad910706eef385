#pragma once

#include "app/qkRicheditText.h"

#include <QPlainTextEdit>

class TLinkHighlighter;

// The note editor: plain text only, margins and tab stops of its own, a limit on what
// the user may type or paste, and links it detects and underlines by itself.
class TqkRichedit final : public QPlainTextEdit
{
    Q_OBJECT
    Q_PROPERTY(int LeftMargin READ LeftMargin WRITE SetLeftMargin)
    Q_PROPERTY(int RightMargin READ RightMargin WRITE SetRightMargin)
    Q_PROPERTY(int TabSize READ TabSize WRITE SetTabSize)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE SetMaxLength)
    Q_PROPERTY(int MaxLineLength READ MaxLineLength WRITE SetMaxLineLength)
    Q_PROPERTY(int MaxLineCount READ MaxLineCount WRITE SetMaxLineCount)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)

public:
    explicit TqkRichedit(QWidget *parent = nullptr);
    ~TqkRichedit() override;

    int LeftMargin() const { return m_leftMargin; }
    void SetLeftMargin(int value);
    int RightMargin() const { return m_rightMargin; }
    void SetRightMargin(int value);
    // In widths of the character X.
    int TabSize() const { return m_tabSize; }
    void SetTabSize(int value);
    // What typing, pasting and InsertText may grow the text, any one line and the
    // number of lines to: as much as the editor shows without freezing
    // (MaxEditorTextLength, MaxEditorLineLength, MaxEditorLineCount). setPlainText is
    // not cut.
    int MaxLength() const { return m_maxLength; }
    void SetMaxLength(int value);
    int MaxLineLength() const { return m_maxLineLength; }
    void SetMaxLineLength(int value);
    int MaxLineCount() const { return m_maxLineCount; }
    void SetMaxLineCount(int value);
    bool WordWrap() const;
    void SetWordWrap(bool value);

    // Text rectangle inside the margins and the 32 tab stops.
    void ApplyLayout();
    // Width of Text in the control's font, in twips (1/1440 inch), rounded.
    int TextWidthTwips(const QString &Text) const;

    // Replaces the selection, or inserts at the caret, as one undo step. False (nothing
    // changes, and OnInputRefused is raised) when the text or a line would grow beyond
    // its limit.
    bool InsertText(const QString &Text);
    // Plain text through the clipboard; an empty selection copies and cuts nothing.
    void CopyText();
    void CutText();
    void PasteText();
    // Sorts all lines (paragraphs) ignoring case in the user's locale; one undo step,
    // the caret after the last line.
    void SortLines();

    // The link at Point, in the coordinates of viewport() (those of the control's mouse
    // events). File, note and title links are selected.
    TLinkInfo LinkAt(const QPoint &Point);

    // The text with one "\n" per line break and every character as typed (unlike
    // toPlainText(), which turns non-breaking spaces into blanks).
    QString EditorText() const;
    // The text in the body's text form (CR LF line breaks), and setting it from that
    // form; SetBodyText leaves the modified flag false and clears the undo history.
    QString BodyText() const;
    void SetBodyText(const QString &Body);

Q_SIGNALS:
    // A left-button press on a web, ftp, mail or file link the control detected;
    // CpMin and CpMax are editor positions (0-based, CpMax just past the link) and
    // Text the address to open. Note links are shown as links but followed by the
    // main window's double-click, so they raise nothing here.
    void OnHyperlinkClicked(int CpMin, int CpMax, const QString &Text);
    // Every mouse press and double-click in the text area, before the control acts on
    // it; Point in viewport coordinates, as LinkAt takes it.
    void OnMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Modifiers, const QPoint &Point,
        bool DoubleClick);
    // Typed, pasted or dropped text was not inserted because the text or one of its
    // lines would have grown beyond its limit; the text is unchanged.
    void OnInputRefused();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    int textLength() const;
    // Whether replacing the selection by Inserted (editor text form) keeps the text
    // and the lines it touches within their limits.
    bool fitsLimit(QStringView inserted) const;
    // Document position of the character under Point, or -1 beyond its line's end.
    int characterAt(const QPoint &point) const;
    // The detected link span under Point with its block's position, or none.
    bool detectedLinkAt(const QPoint &point, TLinkSpan &span, int &blockPosition) const;
    QString selectedEditorText() const;

    int m_leftMargin = 10;
    int m_rightMargin = 10;
    int m_tabSize = 8;
    // FitsEditor counts one more than the editor does (a final line break), so a text
    // typed up to the limit is still shown the next time its note is selected.
    int m_maxLength = int(MaxEditorTextLength - 1);
    int m_maxLineLength = int(MaxEditorLineLength);
    int m_maxLineCount = int(MaxEditorLineCount);
    TLinkHighlighter *m_highlighter = nullptr;
};
