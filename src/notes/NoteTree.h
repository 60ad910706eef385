#pragma once

#include <QAbstractItemModel>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <vector>

// Byte values are stored in the Tag of buttons and menu items: keep them fixed.
enum TNoteInsertMode : quint8 {
    imFirstSibling = 0,
    imLastSibling = 1,
    imAfter = 2,
    imBefore = 3,
    imFirstChild = 4,
    imLastChild = 5,
};

enum TMoveDirection : quint8 {
    mdLeft = 0,
    mdUp = 1,
    mdRight = 2,
    mdDown = 3,
};

class TNoteTree;

// One note: a one-line title and a body of lines. Owned by its TNoteTree; the
// structure is changed only through the tree so that its views hear of it.
class TNote final
{
public:
    TNote() = default;
    // Frees the branch below without recursion: a document may be 100,000 levels deep.
    ~TNote();
    TNote(const TNote &) = delete;
    TNote &operator=(const TNote &) = delete;

    const QString &Title() const { return m_title; }

    // The body is kept as its text form, one string for all its lines: a document
    // of 200,000 notes has millions of lines, and a string for each would take
    // several times the file's size. Bodies are not shown by the tree, so they may
    // be changed directly.

    // The body's lines, built on each call.
    QStringList Body() const;
    void SetBody(const QStringList &lines);
    bool HasBody() const { return !m_body.isEmpty(); }
    qsizetype BodyLineCount() const;
    // The body's text form: every line followed by CR LF. Shared, not copied.
    const QString &BodyText() const { return m_body; }
    // Splits at CR LF, lone CR or lone LF; a final break makes no empty last line.
    // A text already in that form is shared, not copied.
    void SetBodyText(const QString &text);
    void SetBodyText(QStringView text);
    // Whether a body line ends as the notes file ends a body, which the file must
    // then escape: -1 not yet known. Kept until the body changes, so that a save
    // need not scan every body again.
    qint8 BodyEndTag() const { return m_bodyEndTag; }
    void SetBodyEndTag(qint8 value) const { m_bodyEndTag = value; }

    // None for a root note.
    TNote *Parent() const { return m_parent && m_parent->m_parent ? m_parent : nullptr; }
    int Row() const { return m_row; }
    int ChildCount() const { return static_cast<int>(m_children.size()); }
    bool HasChildren() const { return !m_children.empty(); }
    TNote *Child(int row) const;
    TNote *FirstChild() const { return Child(0); }
    TNote *LastChild() const { return Child(ChildCount() - 1); }
    TNote *NextSibling() const;
    TNote *PrevSibling() const;
    // 0 for a root note.
    int Level() const;
    bool IsDescendantOf(const TNote *ancestor) const;

private:
    friend class TNoteTree;
    friend class TArchive; // reads bodies straight into their text form

    void setBodyForm(QString form)
    {
        m_body = std::move(form);
        m_bodyEndTag = -1;
    }

    QString m_title;
    QString m_body; // the text form
    mutable qint8 m_bodyEndTag = -1;
    TNote *m_parent = nullptr; // the tree's hidden top node for root notes
    int m_row = 0;
    mutable int m_orderIndex = -1;
    std::vector<std::unique_ptr<TNote>> m_children;
};

// The open document: the tree of notes, and the item model the tree view shows.
class TNoteTree final : public QAbstractItemModel
{
    Q_OBJECT

public:
    // Optional comparison for SortNotes: negative, zero or positive like strcmp.
    using TNoteCompare = std::function<int(const TNote *a, const TNote *b, qintptr userValue)>;

    // The private clipboard and drag-and-drop type carrying the branch record stream.
    static QString NotesMimeType();

    explicit TNoteTree(QObject *parent = nullptr);
    ~TNoteTree() override;

    quint8 SortType() const { return m_sortType; }
    void SetSortType(quint8 value);

    TNote *AddNote(TNote *anchor, const QString &title, int mode, QStringView body = {});
    // Moves the note with its branch to the place AddNote would give a new note; false
    // when the place lies inside the note's own branch.
    bool PlaceNote(TNote *note, TNote *anchor, int mode);
    // Removes the note with its whole branch.
    void DeleteNote(TNote *note);

    // Changes that can be taken back work on whole branches: a branch taken out keeps
    // its notes, so that putting it back restores the very same notes, not copies.
    // size (when given) receives the number of notes the branch holds.
    std::unique_ptr<TNote> TakeBranch(TNote *note, int *size = nullptr);
    // Puts a taken branch back as child row of parent (none: a root note); size as
    // TakeBranch gave it, or -1 to count the notes again.
    TNote *PutBranch(std::unique_ptr<TNote> branch, TNote *parent, int row, int size = -1);
    // Moves the note with its branch so that it ends up as child row of parent.
    bool MoveBranch(TNote *note, TNote *parent, int row);
    // The children of a note (none: the root notes) in their order.
    std::vector<TNote *> ChildOrder(const TNote *parent) const;
    // Gives each parent (none: the root notes) back an order of its own children, as
    // ChildOrder gave it; views hear of one change of layout for all of them.
    using TChildOrder = std::pair<TNote *, std::vector<TNote *>>;
    void SetChildOrders(const std::vector<TChildOrder> &orders);
    void SetTitle(TNote *note, const QString &title);

