#include "notes/NoteTreeView.h"

#include "notes/NoteTree.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QGuiApplication>
#include <QHash>
#include <QStyledItemDelegate>
#include <QScreen>
#include <QTimer>

#include <functional>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// Calls back on any input that means the user has moved on.
class TInputWatch final : public QObject
{
public:
    TInputWatch(QObject *parent, std::function<void()> onInput)
        : QObject(parent), m_onInput(std::move(onInput))
    {
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::FocusOut:
        case QEvent::WindowDeactivate:
            m_onInput();
            break;
        default:
            break;
        }
        return false;
    }

private:
    std::function<void()> m_onInput;
};

class TitleDelegate final : public QStyledItemDelegate
{
public:
    explicit TitleDelegate(TNoteTreeView *view) : QStyledItemDelegate(view), m_view(view) { }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        // A line edit keeps 32,767 characters unless told otherwise: a longer title
        // would come back cut when the edit is confirmed.
        if (auto *edit = qobject_cast<QLineEdit *>(editor))
            edit->setMaxLength(std::numeric_limits<int>::max());
        return editor;
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        auto *edit = qobject_cast<QLineEdit *>(editor);
        TNote *note = m_view->noteTree() ? m_view->noteTree()->NoteOf(index) : nullptr;
        if (!edit || !note)
            return;
        const QString title = edit->text();
        if (!title.isEmpty() && title != note->Title()) {
            const QString before = note->Title();
            model->setData(index, title, Qt::EditRole);
            emit m_view->titleEdited(note, before);
        }
        m_view->ScrollToLeft();
    }

    // The view measures up to a thousand rows after every change in the tree, to size
    // the column for the longest title; shaping each title's text again made a move
    // among 50,000 siblings miss a frame. Sizes are kept per title while the view's
    // font, style, layout direction and note image stay the same.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
        const qint64 icon = m_view->noteIcon().cacheKey();
        if (style != m_sizeStyle || option.font != m_sizeFont || option.features != m_sizeFeatures
            || option.decorationSize != m_sizeDecoration || option.direction != m_sizeDirection
            || icon != m_sizeIcon) {
            m_sizes.clear();
            m_sizeStyle = style;
            m_sizeFont = option.font;
            m_sizeFeatures = option.features;
            m_sizeDecoration = option.decorationSize;
            m_sizeDirection = option.direction;
            m_sizeIcon = icon;
        }
        const TNote *note = m_view->noteTree() ? m_view->noteTree()->NoteOf(index) : nullptr;
        if (!note)
            return QStyledItemDelegate::sizeHint(option, index);
        const QString shown = shownTitle(note->Title());
        if (const auto found = m_sizes.constFind(shown); found != m_sizes.cend())
            return *found;
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (m_sizes.size() >= MaxRememberedSizes)
            m_sizes.clear();
        m_sizes.insert(shown, size);
        return size;
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = shownTitle(option->text);
        if (!m_view->noteIcon().isNull()) {
            option->features |= QStyleOptionViewItem::HasDecoration;
            option->icon = m_view->noteIcon();
            option->decorationSize = QSize(16, 16);
        }
    }

private:
    // Enough for the rows measured at a time; a bound, as titles come and go.
    static constexpr qsizetype MaxRememberedSizes = 20000;
    // Far wider than any screen. Laying out a title of megabytes for every paint and
    // measurement took the window most of a minute and gigabytes; the title itself is
    // kept whole.
    static constexpr qsizetype MaxShownTitle = 4096;

    static QString shownTitle(const QString &title)
    {
        if (title.size() <= MaxShownTitle)
            return title;
        // Never half a surrogate pair.
        const bool split = title.at(MaxShownTitle - 1).isHighSurrogate();
        return title.first(MaxShownTitle - (split ? 1 : 0));
    }

    TNoteTreeView *m_view;
    mutable QHash<QString, QSize> m_sizes;
    mutable const QStyle *m_sizeStyle = nullptr;
    mutable QFont m_sizeFont;
    mutable QStyleOptionViewItem::ViewItemFeatures m_sizeFeatures;
    mutable QSize m_sizeDecoration;
    mutable Qt::LayoutDirection m_sizeDirection = Qt::LeftToRight;
    mutable qint64 m_sizeIcon = 0;
};

} // namespace

