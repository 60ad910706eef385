#include "print/Print.h"

#include "app/MessageService.h"
#include "print/LinePrntGui.h"
#include "print/LinePrntQt.h"
#include "print/PrintJob.h"
#include "settings/LngMan.h"
#include "settings/LngManGui.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsGui.h"
#include "settings/UtilsFile.h"
#include "settings/UtilsGui.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const QString kDefaultMargin = u"10"_s;

QString stringsText(const QString &key)
{
    return LanguageManager().GetString(key, u"Strings"_s);
}

std::optional<QFont> runFontDialog(QWidget *owner, const QFont &initial)
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, owner);
    return ok ? std::optional<QFont>(font) : std::nullopt;
}

QString askPdfFile(QWidget *owner, const QString &suggested)
{
    QString name = QFileDialog::getSaveFileName(
        owner, stringsText(u"print_pdf"_s), suggested, stringsText(u"pdf_filter"_s));
    if (!name.isEmpty() && !name.endsWith(u".pdf"_s, Qt::CaseInsensitive))
        name += u".pdf"_s;
    return name;
}

// Paper and orientation for printing into a file, where Qt's page setup dialog serves
// only real printers.
bool runPageSetup(QWidget *owner, QPrinter &printer)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(stringsText(u"page_setup"_s));
    auto *layout = new QVBoxLayout(&dialog);
    auto *paperLabel = new QLabel(stringsText(u"paper"_s), &dialog);
    auto *paper = new QComboBox(&dialog);
    for (const QPageSize::PageSizeId id : { QPageSize::A4, QPageSize::A3, QPageSize::A5,
             QPageSize::B5, QPageSize::Letter, QPageSize::Legal, QPageSize::Executive }) {
        paper->addItem(QPageSize::name(id), int(id));
        if (printer.pageLayout().pageSize().id() == id)
            paper->setCurrentIndex(paper->count() - 1);
    }
    paper->setMinimumWidth(200);
    paperLabel->setBuddy(paper);
    auto *orientation = new QGroupBox(stringsText(u"orientation"_s), &dialog);
    auto *orientationLayout = new QVBoxLayout(orientation);
    auto *portrait = new QRadioButton(stringsText(u"portrait"_s), orientation);
    auto *landscape = new QRadioButton(stringsText(u"landscape"_s), orientation);
    orientationLayout->addWidget(portrait);
    orientationLayout->addWidget(landscape);
    (printer.pageLayout().orientation() == QPageLayout::Landscape ? landscape : portrait)
        ->setChecked(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(paperLabel);
    layout->addWidget(paper);
    layout->addWidget(orientation);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    printer.setPageSize(QPageSize(QPageSize::PageSizeId(paper->currentData().toInt())));
    printer.setPageOrientation(
        landscape->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait);
    return true;
}

bool runPrinterSetup(QWidget *owner, QPrinter &printer)
{
    // Where a printer exists it is chosen here with its paper and orientation.
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        QPrintDialog dialog(&printer, owner);
        dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        return dialog.exec() == QDialog::Accepted;
    }
    return runPageSetup(owner, printer);
}

// The PDF of a document is offered beside it under its name; a document never saved
// starts in the home folder.
QString suggestedPdfFile(const QString &noteFile)
{
    if (noteFile.isEmpty())
        return QDir::homePath();
    const QFileInfo info(noteFile);
    return info.dir().filePath(info.completeBaseName() + u".pdf"_s);
}

// Puts the line printer back on the dialog's printer when a job to a file ends.
class DeviceRestorer
{
public:
    DeviceRestorer(TLinePrinter &printer, TPageDevice *device)
        : m_printer(printer), m_saved(printer.Device())
    {
        m_printer.SetDevice(device);
    }
    ~DeviceRestorer() { m_printer.SetDevice(m_saved); }

private:
    TLinePrinter &m_printer;
    TPageDevice *m_saved;
};

} // namespace

std::function<std::optional<QFont>(QWidget *, const QFont &)> TfrmPrint::ChooseFont = runFontDialog;
std::function<QString(QWidget *, const QString &)> TfrmPrint::ChoosePdfFile = askPdfFile;
std::function<bool(QWidget *, QPrinter &)> TfrmPrint::RunSetup = runPrinterSetup;
std::function<int(QDialog &)> TfrmPrint::RunModal = [](QDialog &dialog) { return dialog.exec(); };

