#include "widgets/Spin.h"

#include <QLineEdit>
#include <QLocale>

#include <limits>

using namespace Qt::StringLiterals;

TSpinEdit::TSpinEdit(QWidget *parent) : QAbstractSpinBox(parent)
{
    // Every stored number shows as typed; a half-typed "-" is left for the user to finish.
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    SetValue(0);
}

int TSpinEdit::Value() const
{
    bool ok = false;
    const int value = text().trimmed().toInt(&ok);
    return ok ? value : 0;
}

void TSpinEdit::SetValue(int value)
{
    lineEdit()->setText(QString::number(value));
}

void TSpinEdit::stepBy(int steps)
{
    // Stepping saturates rather than wrapping round at the ends of int.
    const qint64 next = qint64(Value()) + steps;
    SetValue(int(qBound(qint64(std::numeric_limits<int>::min()), next,
                        qint64(std::numeric_limits<int>::max()))));
    selectAll();
}

QValidator::State TSpinEdit::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos);
    const QString decimal = locale().decimalPoint();
    for (const QChar c : input) {
        if (!(c.isDigit() && c.unicode() < 0x80) && c != u'+' && c != u'-'
            && !decimal.contains(c))
            return QValidator::Invalid;
    }
    return QValidator::Acceptable;
}

void TSpinEdit::fixup(QString &input) const
{
    Q_UNUSED(input); // what validate accepts is kept as typed
}

QSize TSpinEdit::sizeHint() const
{
    // Room for six digits and the arrows.
    QSize size = QAbstractSpinBox::sizeHint();
    size.setWidth(qMax(size.width(), fontMetrics().horizontalAdvance(u"000000"_s) + 28));
    return size;
}

QSize TSpinEdit::minimumSizeHint() const
{
    return sizeHint();
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const
{
    return StepUpEnabled | StepDownEnabled;
}
