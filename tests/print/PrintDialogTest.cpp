// The real print dialog, driven with keys and clicks; message boxes, the PDF file
// question and the font dialog are answered by a script. Printing goes to a PDF file
// whatever printers the machine has.

#include "QtPrinters.h"
#include "app/Main.h"
#include "app/MessageService.h"
#include "notes/NoteTree.h"
#include "print/LinePrntGui.h"
#include "print/LinePrntQt.h"
#include "print/Print.h"
#include "print/PrintJob.h"
#include "settings/LngMan.h"
#include "settings/RegistryStore.h"
#include "settings/TempRegistry.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPdfWriter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

class PrintDialogTest : public TempRegistryTest
{
protected:
    void SetUp() override
    {
        TempRegistryTest::SetUp();
        TMessageService::Answer = [this](const TMessageRequest &request) {
            messages << request.Text;
            return QMessageBox::Ok;
        };
        TfrmPrint::ChoosePdfFile = [this](QWidget *, const QString &) { return pdfFile; };
        note = tree.AddNote(nullptr, u"Groceries"_s, imLastChild, u"milk\r\nbread\r\n"_s);
        tree.AddNote(note, u"Empty child"_s, imLastChild);
        source.Tree = &tree;
        source.Selected = note;
        source.EditorText = u"milk\r\nbread\r\n"_s;
        source.NoteFile = u"/home/me/notes.vlt"_s;
        source.EditorFont.Name = u"Liberation Mono"_s;
        source.EditorFont.Size = 9;
        pdfFile = m_dir.filePath(u"out.pdf"_s);
    }

    void TearDown() override
    {
        dialog.reset();
        TMessageService::Answer = nullptr;
        TfrmPrint::ChoosePdfFile = nullptr;
        TfrmPrint::ChooseFont = nullptr;
        TfrmPrint::RunSetup = nullptr;
        TfrmPrint::RunModal = nullptr;
    }

    TfrmPrint &open()
    {
        dialog = std::make_unique<TfrmPrint>(source);
        dialog->Printer().setOutputFormat(QPrinter::PdfFormat);
        dialog->show();
        return *dialog;
    }

    bool printKeyStored() const
    {
        TRegistryStore store;
        return store.KeyExists(TPrintSettings::Key);
    }

    TNoteTree tree;
    TNote *note = nullptr;
    TPrintSource source;
    QString pdfFile;
    QStringList messages;
    std::unique_ptr<TfrmPrint> dialog;
};

TEST_F(PrintDialogTest, FirstUseShowsTheDefaults)
{
    TfrmPrint &d = open();
    EXPECT_EQ(d.Scope(), psCurrentNote);
    EXPECT_TRUE(d.cbPageNumbers->isChecked());
    EXPECT_EQ(d.edtPrinterFont->text(), u"Liberation Mono"_s);
    EXPECT_EQ(d.edtPrinterFont->font().pointSize(), 9);
    EXPECT_EQ(d.LinePrn->Font().Name, u"Liberation Mono"_s);
    for (QLineEdit *box : { d.edtLeftMargin, d.edtRightMargin, d.edtTopMargin, d.edtBottomMargin })
        EXPECT_EQ(box->text(), u"10"_s);
    EXPECT_EQ(d.LinePrn->MeasureUnit(), muMillimeters);
    EXPECT_EQ(d.LinePrn->LineSpacing(), lsSingleAndAHalf);
    EXPECT_TRUE(d.LinePrn->ShowProgress);
    EXPECT_EQ(d.windowTitle(), u"Print"_s);
}

TEST_F(PrintDialogTest, MarginBoxesTakeOnlyDigits)
{
    struct Case
    {
        const char *name;
        QString before;
        bool selectAll;
        std::function<void(QLineEdit *)> type;
        QString after;
    };
    const std::vector<Case> cases {
        { "letter resets", u"25"_s, false, [](QLineEdit *b) { QTest::keyClick(b, Qt::Key_A); },
            u"10"_s },
        { "backspace resets", u"25"_s, false,
            [](QLineEdit *b) { QTest::keyClick(b, Qt::Key_Backspace); }, u"10"_s },
        { "digit over a selection", u"25"_s, true,
            [](QLineEdit *b) { QTest::keyClick(b, Qt::Key_5); }, u"5"_s },
        { "digit appends", u"2"_s, false, [](QLineEdit *b) { QTest::keyClick(b, Qt::Key_7); },
            u"27"_s },
        { "zero is typed", u"2"_s, false, [](QLineEdit *b) { QTest::keyClick(b, Qt::Key_0); },
            u"20"_s },
        { "decimal point is typed", u"12"_s, false,
            [](QLineEdit *b) { QTest::keyClicks(b, QLocale().decimalPoint() + u"5"_s); },
            u"12"_s + QLocale().decimalPoint() + u"5"_s },
        { "delete edits as usual", u"25"_s, false,
            [](QLineEdit *b) {
                b->setCursorPosition(0);
                QTest::keyClick(b, Qt::Key_Delete);
            },
            u"5"_s },
    };
    TfrmPrint &d = open();
    for (const Case &c : cases) {
        d.edtTopMargin->setText(c.before);
        d.edtTopMargin->setFocus();
        if (c.selectAll)
            d.edtTopMargin->selectAll();
        else
            d.edtTopMargin->end(false);
        c.type(d.edtTopMargin);
        EXPECT_EQ(d.edtTopMargin->text(), c.after) << c.name;
    }
}