TfrmPrint::TfrmPrint(const TPrintSource &source, QWidget *parent)
    : QDialog(parent)
    , m_source(source)
    , m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setObjectName(u"frmPrint"_s);
    setWindowTitle(u"Print"_s);
    setWindowFlags(DialogWindowFlags);
    setModal(true);

    m_noPrinter = QPrinterInfo::availablePrinterNames().isEmpty();
    if (m_noPrinter)
        m_printer->setOutputFormat(QPrinter::PdfFormat);
    QPrinter *printer = m_printer.get();
    m_device = std::make_unique<TQtPageDevice>(
        printer, [printer](const QString &title) { printer->setDocName(title); });
    LinePrn = std::make_unique<TLinePrinter>(m_device.get());
    SetUpNotesPrinter(*LinePrn);
    LinePrn->ShowProgress = true;
    LinePrn->ProgressFactory = MakePrintProgressView;

    createControls();
    readSettings();
}

TfrmPrint::~TfrmPrint()
{
    // The line printer refers to the device; it goes first.
    LinePrn.reset();
}

void TfrmPrint::createControls()
{
    auto *layout = new QVBoxLayout(this);

    lblPrinterFont = new QLabel(u"Printer &font:"_s, this);
    lblPrinterFont->setObjectName(u"lblPrinterFont"_s);
    edtPrinterFont = new QLineEdit(this);
    edtPrinterFont->setObjectName(u"edtPrinterFont"_s);
    edtPrinterFont->setReadOnly(true);
    edtPrinterFont->setToolTip(u"Specify a font for printer"_s);
    lblPrinterFont->setBuddy(edtPrinterFont);
    btnPrinterFont = new QPushButton(u"..."_s, this);
    btnPrinterFont->setObjectName(u"btnPrinterFont"_s);
    btnPrinterFont->setFixedWidth(32);
    // "..." says nothing to a screen reader; btnPrinterFont.AccessibleName translates it.
    btnPrinterFont->setAccessibleName(u"Choose the printer font"_s);
    auto *fontRow = new QHBoxLayout;
    fontRow->addWidget(edtPrinterFont, 1);
    fontRow->addWidget(btnPrinterFont);
    layout->addWidget(lblPrinterFont);
    layout->addLayout(fontRow);

    auto *middle = new QHBoxLayout;
    rgPrintScope = new QGroupBox(u"Print:"_s, this);
    rgPrintScope->setObjectName(u"rgPrintScope"_s);
    scopeButtons = new QButtonGroup(rgPrintScope);
    auto *scopeLayout = new QVBoxLayout(rgPrintScope);
    const QStringList scopes { u"Current &note"_s, u"Current t&ree"_s, u"&Headings only"_s,
        u"&All notes"_s };
    for (int i = 0; i < scopes.size(); ++i) {
        auto *button = new QRadioButton(scopes[i], rgPrintScope);
        scopeButtons->addButton(button, i);
        scopeLayout->addWidget(button);
    }
    scopeLayout->addStretch();
    middle->addWidget(rgPrintScope, 1);

    gbMargins = new QGroupBox(u"Margins:"_s, this);
    gbMargins->setObjectName(u"gbMargins"_s);
    auto *grid = new QGridLayout(gbMargins);
    const auto marginBox
        = [this, grid](const QString &name, const QString &caption, int row, QLabel **label) {
              *label = new QLabel(caption, gbMargins);
              (*label)->setObjectName(u"lbl"_s + name);
              auto *box = new QLineEdit(kDefaultMargin, gbMargins);
              box->setObjectName(u"edt"_s + name);
              box->setToolTip(u"millimeters"_s);
              box->setFixedWidth(56);
              (*label)->setBuddy(box);
              grid->addWidget(*label, row, 0);
              grid->addWidget(box, row, 1);
              return box;
          };
    edtLeftMargin = marginBox(u"LeftMargin"_s, u"&Left"_s, 0, &lblLeftMargin);
    edtRightMargin = marginBox(u"RightMargin"_s, u"&Right"_s, 1, &lblRightMargin);
    edtTopMargin = marginBox(u"TopMargin"_s, u"&Top"_s, 2, &lblTopMargin);
    edtBottomMargin = marginBox(u"BottomMargin"_s, u"&Bottom"_s, 3, &lblBottomMargin);
    middle->addWidget(gbMargins);
    layout->addLayout(middle);

    cbPageNumbers = new QCheckBox(u"Print page n&umbers"_s, this);
    cbPageNumbers->setObjectName(u"cbPageNumbers"_s);
    cbPageNumbers->setToolTip(u"Include page numbers\nin hard-copy"_s);
    layout->addWidget(cbPageNumbers);

    auto *buttons = new QHBoxLayout;
    const auto button = [this, buttons](const QString &name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        // Enter is the form's own business (FormKeyPress).
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    btnPreview = button(u"btnPreview"_s, u"Pre&view..."_s);
    btnPreview->setToolTip(u"See the pages before they are printed"_s);
    btnSetup = button(u"btnSetup"_s, u"&Setup..."_s);
    buttons->addStretch();
    btnPrint = button(u"btnPrint"_s, u"&Print"_s);
    btnPrint->setDefault(true);
    btnCancel = button(u"btnCancel"_s, u"&Cancel"_s);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnPrint, &QPushButton::clicked, this, &TfrmPrint::btnPrintClick);
    connect(btnPreview, &QPushButton::clicked, this, &TfrmPrint::btnPreviewClick);
    connect(btnSetup, &QPushButton::clicked, this, &TfrmPrint::btnSetupClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnPrinterFont, &QPushButton::clicked, this, &TfrmPrint::btnPrinterFontClick);

    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);
    TabToCheckedRadio(this);
}

