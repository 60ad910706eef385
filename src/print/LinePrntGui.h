#pragma once

#include "print/LinePrnt.h"

#include <QDialog>

class QLabel;

// The line printer's progress window: status, job title and page number, on top of
// every window while a job prints. It cannot be resized.
class TPrntProgDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit TPrntProgDlg(QWidget *parent = nullptr);

    QLabel *lblStatus;
    QLabel *lblTitle;
    QLabel *lblPageNumberCaption;
    QLabel *lblPageNumber;
};

// The progress view the line printer drives: shows a TPrntProgDlg centred on the
// screen and repaints it at once on every update; closes it when destroyed.
class TPrntProgView final : public TPrintProgressView
{
public:
    TPrntProgView();
    ~TPrntProgView() override;
    void Update(const QString *status, const QString &title, int pageNumber) override;

    TPrntProgDlg *Dialog() const { return m_dialog; }

private:
    bool exposed() const;

    TPrntProgDlg *m_dialog;
};

// A factory for TLinePrinter::ProgressFactory.
std::unique_ptr<TPrintProgressView> MakePrintProgressView();
