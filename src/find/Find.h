#pragma once

#include "find/FindEngine.h"
#include "find/FindOptions.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class TfrmMain;

// The search and replace dialog: modeless, over the main window, finding and
// replacing in the titles and bodies of one note, a branch or the whole tree. It
// remembers its options and histories in the registry from one opening to the next.
class TfrmSearchReplace final : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmSearchReplace(TfrmMain *main);
    ~TfrmSearchReplace() override;

    // The open dialog of a main window, or none.
    static TfrmSearchReplace *OpenOver(const QWidget *main);
    // The editor's selection, when there is one, becomes the search text.
    void TakeEditorSelection();

    const TNoteSearch &Search() const { return m_search; }

    // Components, by the names the language file uses.
    QLabel *lblSearch = nullptr;
    QComboBox *cbxSearch = nullptr;
    QLabel *lblReplace = nullptr;
    QComboBox *cbxReplace = nullptr;
    QCheckBox *cbSearchNotes = nullptr;
    QCheckBox *cbSearchTitles = nullptr;
    QCheckBox *cbCaseSensitive = nullptr;
    QCheckBox *cbWholeWords = nullptr;
    QGroupBox *rgSearchScope = nullptr;
    QPushButton *btnFind = nullptr;
    QPushButton *btnFindNext = nullptr;
    QPushButton *btnReplace = nullptr;
    QPushButton *btnReplaceAll = nullptr;
    QPushButton *btnCancel = nullptr;

    void cbxSearchChange();
    void cbxReplaceChange();
    void cbCaseSensitiveClick();
    void cbWholeWordsClick();
    void cbSearchTitlesClick();
    void rgSearchScopeClick();
    void btnFindClick();
    void btnFindNextClick();
    void btnReplaceClick();
    void btnReplaceAllClick();
    void btnCancelClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void createControls();
    void FormCreate();
    void FormShow();
    bool FormKeyDown(int key);
    int scopeIndex() const;
    void updateMatcher();
    void addToHistories();
    void ComputeScope();
    void RunSearch(bool fromScopeStart);
    void ShowResult();
    void MoveClearOfMatch();
    QString caption() const;

    TfrmMain *m_main;
    TNoteSearch m_search;
    TFindOptions m_options;
    QString m_optionsKey;
    QButtonGroup *m_scopeButtons = nullptr;
    QString m_searchText;
    QString m_replacement;
    bool m_caseSensitive = false;
    bool m_wholeWords = false;
    bool m_closed = false;
    // The note selected when the scope was chosen: the scope is the tree's, this
    // note's or its branch's, taken anew at every search.
    TNote *m_scopeNote = nullptr;
    bool m_scopeLost = false;
    std::array<QMetaObject::Connection, 2> m_treeConnections;
};