void TfrmPrint::readSettings()
{
    TRegistryStore store;
    const TPrintSettings s = TPrintSettings::Load(store, m_source.EditorFont);
    if (QAbstractButton *b = scopeButtons->button(s.Option))
        b->setChecked(true);
    cbPageNumbers->setChecked(s.PageNumbers);
    setPrinterFont(s.Font);
    edtLeftMargin->setText(s.MLeft);
    edtRightMargin->setText(s.MRight);
    edtTopMargin->setText(s.MTop);
    edtBottomMargin->setText(s.MBottom);
}

void TfrmPrint::setPrinterFont(const TFontDesc &font)
{
    LinePrn->SetFont(font);
    edtPrinterFont->setText(font.Name);
    edtPrinterFont->setFont(SettingsGui::shownFont(font));
}

void TfrmPrint::ApplyScopeArgument(int scope)
{
    if (scope >= 1 && scope <= 4)
        scopeButtons->button(scope - 1)->setChecked(true);
}

int TfrmPrint::Scope() const
{
    return scopeButtons->checkedId();
}

bool TfrmPrint::PrintsToFile() const
{
    return m_printer->outputFormat() == QPrinter::PdfFormat;
}

int TfrmPrint::Execute()
{
    TranslateForm(this, false);
    centreOverParent();
    return RunModal ? RunModal(*this) : exec();
}

void TfrmPrint::centreOverParent()
{
    adjustSize();
    CentreOverOwner(this, parentWidget());
}

QStringList TfrmPrint::composeLines() const
{
    if (!m_source.Tree)
        return {};
    return ComposePrintLines(Scope(), *m_source.Tree, m_source.Selected, m_source.EditorText);
}

TPrintJob TfrmPrint::job(const QStringList &lines) const
{
    TPrintJob job;
    job.Lines = lines;
    job.Title = m_source.NoteFile;
    job.TabSize = m_source.TabSize;
    job.MarginLeft = edtLeftMargin->text();
    job.MarginRight = edtRightMargin->text();
    job.MarginTop = edtTopMargin->text();
    job.MarginBottom = edtBottomMargin->text();
    job.PageNumbers = cbPageNumbers->isChecked();
    return job;
}

void TfrmPrint::runJob(TLinePrinter &printer, const QStringList &lines)
{
    // A long job runs without returning to the event loop: the cursor says so.
    const TBusyCursor busy;
    PrintNotes(printer, job(lines));
}

bool TfrmPrint::MarginsValid()
{
    for (QLineEdit *box : { edtLeftMargin, edtRightMargin, edtTopMargin, edtBottomMargin }) {
        if (!MarginValue(box->text())) {
            TMessageService::ShowError(this, FormatString(stringsText(u"margin_invalid"_s),
                                                 box->text().trimmed()));
            box->setFocus();
            box->selectAll();
            return false;
        }
    }
    return true;
}

