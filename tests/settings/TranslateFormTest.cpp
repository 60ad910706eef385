#include "QtPrinters.h"
#include "settings/LngManGui.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

template <typename T> T *named(QWidget *parent, const QString &name)
{
    auto *w = new T(parent);
    w->setObjectName(name);
    return w;
}

// A search dialog as a form would build it, English texts as designed.
struct SearchForm
{
    SearchForm()
    {
        form.setObjectName(u"frmSearchReplace"_s);
        form.setWindowTitle(u"Find/Replace"_s);
        auto *layout = new QVBoxLayout(&form);
        lblSearch = named<QLabel>(&form, u"lblSearch"_s);
        cbxSearch = named<QComboBox>(&form, u"cbxSearch"_s);
        cbxSearch->setEditable(true);
        cbxSearch->addItems({ u"history one"_s, u"history two"_s });
        cbCaseSensitive = named<QCheckBox>(&form, u"cbCaseSensitive"_s);
        rgSearchScope = named<QGroupBox>(&form, u"rgSearchScope"_s);
        auto *scopeLayout = new QVBoxLayout(rgSearchScope);
        for (int i = 0; i < 3; ++i) {
            scope[i] = new QRadioButton(rgSearchScope);
            scopeLayout->addWidget(scope[i]);
        }
        btnFindNext = named<QPushButton>(&form, u"btnFindNext"_s);
        for (QWidget *w : std::initializer_list<QWidget *> {
                 lblSearch, cbxSearch, cbCaseSensitive, rgSearchScope, btnFindNext })
            layout->addWidget(w);
    }

    QDialog form;
    QLabel *lblSearch;
    QComboBox *cbxSearch;
    QCheckBox *cbCaseSensitive;
    QGroupBox *rgSearchScope;
    QRadioButton *scope[3];
    QPushButton *btnFindNext;
};

class TranslateFormTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    void useFile(const QByteArray &content)
    {
        QFile file(m_dir.filePath(u"Test.lng"_s));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        m_lng.SetFolder(m_dir.path());
        m_lng.SetLanguage(u"Test.lng"_s);
    }
    void useShipped(const QString &name)
    {
        m_lng.SetFolder(QStringLiteral(VT_LNG_DIR));
        m_lng.SetLanguage(name);
    }
    QString shippedText(const QString &section, const QString &key) const
    {
        return m_lng.GetString(key, section).replace(u'|', u'\n');
    }

    QTemporaryDir m_dir;
    TLngMan m_lng;
};

TEST_F(TranslateFormTest, SearchDialogInBothShippedLanguages)
{
    for (const QString &language : { u"English.lng"_s, u"Deutsch.lng"_s }) {
        SearchForm f;
        useShipped(language);
        TranslateForm(&f.form, false, m_lng);
        const QString section = u"frmSearchReplace"_s;
        EXPECT_EQ(f.form.windowTitle(), shippedText(section, u"frmSearchReplace.Caption"_s));
        EXPECT_EQ(f.lblSearch->text(), shippedText(section, u"lblSearch.Caption"_s));
        EXPECT_EQ(f.cbxSearch->toolTip(), shippedText(section, u"cbxSearch.Hint"_s));
        EXPECT_EQ(f.cbCaseSensitive->text(), shippedText(section, u"cbCaseSensitive.Caption"_s));
        EXPECT_EQ(f.rgSearchScope->title(), shippedText(section, u"rgSearchScope.Caption"_s));
        const QStringList scopes = shippedText(section, u"rgSearchScope.Items"_s).split(u'\n');
        ASSERT_EQ(scopes.size(), 3);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(f.scope[i]->text(), scopes[i]);
        EXPECT_EQ(f.btnFindNext->text(), shippedText(section, u"btnFindNext.Caption"_s));
        // The search history is not a translated list.
        EXPECT_EQ(f.cbxSearch->count(), 2);
    }
    SearchForm german;
    useShipped(u"Deutsch.lng"_s);
    TranslateForm(&german.form, false, m_lng);
    EXPECT_EQ(german.cbCaseSensitive->text(), u"&Groß-/Kleinschreibung beachten"_s);
}