TEST_F(PrintDialogTest, CancelStoresNothing)
{
    TfrmPrint &d = open();
    d.scopeButtons->button(psAllNotes)->click();
    QTest::keyClick(d.edtLeftMargin, Qt::Key_Escape);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_FALSE(printKeyStored());
    EXPECT_FALSE(QFile::exists(pdfFile));
}

TEST_F(PrintDialogTest, NothingToPrintKeepsTheDialogOpen)
{
    source.EditorText.clear();
    TfrmPrint &d = open();
    d.btnPrint->click();
    TNoteTree empty;
    source.Tree = &empty;
    source.Selected = nullptr;
    TfrmPrint other(source);
    other.Printer().setOutputFormat(QPrinter::PdfFormat);
    other.scopeButtons->button(psHeadingsOnly)->click();
    other.btnPrint->click();
    EXPECT_EQ(messages, QStringList(2, u"There is nothing to print."_s));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.result(), 0);
    EXPECT_FALSE(printKeyStored());
}

TEST_F(PrintDialogTest, PrintWritesThePdfAndStoresTheChoices)
{
    TfrmPrint &d = open();
    d.ApplyScopeArgument(4);
    d.cbPageNumbers->setChecked(false);
    d.edtLeftMargin->setText(u"20"_s);
    TfrmPrint::ChooseFont = [](QWidget *, const QFont &initial) {
        QFont font(initial);
        font.setPointSize(12);
        return std::optional<QFont>(font);
    };
    d.btnPrinterFont->click();
    EXPECT_EQ(d.LinePrn->Font().Size, 12);
    TfrmPrint::RunSetup = [](QWidget *, QPrinter &printer) {
        printer.setPageOrientation(QPageLayout::Landscape);
        return true;
    };
    d.btnSetup->click();
    const auto progressWindows = [] {
        int count = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            count += qobject_cast<TPrntProgDlg *>(w) && w->isVisible();
        return count;
    };
    int shownWhilePrinting = 0;
    d.LinePrn->OnNewPage = [&] { shownWhilePrinting = progressWindows(); };
    QTest::keyClick(d.edtLeftMargin, Qt::Key_Return);
    EXPECT_EQ(shownWhilePrinting, 1);
    EXPECT_EQ(progressWindows(), 0);
    // The page set up before printing is the one the PDF got.
    EXPECT_GT(d.LinePrn->PrintableWidth(), d.LinePrn->PrintableHeight());

    EXPECT_TRUE(messages.isEmpty()) << messages.join(u' ').toStdString();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    QFile pdf(pdfFile);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");

    TRegistryStore store;
    ASSERT_TRUE(store.OpenKeyReadOnly(TPrintSettings::Key));
    EXPECT_EQ(store.GetValueNames(),
        QStringList({ u"Page numbers"_s, u"Font"_s, u"Option"_s, u"MLeft"_s, u"MRight"_s, u"MTop"_s,
            u"MBottom"_s }));
    EXPECT_EQ(store.ReadInteger(u"Option"_s), psAllNotes);
    EXPECT_EQ(store.ReadInteger(u"Page numbers"_s), 0);
    EXPECT_EQ(store.ReadString(u"MLeft"_s), u"20"_s);
    EXPECT_TRUE(store.ReadString(u"Font"_s).startsWith(u"Liberation Mono,12,"_s));

    // The next opening starts from what was stored.
    dialog.reset();
    TfrmPrint &again = open();
    EXPECT_EQ(again.Scope(), psAllNotes);
    EXPECT_FALSE(again.cbPageNumbers->isChecked());
    EXPECT_EQ(again.LinePrn->Font().Size, 12);
    again.ApplyScopeArgument(0);
    EXPECT_EQ(again.Scope(), psAllNotes);
}

