#include "app/MessageService.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScopeGuard>

#include <cstdio>

using namespace Qt::StringLiterals;

std::function<QMessageBox::StandardButton(const TMessageRequest &)> TMessageService::Answer;
bool TMessageService::Unattended = false;

namespace {
int showing = 0;
}

bool TMessageService::IsShowing()
{
    return showing > 0;
}

QMessageBox::StandardButton TMessageService::Show(QWidget *owner, const TMessageRequest &request)
{
    ++showing;
    const auto shown = qScopeGuard([] { --showing; });
    if (Answer)
        return Answer(request);
    if (Unattended) {
        std::fprintf(stderr, "%s\n", request.Text.toLocal8Bit().constData());
        for (const auto safe : {QMessageBox::Cancel, QMessageBox::No})
            if (request.Buttons.testFlag(safe))
                return safe;
        return QMessageBox::Ok;
    }
    // A question asked in the middle of a long operation shows the normal cursor.
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    const auto restore = qScopeGuard([waiting] {
        if (waiting)
            QGuiApplication::restoreOverrideCursor();
    });
    QMessageBox box(request.Icon, u"Vellumtree"_s, request.Text, request.Buttons, owner);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (request.DefaultButton != QMessageBox::NoButton)
        box.setDefaultButton(request.DefaultButton);
    for (const auto &[button, text] : request.ButtonTexts) {
        if (QAbstractButton *shown = box.button(button))
            shown->setText(text);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton TMessageService::Ask(QWidget *owner, const QString &text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton,
                                                 QMessageBox::Icon icon)
{
    return Show(owner, {text, icon, buttons, defaultButton});
}

void TMessageService::Notify(QWidget *owner, const QString &text, QMessageBox::Icon icon)
{
    Show(owner, {text, icon, QMessageBox::Ok, QMessageBox::Ok});
}

void TMessageService::ShowError(QWidget *owner, const QString &text)
{
    Notify(owner, text, QMessageBox::Critical);
}
