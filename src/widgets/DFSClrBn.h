#pragma once

#include "settings/SettingsTypes.h"
#include "widgets/CBtnForm.h"

#include <QPointer>
#include <QPushButton>


// A button that shows a colour and, when clicked, drops down a palette to choose another.
// The colour is kept in the stored form (explicit or system colour), so a colour the
// user leaves alone is given back unchanged.
class TdfsColorButton final : public QPushButton
{
    Q_OBJECT

public:
    explicit TdfsColorButton(QWidget *parent = nullptr);

    TColor Color() const { return m_color; }
    void SetColor(TColor Color);

    // The palette while it is open, else null.
    TDFSColorButtonPalette *Palette() const { return m_palette; }
    void DropDown();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void ColorChanged(TColor Color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TColor m_color = clWindow;
    QPointer<TDFSColorButtonPalette> m_palette;
};