    // orderBefore (when given) receives the order each level the sort changed had
    // before it, as ChildOrder gives it.
    bool SortNotes(const TNoteCompare &compare = {}, qintptr userValue = 0,
                   std::vector<TChildOrder> *orderBefore = nullptr);
    void SortChildren(TNote *note,
                      std::vector<TChildOrder> *orderBefore = nullptr);
    bool MoveNote(TNote *note, int direction);

    void ExportBranch(const TNote *note, QStringList &lines, bool withBodies) const;
    void ExportSiblings(QStringList &lines, const TNote *note, bool withBodies) const;
    // The branch as plain text, its notes in tree order: each note's title and, when it
    // has a body, an empty line and the body; an empty line between notes; "\n" line
    // breaks. Empty for none.
    QString BranchPlainText(const TNote *note) const;
    // The same text of a branch stream (WriteBranch), as far as it can be read.
    static QString BranchStreamPlainText(QByteArrayView stream);

    TNote *FindByTitle(QStringView text) const;
    static QString GetNoteLink(const TNote *note);
    TNote *FindByLink(QStringView link) const;
    TNote *NodeAfterBranch(const TNote *note) const;
    // Where a walk over the note's branch in tree order ends: the first note after it,
    // unlike NodeAfterBranch also for a note without children; none at the tree's end.
    static TNote *BranchEnd(const TNote *note);
    TNote *TreeEnd() const { return nullptr; }

    // beforeTrim hears of each note just before its body is trimmed.
    void TrimNotes(const std::function<void(TNote *)> &beforeTrim = {});
    void ClearNotes();
    void ResetTree();
    void FreeBranchData(TNote *note);

    // Moves every note of another tree, with its branch, to the end of the root notes
    // (parent none) or of a note's children.
    void TakeNotes(TNoteTree &from, TNote *parent);

    // While a bulk update runs, views get one reset at its end instead of a signal
    // for every change; nested calls are counted.
    void BeginBulkUpdate();
    void EndBulkUpdate();
    bool InBulkUpdate() const { return m_bulkDepth > 0; }

    // Branch record stream: the note, then its descendants, as records and markers.
    QByteArray WriteBranch(const TNote *note) const;
    // Inserts the branch held in data at the anchor; returns the first note, or none
    // when the anchor is none or the data holds no complete first record. Reading
    // stops at the first fault; the notes read before it stay.
    TNote *InsertBranch(TNote *anchor, int mode, QByteArrayView data);

    // Tree order (pre-order) over the whole tree.
    int Count() const { return m_count; }
    int AbsoluteIndex(const TNote *note) const;
    TNote *NoteAt(int absoluteIndex) const;
    TNote *FirstNote() const { return m_top.FirstChild(); }
    TNote *NextInTreeOrder(const TNote *note) const;
    // The same step, keeping *level (0 for a root note) in step with it, so that a
    // walk knows every note's depth without climbing to the root for each one.
    TNote *NextInTreeOrder(const TNote *note, int *level) const;
    int RootCount() const { return m_top.ChildCount(); }
    TNote *RootNote(int row) const { return m_top.Child(row); }

    TNote *NoteOf(const QModelIndex &index) const;
    QModelIndex IndexOf(const TNote *note) const;

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;

signals:
    // Every note is gone: whatever still names one of them must let it go.
    void notesCleared();

private:
    TNote *parentSlot(TNote *note) { return note ? note->m_parent : &m_top; }
    bool placement(TNote *anchor, int mode, TNote **slot, int *row);
    // branchSize: the note with all the descendants it already has.
    TNote *insertAt(TNote *slot, int row, std::unique_ptr<TNote> note, int branchSize = 1);
    bool relocate(TNote *note, TNote *slot, int destRowBeforeRemoval);
    int branchSize(const TNote *note) const;
    // announce() runs before the level changes, and not at all when it is in order.
    template <typename Less, typename Announce>
    void sortLevel(TNote *slot, const Less &less, const Announce &announce);
    // Persistent indexes kept across a change of the order of children.
    struct TLayoutChange
    {
        QModelIndexList before;
        std::vector<std::pair<TNote *, int>> persistent;
    };
    void beginLayoutChange(TLayoutChange &change);
    void endLayoutChange(const TLayoutChange &change);
    void sortLevels(const std::vector<TNote *> &levels, const TNoteCompare &rootCompare,
                    const TNoteCompare &compare, qintptr userValue,
                    std::vector<TChildOrder> *orderBefore);
    void invalidateOrder() { m_orderValid = false; }
    void ensureOrder() const;
    QModelIndex indexOfSlot(const TNote *slot) const;

    // Frees what free frees on m_freeing, and gives the memory back.
    template <typename Free>
    void freeInBackground(Free free);
    // Removed branches of at least this many notes are freed by m_freeing.
    static constexpr int FreeInBackgroundFrom = 1000;

    TNote m_top; // hidden parent of the root notes
    int m_count = 0;
    quint8 m_sortType = 0;
    int m_bulkDepth = 0;
    mutable std::vector<TNote *> m_order;
    mutable bool m_orderValid = true;
    QThreadPool m_freeing;
};
