#include "widgets/CBtnForm.h"

#include "settings/SettingsGui.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

std::function<bool(QWidget *, QColor &)> TDFSColorButtonPalette::ChooseColor;

namespace {

QIcon swatchIcon(TColor color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(SettingsGui::toQColor(color));
    QPainter painter(&pixmap);
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(0, 0, 15, 15);
    return QIcon(pixmap);
}

} // namespace

bool ChooseCustomColor(QWidget *Owner, QColor &Color)
{
    static bool slotsCleared = false;
    if (!slotsCleared) {
        // Qt would bring back the slots of an earlier run; each run starts white.
        for (int i = 0; i < QColorDialog::customCount(); ++i)
            QColorDialog::setCustomColor(i, Qt::white);
        slotsCleared = true;
    }
    QColorDialog dialog(Color, Owner);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    Color = dialog.selectedColor();
    return Color.isValid();
}

const QList<TColor> &TDFSColorButtonPalette::PaletteColors()
{
    // The named colours of the colour identifiers: black, maroon, green, olive, navy,
    // purple, teal, grey, silver, red, lime, yellow, blue, fuchsia, aqua, white, money
    // green, sky blue, cream and medium grey.
    static const QList<TColor> colors = { 0x000000, 0x000080, 0x008000, 0x008080, 0x800000,
        0x800080, 0x808000, 0x808080, 0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000,
        0xFF00FF, 0xFFFF00, 0xFFFFFF, 0xC0DCC0, 0xF0CAA6, 0xF0FBFF, 0xA4A0A0 };
    return colors;
}

TDFSColorButtonPalette::TDFSColorButtonPalette(QWidget *parent) : QFrame(parent, Qt::Popup)
{
    setObjectName(u"DFSColorButtonPalette"_s);
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_DeleteOnClose);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    auto *grid = new QGridLayout;
    grid->setSpacing(2);
    const QList<TColor> &colors = PaletteColors();
    for (qsizetype i = 0; i < colors.size(); ++i) {
        auto *swatch = new QToolButton(this);
        swatch->setObjectName(u"btnColor%1"_s.arg(i));
        swatch->setIcon(swatchIcon(colors[i]));
        swatch->setIconSize(QSize(16, 16));
        swatch->setAutoRaise(true);
        swatch->setCheckable(true);
        swatch->setAutoExclusive(true);
        swatch->setToolTip(Colors::colorToIdent(colors[i]).mid(2));
        const TColor color = colors[i];
        connect(swatch, &QToolButton::clicked, this, [this, color] {
            close();
            emit ColorSelected(color);
        });
        grid->addWidget(swatch, int(i) / Columns, int(i) % Columns);
        m_swatches.append(swatch);
    }
    layout->addLayout(grid);

    btnOther = new QPushButton(u"&Other"_s, this);
    btnOther->setObjectName(u"btnOther"_s);
    btnOther->setAutoDefault(false);
    connect(btnOther, &QPushButton::clicked, this, &TDFSColorButtonPalette::otherClicked);
    layout->addWidget(btnOther);
}

QToolButton *TDFSColorButtonPalette::Swatch(int Index) const
{
    return m_swatches.value(Index);
}

void TDFSColorButtonPalette::SetSelectedColor(TColor Color)
{
    m_selected = Color;
    const qsizetype index = PaletteColors().indexOf(Color);
    if (index >= 0) {
        m_swatches[index]->setChecked(true);
        m_swatches[index]->setFocus();
    } else {
        m_swatches.first()->setFocus();
    }
}

void TDFSColorButtonPalette::Popup(const QPoint &Anchor)
{
    adjustSize();
    QPoint pos = Anchor;
    // Keep the whole palette on the screen that shows the button.
    if (const QScreen *screen = QGuiApplication::screenAt(Anchor)) {
        const QRect area = screen->availableGeometry();
        pos.setX(qBound(area.left(), pos.x(), qMax(area.left(), area.right() - width())));
        if (pos.y() + height() > area.bottom())
            pos.setY(qMax(area.top(), pos.y() - height()));
    }
    move(pos);
    show();
}

void TDFSColorButtonPalette::otherClicked()
{
    // The pop-up holds the mouse; it has to go before a dialog can take over.
    QWidget *owner = parentWidget();
    hide();
    QColor color = SettingsGui::toQColor(m_selected);
    const bool chosen = ChooseColor ? ChooseColor(owner, color) : ChooseCustomColor(owner, color);
    if (chosen)
        emit ColorSelected(SettingsGui::fromQColor(color));
    close();
}
