#include "widgets/About.h"

#include "settings/LngMan.h"
#include "settings/LngManGui.h"
#include "settings/Settings.h"
#include "settings/SettingsGui.h"
#include "widgets/IcoList.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

using namespace Qt::StringLiterals;

std::function<int(TfrmAbout &)> TfrmAbout::RunModal;
TShellServices TfrmAbout::Shell;

namespace {

const QColor kLinkColor(0, 0, 217);
const QColor kGrey(128, 128, 128);
const QColor kSilver(192, 192, 192);
constexpr int kBandRight = 50;
const QRect kLogoSquare(16, 16, 64, 64);

QLabel *linkLabel(QWidget *parent, const char *name, const QString &text, const QString &hint)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setToolTip(hint);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    return label;
}

QColor readable(const QColor &color, const QColor &background)
{
    return SettingsGui::toQColor(Colors::readableAgainst(SettingsGui::fromQColor(color),
                                                         SettingsGui::fromQColor(background)));
}

} // namespace

TfrmAbout::TfrmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"frmAbout"_s);
    setWindowTitle(u"About"_s);
    setFont(QFont(u"Tahoma"_s, 8));
    setFixedSize(ClientWidth, ClientHeight);
    // The box is a sheet of the palette's paper (white under a light theme): its labels
    // take the text colour that goes with it.
    setBackgroundRole(QPalette::Base);

    // The text column right of the logo's frame.
    const int left = kLogoSquare.right() + 12;
    const int width = ClientWidth - left - 8;
    lblInformation = new QLabel(this);
    lblInformation->setObjectName(u"lblInformation"_s);
    lblInformation->setAlignment(Qt::AlignCenter);
    lblInformation->setGeometry(left, 12, width, 72);

    lblEmail = linkLabel(this, "lblEmail", u"vellumtree@example.org"_s, u"Send me an e-mail"_s);
    lblEmail->setGeometry(left, 90, width, 18);
    lblWebsite = linkLabel(this, "lblWebsite", u"https://vellumtree.example.org"_s,
                           u"Check for new version"_s);
    lblWebsite->setGeometry(left, 110, width, 18);
    // The links take the keyboard too: Tab reaches them, Enter or Space opens them.
    for (QLabel *link : { lblEmail, lblWebsite }) {
        link->installEventFilter(this);
        link->setFocusPolicy(Qt::StrongFocus);
    }
    applyLinkColors();

    btnOk = new QPushButton(u"OK"_s, this);
    btnOk->setObjectName(u"btnOk"_s);
    btnOk->setDefault(true);
    const QSize ok = btnOk->sizeHint().expandedTo(QSize(75, 25));
    btnOk->setGeometry(left + (width - ok.width()) / 2, 140, ok.width(), ok.height());
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
}

QString TfrmAbout::InformationText(const QString &Format, const QString &Version)
{
    return FormatString(FormatString(Format, Version), CreditText()).replace(u'|', u'\n');
}

QString TfrmAbout::CreditText()
{
    return LanguageManager().GetString(u"about_credit"_s, u"Strings"_s);
}

void TfrmAbout::FormShow()
{
    lblEmail->setCursor(Qt::PointingHandCursor);
    lblWebsite->setCursor(Qt::PointingHandCursor);
    TranslateForm(this, false);
    const QString format = LanguageManager().GetString(u"lblInformation.Caption"_s, u"frmAbout"_s);
    lblInformation->setText(InformationText(format, Settings ? Settings->GetVersion() : QString()));
    m_logo = Logo();
    // The links come first in the Tab chain; Enter on opening still means OK.
    btnOk->setFocus();
}

void TfrmAbout::showEvent(QShowEvent *event)
{
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
    QDialog::showEvent(event);
}

void TfrmAbout::applyLinkColors()
{
    // The links' own blue while it reads on the paper; a dark theme's paper takes the
    // palette's link colour, or plain text colour when even that does not read.
    const QColor paper = palette().color(QPalette::Base);
    QColor link = kLinkColor;
    if (Colors::contrastRatio(SettingsGui::fromQColor(link), SettingsGui::fromQColor(paper))
        < Colors::MinimumTextContrast)
        link = readable(palette().color(QPalette::Link), paper);
    for (QLabel *label : { lblEmail, lblWebsite }) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Text, link);
        palette.setColor(QPalette::WindowText, link);
        label->setPalette(palette);
    }
}

void TfrmAbout::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // Also sent while the constructor sets the background role, before the links exist.
    if (event->type() == QEvent::PaletteChange && lblWebsite)
        applyLinkColors();
}

void TfrmAbout::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    const int h = height();
    const QColor ink = palette().color(QPalette::Text);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(ink);
    painter.drawRect(0, 0, width() - 1, h - 1);

    painter.fillRect(QRect(QPoint(1, 1), QPoint(kBandRight - 1, h - 2)), kGrey);
    painter.drawLine(kBandRight, 0, kBandRight, h - 2);

    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(kLogoSquare, m_logo);
    QRect frame = kLogoSquare.adjusted(-1, -1, 1, 1);
    DrawFrame3D(painter, frame, kSilver, 1, kGrey);
    painter.setPen(ink);
    painter.drawRect(kLogoSquare.adjusted(-3, -3, 2, 2));
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *event)
{
    auto *label = qobject_cast<QLabel *>(watched);
    if (!label)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            lblEmailClick(label);
            return true;
        }
        break;
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            lblEmailClick(label);
            return true;
        }
        break;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        // A label draws no focus of its own: a frame shows which link Enter opens.
        label->setFrameShape(label->hasFocus() ? QFrame::Box : QFrame::NoFrame);
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::lblEmailClick(QLabel *Sender)
{
    QString target = Sender->text();
    if (target.contains(u'@'))
        target.prepend(u"mailto:"_s);
    ShellOpen(target, false, Shell.Execute ? Shell : DefaultShellServices());
}

int TfrmAbout::Execute(QWidget *Owner)
{
    TfrmAbout dialog(Owner);
    CentreOverOwner(&dialog, Owner);
    return RunModal ? RunModal(dialog) : dialog.exec();
}
