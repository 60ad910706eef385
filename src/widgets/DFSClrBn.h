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
    // The text of the palette's button for any other colour, so a language file can set it.
    Q_PROPERTY(QString OtherCaption READ OtherCaption WRITE SetOtherCaption)

public:
    explicit TdfsColorButton(QWidget *parent = nullptr);

    TColor Color() const { return m_color; }
    QString OtherCaption() const { return m_otherCaption; }
    void SetOtherCaption(const QString &Caption) { m_otherCaption = Caption; }
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
    QString m_otherCaption;
    QPointer<TDFSColorButtonPalette> m_palette;
};