TNoteTreeView::TNoteTreeView(QWidget *parent) : QTreeView(parent)
{
    setObjectName(QStringLiteral("TopicTree"));
    setHeaderHidden(true);
    setIndentation(20);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setItemDelegate(new TitleDelegate(this));
    // Long titles scroll sideways instead of being cut off.
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);
    setAutoScroll(true);
    m_renameTimer = new QTimer(this);
    m_renameTimer->setSingleShot(true);
    connect(m_renameTimer, &QTimer::timeout, this, &TNoteTreeView::startPendingRename);
    m_renameWatch = new TInputWatch(this, [this] { cancelPendingRename(); });
    // Arrow keys and clicks open one level at a time; the limit holds for them too.
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        const TNote *note = m_tree && !m_expandingAll ? m_tree->NoteOf(index) : nullptr;
        if (note && note->Level() >= MaxExpandedLevel)
            collapse(index);
    });
}

void TNoteTreeView::setNoteTree(TNoteTree *tree)
{
    m_tree = tree;
    setModel(tree);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current, const QModelIndex &previous) {
                emit selectedNoteChanged(m_tree->NoteOf(current), m_tree->NoteOf(previous));
            });
}

TNote *TNoteTreeView::selectedNote() const
{
    return m_tree ? m_tree->NoteOf(currentIndex()) : nullptr;
}

void TNoteTreeView::selectNote(TNote *note)
{
    if (!m_tree)
        return;
    if (!note) {
        selectionModel()->clearCurrentIndex();
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = m_tree->IndexOf(note);
    int level = note->Level();
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) {
        if (--level < MaxExpandedLevel)
            expand(p);
    }
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

void TNoteTreeView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    const TNote *note = m_tree ? m_tree->NoteOf(index) : nullptr;
    if (note && note->Level() > MaxExpandedLevel)
        return;
    QTreeView::scrollTo(index, hint);
}

void TNoteTreeView::expandAllNotes()
{
    if (!m_tree)
        return;
    // expandAll() would lay the whole tree out recursively, and expandToDepth() keeps a
    // persistent index for every row it passes, leaves too: 200,000 of them to create,
    // to update on every later change and to free again on collapseAll(). Only notes
    // with children are expanded here; a pending layout makes each expand() a mere
    // mark, and the tree is laid out once at the end.
    scheduleDelayedItemsLayout();
    const QScopedValueRollback expandingAll(m_expandingAll, true);
    int level = 0;
    for (TNote *note = m_tree->FirstNote(); note; note = m_tree->NextInTreeOrder(note, &level)) {
        if (level < MaxExpandedLevel && note->HasChildren())
            expand(m_tree->IndexOf(note));
    }
    executeDelayedItemsLayout();
}

void TNoteTreeView::setNoteIcon(const QIcon &icon)
{
    // The same image selected or not: no darkened selected variant.
    // Every screen's pixel ratio, so a 2x screen gets the image drawn for it; Qt picks
    // an icon's image by exact ratio.
    m_noteIcon = QIcon();
    if (!icon.isNull()) {
        QList<qreal> ratios{1.0, 2.0};
        for (const QScreen *screen : QGuiApplication::screens()) {
            if (!ratios.contains(screen->devicePixelRatio()))
                ratios << screen->devicePixelRatio();
        }
        for (qreal ratio : ratios) {
            const QPixmap pixmap = icon.pixmap(QSize(16, 16), ratio);
            m_noteIcon.addPixmap(pixmap, QIcon::Normal);
            m_noteIcon.addPixmap(pixmap, QIcon::Selected);
        }
    }
    viewport()->update();
}

bool TNoteTreeView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // The view's own delayed edit would open the title editor whatever the user did in
    // the meantime, and the next key meant for the editor would replace the title.
    if (trigger == SelectedClicked) {
        if (!(editTriggers() & SelectedClicked) || !index.isValid())
            return false;
        cancelPendingRename();
        m_renameIndex = index;
        // Every click, key and focus change anywhere in the program cancels it.
        qApp->installEventFilter(m_renameWatch);
        m_renameTimer->start(QApplication::doubleClickInterval());
        return true;
    }
    return QTreeView::edit(index, trigger, event);
}

void TNoteTreeView::cancelPendingRename()
{
    qApp->removeEventFilter(m_renameWatch);
    m_renameTimer->stop();
    m_renameIndex = QPersistentModelIndex();
}

void TNoteTreeView::startPendingRename()
{
    const QModelIndex index = m_renameIndex;
    cancelPendingRename();
    if (index.isValid() && index == currentIndex() && hasFocus() && isActiveWindow())
        QTreeView::edit(index, AllEditTriggers, nullptr);
}

void TNoteTreeView::focusOutEvent(QFocusEvent *event)
{
    cancelPendingRename();
    QTreeView::focusOutEvent(event);
}