// The media box of the PDF's first page: its width and height in points.
QSizeF firstPageSize(const QString &pdfFile)
{
    QFile pdf(pdfFile);
    if (!pdf.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression box(
        u"/MediaBox\\s*\\[\\s*0\\s+0\\s+([0-9.]+)\\s+([0-9.]+)\\s*\\]"_s);
    const QRegularExpressionMatch m = box.match(QString::fromLatin1(pdf.readAll()));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

TEST_F(PrintDialogTest, PreviewKeepsTheOrientationChosenInSetup)
{
    TfrmPrint &d = open();
    TfrmPrint::RunSetup = [](QWidget *, QPrinter &printer) {
        printer.setPageOrientation(QPageLayout::Landscape);
        return true;
    };
    d.btnSetup->click();
    int pages = 0;
    bool landscape = false;
    TfrmPrint::RunModal = [&](QDialog &preview) {
        auto *widget = preview.findChild<QPrintPreviewWidget *>();
        if (!widget)
            return int(QDialog::Rejected);
        widget->updatePreview();
        pages = widget->pageCount();
        landscape = widget->orientation() == QPageLayout::Landscape;
        return int(QDialog::Rejected);
    };
    d.btnPreview->click();
    TfrmPrint::RunModal = nullptr;
    EXPECT_EQ(pages, 1);
    EXPECT_TRUE(landscape);

    d.btnPrint->click();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    const QSizeF page = firstPageSize(pdfFile);
    EXPECT_GT(page.width(), page.height()) << page.width() << " x " << page.height();
}

TEST_F(PrintDialogTest, LargePrinterFontKeepsTheButtonsOnScreen)
{
    TfrmPrint &d = open();
    int offered = 0;
    TfrmPrint::ChooseFont = [&offered](QWidget *, const QFont &initial) {
        offered = initial.pointSize();
        QFont font(initial);
        font.setPointSize(200);
        return std::optional<QFont>(font);
    };
    d.btnPrinterFont->click();
    d.adjustSize();
    EXPECT_EQ(d.LinePrn->Font().Size, 200);
    EXPECT_EQ(d.edtPrinterFont->font().pointSize(), 12);
    const QRect screen = d.screen()->availableGeometry();
    EXPECT_LE(d.width(), screen.width());
    EXPECT_LE(d.height(), screen.height());
    // The font dialog starts from the printer font itself, not from the box's.
    d.btnPrinterFont->click();
    EXPECT_EQ(offered, 200);
}

TEST_F(PrintDialogTest, MarginsWithoutRoomForTextAreRefused)
{
    struct Case
    {
        QString left, right, top, bottom;
        QString message;
    };
    const QString noRoom = LanguageManager().GetString(u"no_room_to_print"_s, u"Strings"_s);
    const QString notANumber = LanguageManager().GetString(u"margin_invalid"_s, u"Strings"_s);
    const std::vector<Case> cases {
        { u"150"_s, u"150"_s, u"10"_s, u"10"_s, noRoom },
        { u"10"_s, u"10"_s, u"500"_s, u"500"_s, noRoom },
        { u"10"_s, u"10"_s, u"10"_s, u"nan"_s, FormatString(notANumber, u"nan"_s) },
        { u"10"_s, u""_s, u"10"_s, u"10"_s, FormatString(notANumber, QString()) },
    };
    // A preview that opens is closed at once.
    TfrmPrint::RunModal = [](QDialog &) { return int(QDialog::Rejected); };
    TfrmPrint &d = open();
    for (const Case &c : cases) {
        messages.clear();
        d.edtLeftMargin->setText(c.left);
        d.edtRightMargin->setText(c.right);
        d.edtTopMargin->setText(c.top);
        d.edtBottomMargin->setText(c.bottom);
        d.btnPrint->click();
        EXPECT_EQ(messages, QStringList(c.message)) << c.left.toStdString();
        d.btnPreview->click();
        EXPECT_EQ(messages, QStringList(2, c.message)) << c.left.toStdString();
    }
    EXPECT_EQ(d.result(), 0);
    EXPECT_FALSE(QFile::exists(pdfFile));
    EXPECT_FALSE(printKeyStored());

    // A margin that leaves one character per line still prints.
    d.edtLeftMargin->setText(u"100"_s);
    d.edtRightMargin->setText(u"100"_s);
    d.edtBottomMargin->setText(u"10"_s);
    messages.clear();
    d.btnPrint->click();
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u' ').toStdString();
    EXPECT_EQ(d.result(), QDialog::Accepted);
}

TEST_F(PrintDialogTest, EnterOnAFocusedButtonPressesThatButton)
{
    TfrmPrint &d = open();
    d.btnCancel->setFocus();
    QTest::keyClick(d.btnCancel, Qt::Key_Return);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(pdfFile));
    EXPECT_FALSE(printKeyStored());

    // Elsewhere Enter still prints.
    TfrmPrint &again = open();
    QTest::keyClick(again.scopeButtons->button(psAllNotes), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_TRUE(QFile::exists(pdfFile));
}

TEST_F(PrintDialogTest, PdfFileDialogStartsBesideTheDocumentUnderItsName)
{
    source.NoteFile = m_dir.filePath(u"Garden plans.vlt"_s);
    TfrmPrint::ChoosePdfFile = nullptr;
    QString offered;
    QTimer::singleShot(0, [&offered] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *files = qobject_cast<QFileDialog *>(w); files && files->isVisible()) {
                offered = files->selectedFiles().value(0);
                files->reject();
            }
        }
    });
    TfrmPrint &d = open();
    d.btnPrint->click();
    EXPECT_EQ(offered, m_dir.filePath(u"Garden plans.pdf"_s));
    EXPECT_EQ(d.result(), 0);
}

