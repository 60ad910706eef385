#include "print/LinePrntGui.h"

#include "settings/LngMan.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {
constexpr int kExposeWaitMs = 1000;
}

TPrntProgDlg::TPrntProgDlg(QWidget *parent)
    : QDialog(
        parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(u"PrntProgDlg"_s);
    setWindowTitle(LanguageManager().GetString(u"print_progress"_s, u"Strings"_s));

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
    lblPageNumberCaption
        = new QLabel(LanguageManager().GetString(u"print_page_number"_s, u"Strings"_s), frame);
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

bool TPrntProgView::exposed() const
{
    const QWindow *window = m_dialog->windowHandle();
    return window && window->isExposed();
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
        // The window system maps the window and asks for its contents a moment later;
        // the first page waits for that (a little), so the window never shows what lies
        // behind it.
        QElapsedTimer waited;
        waited.start();
        while (!exposed() && waited.elapsed() < kExposeWaitMs)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
    // The job runs without returning to the event loop: paint and window system events
    // are served here, while the user's input waits until the job has ended.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_dialog->repaint();
}

std::unique_ptr<TPrintProgressView> MakePrintProgressView()
{
    return std::make_unique<TPrntProgView>();
}