TEST_F(TranslateFormTest, MainWindowActionsMenusAndFileDialogs)
{
    QWidget main;
    main.setObjectName(u"frmMain"_s);
    auto *mnuTree = named<QMenu>(&main, u"mnuTree"_s);
    auto *miCopyLink = new QAction(mnuTree);
    miCopyLink->setObjectName(u"miCopyLink"_s);
    mnuTree->addAction(miCopyLink);
    auto *miFile = named<QMenu>(&main, u"miFile"_s);
    auto *miFileOpen = new QAction(&main);
    miFileOpen->setObjectName(u"miFileOpen"_s);
    miFile->addAction(miFileOpen);
    auto *btnNew = new QAction(&main);
    btnNew->setObjectName(u"btnNew"_s);
    auto *dlgOpen = new QFileDialog(&main);
    dlgOpen->setObjectName(u"dlgOpen"_s);

    useShipped(u"Deutsch.lng"_s);
    TLngMan *notified = nullptr;
    m_lng.OnTranslated = [&notified](TLngMan &s) { notified = &s; };
    TranslateForm(&main, true, m_lng);

    EXPECT_EQ(miFile->title(), u"&Datei"_s);
    EXPECT_EQ(miFileOpen->text(), shippedText(u"frmMain"_s, u"miFileOpen.Caption"_s));
    EXPECT_EQ(miCopyLink->text(), shippedText(u"frmMain"_s, u"miCopyLink.Caption"_s));
    EXPECT_EQ(btnNew->toolTip(), u"Neu"_s);
    EXPECT_EQ(dlgOpen->windowTitle(), u"Öffnen"_s);
    EXPECT_EQ(dlgOpen->labelText(QFileDialog::Accept), u"Ö&ffnen"_s);
    EXPECT_EQ(notified, &m_lng);
}

TEST_F(TranslateFormTest, NameAndPropertyRules)
{
    QDialog form;
    form.setObjectName(u"frmOptions"_s);
    form.setWindowTitle(u"Options"_s);
    auto *cbMinimize = named<QCheckBox>(&form, u"cbMinimize"_s);
    auto *rgConfirmDelete = new QButtonGroup(&form);
    rgConfirmDelete->setObjectName(u"rgConfirmDelete"_s);
    QRadioButton *choices[3];
    for (int i = 0; i < 3; ++i) {
        choices[i] = new QRadioButton(u"old"_s, &form);
        rgConfirmDelete->addButton(choices[i], i);
    }
    auto *cbxLanguages = named<QComboBox>(&form, u"cbxLanguages"_s);
    cbxLanguages->addItems({ u"x"_s, u"y"_s });
    cbxLanguages->setCurrentIndex(1);
    auto *cbxLower = named<QComboBox>(&form, u"cbxLower"_s);
    cbxLower->addItems({ u"kept"_s });
    auto *lblBlank = named<QLabel>(&form, u"lblBlank"_s);
    lblBlank->setText(u"designed"_s);
    auto *pages = named<QTabWidget>(&form, u"pcOptions"_s);
    auto *tsFiles = named<QWidget>(nullptr, u"tsFiles"_s);
    pages->addTab(tsFiles, u"&Files"_s);

    useFile("[frmoptions]\n"
            "FRMOPTIONS.Caption=wrong case of the form\n"
            "cbminimize.hint=Minimize the|window\n"
            "cbMinimize.Caption.Whatever=Mi&nimize\n"
            "rgConfirmDelete.Items=Never|Note|Branch\n"
            "cbxLower.items=lower-case items are no list\n"
            "cbxLanguages.Items=a|b|c\n"
            "lblBlank.Caption=\n"
            "tsFiles.Caption=Da&teien\n"
            "tsFiles.Hint=Files tab\n"
            "noSuchComponent.Caption=x\n"
            "cbMinimize.NoSuchProperty=x\n"
            "cbMinimize.objectName=renamed\n"
            "cbMinimize.styleSheet=color: red\n");
    TranslateForm(&form, false, m_lng);

    EXPECT_EQ(form.windowTitle(), u"Options"_s);
    EXPECT_EQ(cbMinimize->toolTip(), u"Minimize the\nwindow"_s);
    EXPECT_EQ(cbMinimize->text(), u"Mi&nimize"_s);
    EXPECT_EQ(cbMinimize->objectName(), u"cbMinimize"_s);
    EXPECT_EQ(cbMinimize->styleSheet(), u"color: red"_s);
    EXPECT_EQ(choices[0]->text(), u"Never"_s);
    EXPECT_EQ(choices[2]->text(), u"Branch"_s);
    ASSERT_EQ(cbxLanguages->count(), 3);
    EXPECT_EQ(cbxLanguages->itemText(2), u"c"_s);
    EXPECT_EQ(cbxLanguages->currentIndex(), 1);
    EXPECT_EQ(cbxLower->count(), 1);
    EXPECT_EQ(lblBlank->text(), u""_s);
    EXPECT_EQ(pages->tabText(0), u"Da&teien"_s);
    EXPECT_EQ(pages->tabToolTip(0), u"Files tab"_s);

    useFile("[frmOptions]\nfrmOptions.Caption=Einstellungen\n");
    TranslateForm(&form, false, m_lng);
    EXPECT_EQ(form.windowTitle(), u"Einstellungen"_s);
}

