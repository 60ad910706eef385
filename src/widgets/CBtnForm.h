#pragma once

#include "settings/SettingsTypes.h"

#include <QColor>
#include <QFrame>
#include <QList>

#include <functional>

class QPushButton;
class QToolButton;

// The pop-up of the colour button: 20 colours in four columns and five rows, and an
// "&Other" button that opens a colour chooser for any colour.
class TDFSColorButtonPalette final : public QFrame
{
    Q_OBJECT

public:
    static constexpr int Columns = 4;
    static constexpr int Rows = 5;

    explicit TDFSColorButtonPalette(QWidget *parent = nullptr);

    // The colours of the swatches, row by row.
    static const QList<TColor> &PaletteColors();

    // The swatch showing the colour at Index, for keyboard focus and tests.
    QToolButton *Swatch(int Index) const;
    QPushButton *btnOther = nullptr;

    // Marks the swatch of Color, if the palette has it.
    void SetSelectedColor(TColor Color);

    // Opens below-left of Anchor (a screen point) and takes the keyboard.
    void Popup(const QPoint &Anchor);

    // Tests replace the colour chooser: true with Color set, or false when cancelled.
    static std::function<bool(QWidget *Owner, QColor &Color)> ChooseColor;

signals:
    void ColorSelected(TColor Color);

private:
    void otherClicked();

    QList<QToolButton *> m_swatches;
    TColor m_selected = 0xFFFFFF;
};

// Runs the colour chooser with its 16 custom slots (white at the first use in a run).
bool ChooseCustomColor(QWidget *Owner, QColor &Color);
