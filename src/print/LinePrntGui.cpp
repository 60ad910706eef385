#include "print/LinePrntGui.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TPrntProgDlg::TPrntProgDlg(QWidget *parent)
    : QDialog(
        parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(u"PrntProgDlg"_s);
    setWindowTitle(u"Print Progress"_s);

    auto *frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    auto *grid = new QGridLayout(frame);
    lblStatus = new QLabel(frame);
    lblStatus->setObjectName(u"lblStatus"_s);
    lblTitle = new QLabel(frame);
    lblTitle->setObjectName(u"lblTitle"_s);
    // A long path must not make the window wider than the screen.
    lblTitle->setTextFormat(Qt::PlainText);
    lblTitle->setMaximumWidth(360);
    lblPageNumberCaption = new QLabel(u"Page Number:"_s, frame);
    lblPageNumberCaption->setObjectName(u"lblPageNumberCaption"_s);
    lblPageNumber = new QLabel(frame);
    lblPageNumber->setObjectName(u"lblPageNumber"_s);
    grid->addWidget(lblStatus, 0, 0, 1, 2);
    grid->addWidget(lblTitle, 1, 0, 1, 2);
    grid->addWidget(lblPageNumberCaption, 2, 0);
    grid->addWidget(lblPageNumber, 2, 1);
    grid->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    setMinimumWidth(260);
    // The border does not resize the window.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

TPrntProgView::TPrntProgView() : m_dialog(new TPrntProgDlg(QApplication::activeWindow())) { }

TPrntProgView::~TPrntProgView()
{
    m_dialog->close();
    delete m_dialog;
}

void TPrntProgView::Update(const QString *status, const QString &title, int pageNumber)
{
    if (status)
        m_dialog->lblStatus->setText(*status);
    m_dialog->lblTitle->setText(
        m_dialog->lblTitle->fontMetrics().elidedText(title, Qt::ElideMiddle, 360));
    m_dialog->lblPageNumber->setText(QString::number(pageNumber));
    if (!m_dialog->isVisible()) {
        m_dialog->adjustSize();
        if (const QScreen *screen = m_dialog->screen()) {
            QRect frame = m_dialog->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            m_dialog->move(frame.topLeft());
        }
        m_dialog->show();
        // Shown at once, before the first page is laid out: the job runs without
        // returning to the event loop.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    m_dialog->repaint();
}

std::unique_ptr<TPrintProgressView> MakePrintProgressView()
{
    return std::make_unique<TPrntProgView>();
}