void TNoteTreeView::mousePressEvent(QMouseEvent *event)
{
    // A click beside the notes keeps the selection: the commands act on the note
    // that shows as selected.
    if (!indexAt(event->position().toPoint()).isValid()) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TNoteTreeView::ScrollToLeft()
{
    horizontalScrollBar()->setValue(horizontalScrollBar()->minimum());
}

namespace {

// The copied branch: its stream under the private type, and for other programs the
// copied notes as plain text, made from the stream only when one asks for it, so that
// copying a big branch does not flatten it before anyone pastes.
class TBranchMimeData final : public QMimeData
{
public:
    explicit TBranchMimeData(const QByteArray &stream)
    {
        setData(TNoteTree::NotesMimeType(), stream);
    }

    QStringList formats() const override
    {
        return QMimeData::formats() << plainType();
    }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override
    {
        if (mimeType != plainType())
            return QMimeData::retrieveData(mimeType, type);
        if (!m_textMade) {
            m_text = TNoteTree::BranchStreamPlainText(data(TNoteTree::NotesMimeType()));
            if (const qsizetype nul = m_text.indexOf(QChar(u'\0')); nul >= 0)
                m_text.truncate(nul);
            m_textMade = true;
        }
        return m_text;
    }

private:
    static QString plainType() { return u"text/plain"_s; }

    mutable QString m_text;
    mutable bool m_textMade = false;
};

} // namespace

void TNoteTreeView::CopyToClipboard(TNote *note)
{
    if (!m_tree || !note)
        return;
    // Whatever was on the clipboard before (once a password) must not stay beside it.
    QGuiApplication::clipboard()->setMimeData(new TBranchMimeData(m_tree->WriteBranch(note)));
}

TNote *TNoteTreeView::PasteFromClipboard(TNote *anchor, int mode)
{
    if (!m_tree || !anchor)
        return nullptr;
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    if (!mime || !mime->hasFormat(TNoteTree::NotesMimeType()))
        return nullptr;
    return m_tree->InsertBranch(anchor, mode, mime->data(TNoteTree::NotesMimeType()));
}

bool TNoteTreeView::ClipboardHasNotes()
{
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    return mime && mime->hasFormat(TNoteTree::NotesMimeType());
}

void TNoteTreeView::setDragCursors(const QCursor &move, const QCursor &nest)
{
    m_moveCursor = move;
    m_nestCursor = nest;
}

void TNoteTreeView::startDrag(Qt::DropActions)
{
    TNote *note = selectedNote();
    if (!note)
        return;
    auto *drag = new QDrag(this);
    auto *mime = new QMimeData;
    mime->setData(TNoteTree::NotesMimeType(), m_tree->WriteBranch(note));
    drag->setMimeData(mime);
    if (!m_moveCursor.pixmap().isNull())
        drag->setDragCursor(m_moveCursor.pixmap(), Qt::MoveAction);
    if (!m_nestCursor.pixmap().isNull())
        drag->setDragCursor(m_nestCursor.pixmap(), Qt::CopyAction);
    m_dragging = true;
    // The drop itself moves the note; nothing is removed here afterwards, so notes
    // dragged into another window stay in this one.
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    m_dragging = false;
    viewport()->update();
}

TNote *TNoteTreeView::dropTarget(const QPoint &pos, bool *internal) const
{
    *internal = m_dragging;
    TNote *target = m_tree ? m_tree->NoteOf(indexAt(pos)) : nullptr;
    if (!target)
        return nullptr;
    if (m_dragging) {
        TNote *dragged = selectedNote();
        if (!dragged || target == dragged || target->IsDescendantOf(dragged))
            return nullptr;
    }
    return target;
}

void TNoteTreeView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(TNoteTree::NotesMimeType()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TNoteTreeView::dragMoveEvent(QDragMoveEvent *event)
{
    bool internal = false;
    if (!event->mimeData()->hasFormat(TNoteTree::NotesMimeType())
        || !dropTarget(event->position().toPoint(), &internal)) {
        event->ignore();
        return;
    }
    const bool nest = event->modifiers() & Qt::ControlModifier;
    event->setDropAction(nest ? Qt::CopyAction : Qt::MoveAction);
    event->accept();

    // Only a drop that would be taken scrolls: one line per move within 20 pixels of
    // an edge.
    const int y = event->position().toPoint().y();
    const int height = viewport()->height();
    if (y > height - 20 && y < height)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    else if (y < 20)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
}

void TNoteTreeView::dropEvent(QDropEvent *event)
{
    bool internal = false;
    TNote *target = dropTarget(event->position().toPoint(), &internal);
    if (!target || !event->mimeData()->hasFormat(TNoteTree::NotesMimeType())) {
        event->ignore();
        return;
    }
    // Ctrl at the moment of the drop decides whether the note nests.
    const bool nest = event->modifiers() & Qt::ControlModifier;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (internal)
        emit noteDropped(selectedNote(), target, nest);
    else
        emit branchDropped(event->mimeData()->data(TNoteTree::NotesMimeType()), target, nest);
}
