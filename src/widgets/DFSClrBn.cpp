#include "widgets/DFSClrBn.h"

#include "settings/SettingsGui.h"
#include "widgets/CBtnForm.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace {

constexpr int kArrowWidth = 12;

} // namespace

TdfsColorButton::TdfsColorButton(QWidget *parent) : QPushButton(parent)
{
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, &TdfsColorButton::DropDown);
}

void TdfsColorButton::SetColor(TColor Color)
{
    if (Color == m_color)
        return;
    m_color = Color;
    update();
    emit ColorChanged(m_color);
}

void TdfsColorButton::DropDown()
{
    if (m_palette)
        return;
    m_palette = new TDFSColorButtonPalette(this);
    m_palette->SetSelectedColor(m_color);
    if (!m_otherCaption.isEmpty())
        m_palette->btnOther->setText(m_otherCaption);
    connect(m_palette, &TDFSColorButtonPalette::ColorSelected, this, &TdfsColorButton::SetColor);
    m_palette->Popup(mapToGlobal(QPoint(0, height())));
}

QSize TdfsColorButton::sizeHint() const
{
    const QSize base = QPushButton::sizeHint();
    return QSize(qMax(base.height() * 2 + kArrowWidth, 56), base.height());
}

QSize TdfsColorButton::minimumSizeHint() const
{
    return sizeHint();
}

void TdfsColorButton::paintEvent(QPaintEvent *event)
{
    QPushButton::paintEvent(event);
    QPainter painter(this);
    const int margin = qMax(5, height() / 5);
    const QRect inner = rect().adjusted(margin, margin, -margin - kArrowWidth, -margin);
    painter.fillRect(inner, SettingsGui::toQColor(m_color));
    painter.setPen(isEnabled() ? palette().color(QPalette::ButtonText)
                               : palette().color(QPalette::Disabled, QPalette::ButtonText));
    painter.drawRect(inner.adjusted(0, 0, -1, -1));

    QStyleOption arrow;
    arrow.initFrom(this);
    arrow.rect = QRect(inner.right() + 3, inner.top(), kArrowWidth - 2, inner.height());
    style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, &painter, this);
}
