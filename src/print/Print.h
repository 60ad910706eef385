#pragma once

#include "print/LinePrnt.h"
#include "print/PrintJob.h"
#include "settings/SettingsTypes.h"

#include <QDialog>
#include <QFont>

#include <functional>
#include <memory>
#include <optional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QRadioButton;
class TNote;
class TNoteTree;
class TQtPageDevice;

// What the print dialog takes from the main window.
struct TPrintSource
{
    const TNoteTree *Tree = nullptr;
    const TNote *Selected = nullptr;
    QString EditorText;
    int TabSize = 8;
    QString NoteFile; // full path, empty for a document never saved
    TFontDesc EditorFont;
};

// The print dialog: what to print, the printer font, margins in millimetres and page
// numbers; prints the chosen notes through its line printer LinePrn, to the printer
// or, where none is installed, into a PDF file. The choices are stored after a print.
class TfrmPrint final : public QDialog
{
    Q_OBJECT

public:
    TfrmPrint(const TPrintSource &source, QWidget *parent = nullptr);
    ~TfrmPrint() override;

    // 0 keeps the remembered scope; 1 to 4 choose scope 0 to 3.
    void ApplyScopeArgument(int scope);
    // Translates, centres over the owner and runs the dialog; returns its result.
    int Execute();

    void btnPrintClick();
    void btnSetupClick();
    void btnPrinterFontClick();
    void btnPreviewClick();
    // Enter and Esc, seen before the controls.
    bool FormKeyPress(int key);
    // The margin boxes' rule for a typed character; true when it was swallowed.
    bool MarginKeyPress(QLineEdit *box, QChar typed);
    // The margin boxes read as millimetres; with a box that holds no margin, says so,
    // puts the focus there and returns false.
    bool MarginsValid();

    int Scope() const;

    QLabel *lblPrinterFont;
    QLineEdit *edtPrinterFont;
    QPushButton *btnPrinterFont;
    QGroupBox *rgPrintScope;
    QButtonGroup *scopeButtons;
    QGroupBox *gbMargins;
    QLabel *lblLeftMargin;
    QLabel *lblRightMargin;
    QLabel *lblTopMargin;
    QLabel *lblBottomMargin;
    QLineEdit *edtLeftMargin;
    QLineEdit *edtRightMargin;
    QLineEdit *edtTopMargin;
    QLineEdit *edtBottomMargin;
    QCheckBox *cbPageNumbers;
    QPushButton *btnPrint;
    QPushButton *btnPreview;
    QPushButton *btnSetup;
    QPushButton *btnCancel;
    std::unique_ptr<TLinePrinter> LinePrn;

    QPrinter &Printer() { return *m_printer; }
    // True where no printer is installed: Print then writes a PDF file.
    bool PrintsToFile() const;

    // Tests replace what would open another window. ChooseFont presets and runs the
    // main window's font dialog (nothing: cancelled); ChoosePdfFile asks for the PDF
    // to print into, starting at suggested (empty: cancelled); RunSetup runs the printer or page setup and
    // returns true when confirmed; RunModal runs a dialog modally. Empty: the real ones.
    static std::function<std::optional<QFont>(QWidget *owner, const QFont &initial)> ChooseFont;
    static std::function<QString(QWidget *owner, const QString &suggested)> ChoosePdfFile;
    static std::function<bool(QWidget *owner, QPrinter &printer)> RunSetup;
    static std::function<int(QDialog &dialog)> RunModal;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void readSettings();
    void setPrinterFont(const TFontDesc &font);
    QStringList composeLines() const;
    TPrintJob job(const QStringList &lines) const;
    void runJob(TLinePrinter &printer, const QStringList &lines);
    void centreOverParent();

    TPrintSource m_source;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<TQtPageDevice> m_device;
    bool m_noPrinter = false;
};

// File > Print and its kin: a fresh dialog over the main window; scope as for
// ApplyScopeArgument. Returns the dialog's result.
int ShowPrintDialog(QWidget *owner, const TPrintSource &source, int scope);