TEST_F(TranslateFormTest, RadioGroupFollowsTheNumberOfItems)
{
    QDialog form;
    form.setObjectName(u"frmPrint"_s);
    auto *group = named<QGroupBox>(&form, u"rgPrintScope"_s);
    auto *layout = new QVBoxLayout(group);
    QRadioButton *first = new QRadioButton(group);
    QRadioButton *second = new QRadioButton(group);
    layout->addWidget(first);
    layout->addWidget(second);
    form.show();

    useFile("[frmPrint]\nrgPrintScope.Items=one|two|three\n");
    TranslateForm(&form, false, m_lng);
    QList<QRadioButton *> radios = group->findChildren<QRadioButton *>();
    ASSERT_EQ(radios.size(), 3);
    EXPECT_EQ(radios[2]->text(), u"three"_s);

    useFile("[frmPrint]\nrgPrintScope.Items=only\n");
    TranslateForm(&form, false, m_lng);
    EXPECT_EQ(first->text(), u"only"_s);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(second->isVisible());
}

TEST_F(TranslateFormTest, MissingSectionKeepsDesignAndStillNotifies)
{
    SearchForm f;
    f.lblSearch->setText(u"&Text to find:"_s);
    useFile("[frmOther]\nlblSearch.Caption=x\n");
    int calls = 0;
    m_lng.OnTranslated = [&calls](TLngMan &) { ++calls; };
    TranslateForm(&f.form, true, m_lng);
    TranslateForm(&f.form, false, m_lng);
    EXPECT_EQ(f.lblSearch->text(), u"&Text to find:"_s);
    EXPECT_EQ(calls, 1);
}

} // namespace

namespace {

// The note editor's text is the user's note, not a caption to translate.
TEST_F(TranslateFormTest, EditorTextIsNeverReplacedByTheLanguageFile)
{
    QWidget main;
    main.setObjectName(u"frmMain"_s);
    auto *notes = named<QPlainTextEdit>(&main, u"Notes"_s);
    notes->setPlainText(u"the user's note"_s);
    auto *memo = named<QTextEdit>(&main, u"memo"_s);
    memo->setPlainText(u"kept too"_s);
    auto *edtName = named<QLineEdit>(&main, u"edtName"_s);
    useFile("[frmMain]\nNotes.Text=replaced\nNotes.PlainText=replaced\nmemo.Text=replaced\n"
            "memo.html=<b>replaced</b>\nNotes.Hint=Body|of the note\nedtName.Text=one line\n");
    TranslateForm(&main, false, m_lng);
    EXPECT_EQ(notes->toPlainText(), u"the user's note"_s);
    EXPECT_EQ(memo->toPlainText(), u"kept too"_s);
    EXPECT_TRUE(notes->toolTip().startsWith(u"Body"_s)); // other properties still apply
    EXPECT_EQ(edtName->text(), u"one line"_s);
}

TEST_F(TranslateFormTest, EnglishSpellsTheGoToInternalLinkItem)
{
    useShipped(u"English.lng"_s);
    EXPECT_EQ(m_lng.GetString(u"miGotoInternalLink.Caption"_s, u"frmMain"_s),
              u"&Go to internal link"_s);
}

} // namespace