TEST_F(PrintDialogTest, CancelledPdfQuestionPrintsNothing)
{
    pdfFile.clear();
    TfrmPrint &d = open();
    d.btnPrint->click();
    EXPECT_EQ(d.result(), 0);
    EXPECT_FALSE(printKeyStored());
    EXPECT_TRUE(messages.isEmpty());
}

} // namespace

namespace {

// The Qt device's widths, taken from cached character advances where that is exact,
// against Qt's own shaping of the same text in the same font on the same PDF device.
TEST(QtPageDevice, WidthsAgreeWithShapedText)
{
    for (const char *family : { "Liberation Mono", "DejaVu Sans" }) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        TQtPageDevice device(&pdf);
        TFontDesc desc;
        desc.Name = QString::fromLatin1(family);
        desc.Size = 10;
        device.SetFont(desc);
        const QFontMetricsF shaped(TQtPageDevice::PrinterFont(desc), &pdf);
        for (const QString &text : { u"Page 1"_s, u"WAVE Typography, fjord; Überstunden"_s,
                 u"Привет, мир"_s, u"e\u0301t\u00e9 \u05e9\u05dc\u05d5\u05dd"_s }) {
            const qreal expected = shaped.horizontalAdvance(text);
            EXPECT_NEAR(device.TextWidth(text), expected, 1 + expected / 500)
                << family << " " << text.toStdString();
        }
    }
}

} // namespace

namespace {

// File > Print, the toolbar button and miPrintNoteClick open the dialog centred over
// the main window with their scope argument.
class MainWindowPrintTest : public TempRegistryTest
{
protected:
    void TearDown() override { TfrmPrint::RunModal = nullptr; }
};

TEST_F(MainWindowPrintTest, CommandsOpenTheDialogWithTheirScope)
{
    QStringList opened;
    TfrmPrint::RunModal = [&opened](QDialog &dialog) {
        auto &print = static_cast<TfrmPrint &>(dialog);
        const QRect main = print.parentWidget()->geometry();
        const QPoint centred(main.left() + main.width() / 2 - print.width() / 2,
            main.top() + main.height() / 2 - print.height() / 2);
        opened << u"%1 %2"_s.arg(print.Scope()).arg(print.pos() == centred);
        return int(QDialog::Rejected);
    };
    TfrmMain window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.findChild<QAction *>(u"miFilePrint"_s)->trigger();
    window.findChild<QAction *>(u"btnPrint"_s)->trigger();
    QAction headings;
    headings.setData(3);
    QObject::connect(&headings, &QAction::triggered, &window, &TfrmMain::miPrintNoteClick);
    headings.trigger();
    EXPECT_EQ(opened, QStringList({ u"0 1"_s, u"0 1"_s, u"2 1"_s }));
}

} // namespace

namespace {

TEST_F(PrintDialogTest, TranslatedWhenShown)
{
    TLngMan &language = LanguageManager();
    language.SetFolder(QStringLiteral(VT_LNG_DIR));
    language.SetLanguage(u"Deutsch.lng"_s);
    QStringList seen;
    TfrmPrint::RunModal = [&seen](QDialog &shown) {
        auto &d = static_cast<TfrmPrint &>(shown);
        seen << d.windowTitle() << d.scopeButtons->button(psHeadingsOnly)->text()
             << d.lblBottomMargin->text() << d.btnPreview->text() << d.edtTopMargin->toolTip();
        return int(QDialog::Rejected);
    };
    TfrmPrint d(source);
    d.Execute();
    TfrmPrint::RunModal = nullptr;
    const TPrntProgDlg progress;
    seen << progress.windowTitle() << progress.lblPageNumberCaption->text();
    language.SetLanguage(u"English.lng"_s);
    EXPECT_EQ(seen,
        QStringList({ u"Drucken"_s, u"Nur &Überschriften"_s, u"&Unten"_s, u"&Vorschau..."_s,
            u"Millimeter"_s, u"Druckfortschritt"_s, u"Seitennummer:"_s }));
}

} // namespace
