#pragma once

#include <QAbstractSpinBox>

// A number box with up and down arrows and no bounds. It takes only "+", "-", the digits
// and the decimal separator; a text that is not an integer (empty, "1.5", "-") counts as 0.
class TSpinEdit final : public QAbstractSpinBox
{
    Q_OBJECT

public:
    explicit TSpinEdit(QWidget *parent = nullptr);

    int Value() const;
    void SetValue(int value);

    void stepBy(int steps) override;
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    StepEnabled stepEnabled() const override;
};