void TfrmPrint::btnPrintClick()
{
    if (Scope() < 0 || !MarginsValid())
        return;
    try {
        const QStringList lines = composeLines();
        if (lines.isEmpty())
            throw ENothingToPrint(stringsText(u"no_print"_s));
        if (PrintsToFile()) {
            // Without a printer every print asks for its file (the preview may have left
            // one behind); a printer's "print to file" has chosen it already.
            QString fileName = m_noPrinter ? QString() : m_printer->outputFileName();
            if (fileName.isEmpty())
                fileName = (ChoosePdfFile ? ChoosePdfFile : askPdfFile)(
                    this, suggestedPdfFile(m_source.NoteFile));
            if (fileName.isEmpty())
                return;
            // The PDF is written beside its target, synced, and renamed over it only
            // when whole; a FIFO or a device is refused, never replaced.
            WriteFileAtomically(fileName, [&](const TChunkSink &sink) {
                TChunkDevice out(sink);
                QPdfWriter pdf(&out);
                pdf.setCreator(u"Vellumtree"_s);
                QPageLayout layout = m_printer->pageLayout();
                // A file has no unprintable border: the margins alone place the text.
                layout.setMinimumMargins(QMarginsF());
                layout.setMargins(QMarginsF());
                pdf.setPageLayout(layout);
                TQtPageDevice device(&pdf);
                DeviceRestorer restorer(*LinePrn, &device);
                runJob(*LinePrn, lines);
            });
        } else {
            runJob(*LinePrn, lines);
        }
        TPrintSettings s;
        s.Option = Scope();
        s.PageNumbers = cbPageNumbers->isChecked();
        s.Font = LinePrn->Font();
        s.MLeft = edtLeftMargin->text();
        s.MRight = edtRightMargin->text();
        s.MTop = edtTopMargin->text();
        s.MBottom = edtBottomMargin->text();
        TRegistryStore store;
        s.Save(store);
    } catch (const EVellumtreeError &e) {
        TMessageService::ShowError(this, e.message());
        return;
    }
    accept();
}

void TfrmPrint::btnPreviewClick()
{
    if (Scope() < 0 || !MarginsValid())
        return;
    const QStringList lines = composeLines();
    try {
        // Nothing to print and margins without room are told before the preview opens.
        PrepareNotesPrint(*LinePrn, job(lines));
    } catch (const EVellumtreeError &e) {
        TMessageService::ShowError(this, e.message());
        return;
    }
    QPrintPreviewDialog preview(m_printer.get(), this);
    preview.setWindowTitle(btnPreview->text().remove(u'&').remove(u"..."_s));
    preview.resize(760, 680);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this, &lines](QPrinter *p) {
        TQtPageDevice device(p);
        // Made without a device: a line printer sets a new device to portrait, and this
        // one is the dialog's own printer, whose orientation Setup chose.
        TLinePrinter printer(nullptr);
        printer.SetDevice(&device);
        SetUpNotesPrinter(printer);
        printer.SetFont(LinePrn->Font());
        try {
            runJob(printer, lines);
        } catch (const EVellumtreeError &e) {
            TMessageService::ShowError(this, e.message());
        }
    });
    if (RunModal)
        RunModal(preview);
    else
        preview.exec();
}

void TfrmPrint::btnSetupClick()
{
    if ((RunSetup ? RunSetup : runPrinterSetup)(this, *m_printer))
        LinePrn->RefreshMargins();
}

void TfrmPrint::btnPrinterFontClick()
{
    // The box shows the font at a size fit for the dialog; the choice starts from the
    // font itself.
    const std::optional<QFont> font = (ChooseFont ? ChooseFont : runFontDialog)(
        this, SettingsGui::toQFont(LinePrn->Font()));
    if (font)
        setPrinterFont(SettingsGui::fromQFont(*font, LinePrn->Font().Color));
}

bool TfrmPrint::FormKeyPress(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        btnPrint->click();
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    default:
        return false;
    }
}

bool TfrmPrint::MarginKeyPress(QLineEdit *box, QChar typed)
{
    // Any number can be typed; it is read when the dialog prints.
    if ((typed >= u'0' && typed <= u'9') || QString(typed) == QLocale().decimalPoint())
        return false;
    box->setText(kDefaultMargin);
    return true;
}

bool TfrmPrint::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        const auto mods = keyEvent->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
        const bool enter = keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter;
        // Enter on a focused button is that button's click: Cancel cancels.
        if (auto *button = qobject_cast<QPushButton *>(watched);
            button && enter && mods == Qt::NoModifier) {
            button->click();
            return true;
        }
        if (mods == Qt::NoModifier && FormKeyPress(keyEvent->key()))
            return true;
        auto *box = qobject_cast<QLineEdit *>(watched);
        const bool marginBox = box == edtLeftMargin || box == edtRightMargin || box == edtTopMargin
            || box == edtBottomMargin;
        const QString text = keyEvent->text();
        // Characters only: Tab moves on, Delete and the arrows edit as usual.
        const bool character = !text.isEmpty() && text != u"\t"_s && text.front() != QChar(0x7F)
            && (text.front() >= u' ' || text.front() == u'\b');
        if (marginBox && mods == Qt::NoModifier && character)
            return MarginKeyPress(box, text.front());
    }
    return QDialog::eventFilter(watched, event);
}

int ShowPrintDialog(QWidget *owner, const TPrintSource &source, int scope)
{
    TfrmPrint dialog(source, owner);
    dialog.ApplyScopeArgument(scope);
    return dialog.Execute();
}
