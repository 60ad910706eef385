#include "QtPrinters.h"
#include "notes/Pass.h"
#include "settings/LngMan.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

QString languageText(const QString &key)
{
    return LanguageManager().GetString(key, u"Strings"_s);
}

// Replaces the modal run and the error box for one test: Drive runs on the shown
// dialog; whatever it leaves open afterwards counts as cancelled.
class PasswordDialogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_savedRun = TfrmPassword::RunModal;
        m_savedError = TfrmPassword::ShowError;
        TfrmPassword::ShowError
            = [this](QWidget *, const QString &message) { errors.append(message); };
        TfrmPassword::RunModal = [this](TfrmPassword &dialog) {
            dialog.show();
            dialog.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            if (drive)
                drive(dialog);
            if (dialog.isVisible()) {
                stillOpen = true;
                dialog.reject();
            }
            return dialog.result();
        };
    }
    void TearDown() override
    {
        TfrmPassword::RunModal = m_savedRun;
        TfrmPassword::ShowError = m_savedError;
    }

    static void type(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        // QTest can type ASCII only; other characters arrive as an input method would.
        const bool ascii
            = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; });
        if (ascii)
            QTest::keyClicks(edit, text);
        else
            edit->insert(text);
    }

    std::function<void(TfrmPassword &)> drive;
    QStringList errors;
    bool stillOpen = false;

private:
    std::function<int(TfrmPassword &)> m_savedRun;
    std::function<void(QWidget *, const QString &)> m_savedError;
};

struct NewPasswordCase
{
    const char *name;
    QString password;
    QString verify;
    // Empty: accepted; else the message the refusal shows.
    std::function<QString()> refusal;
};

class NewPasswordTest : public PasswordDialogTest,
                        public testing::WithParamInterface<NewPasswordCase>
{
};

TEST_P(NewPasswordTest, AcceptsOrRefusesWithTheRightMessage)
{
    const NewPasswordCase &c = GetParam();
    drive = [&](TfrmPassword &dialog) {
        type(dialog.edtPassword, c.password);
        type(dialog.edtVerify, c.verify);
        QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
        if (c.refusal) {
            // A refusal keeps the dialog open with what the user typed.
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_EQ(dialog.edtPassword->text(), c.password);
            EXPECT_EQ(dialog.edtVerify->text(), c.verify);
        }
    };
    TfrmPassword dialog;
    const bool confirmed = dialog.AskNewPassword();
    if (!c.refusal) {
        EXPECT_TRUE(confirmed);
        EXPECT_TRUE(errors.isEmpty());
        EXPECT_EQ(dialog.Password, c.password);
        EXPECT_TRUE(dialog.DeleteOriginal);
    } else {
        EXPECT_FALSE(confirmed);
        EXPECT_TRUE(stillOpen);
        ASSERT_EQ(errors.size(), 1);
        EXPECT_EQ(errors[0], c.refusal());
        EXPECT_FALSE(errors[0].isEmpty());
        EXPECT_TRUE(dialog.Password.isEmpty());
    }
}

QString noMatch()
{
    return languageText(u"no_match"_s);
}
QString tooShort()
{
    return languageText(u"short_password"_s);
}
QString weak()
{
    return languageText(u"weak_password"_s);
}

INSTANTIATE_TEST_SUITE_P(PasswordDialog, NewPasswordTest,
    testing::Values(NewPasswordCase { "FourCharactersAccepted", u"abcd"_s, u"abcd"_s, {} },
        NewPasswordCase { "MatchCheckedBeforeLength", u"ab"_s, u"cd"_s, noMatch },
        NewPasswordCase { "VerifyComparedExactly", u"secret"_s, u"Secret"_s, noMatch },
        NewPasswordCase { "ThreeCharactersRefused", u"abc"_s, u"abc"_s, tooShort },
        NewPasswordCase { "EmptyRefused", QString(), QString(), tooShort },
        // Two emoji are four UTF-16 units but only two characters.
        NewPasswordCase { "LengthCountsCharacters", u"\U0001F600\U0001F601"_s,
            u"\U0001F600\U0001F601"_s, tooShort },
        // Its refusal comes from the language file like the others.
        NewPasswordCase { "CipherInitialKeyRefusedWithTheLanguageText", u"quokka"_s,
            u"quokka"_s, weak },
        NewPasswordCase { "InitialKeyWithOtherCaseAccepted", u"Quokka"_s, u"Quokka"_s, {} }),
    [](const testing::TestParamInfo<NewPasswordCase> &info) { return info.param.name; });

TEST_F(PasswordDialogTest, SetModeShowsEveryControlAndReportsTheBox)
{
    drive = [&](TfrmPassword &dialog) {
        EXPECT_TRUE(dialog.edtVerify->isVisible());
        EXPECT_TRUE(dialog.lblVerify->isVisible());
        EXPECT_TRUE(dialog.cbDeleteOriginal->isVisible());
        EXPECT_EQ(dialog.windowTitle(), u"Enter password"_s);
        EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_EQ(dialog.edtPassword->echoMode(), QLineEdit::Password);
        EXPECT_EQ(dialog.lblPassword->buddy(), dialog.edtPassword);
        dialog.cbDeleteOriginal->setChecked(false);
        type(dialog.edtPassword, u"long enough"_s);
        type(dialog.edtVerify, u"long enough"_s);
        QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
    };
    TfrmPassword dialog;
    ASSERT_TRUE(dialog.AskNewPassword());
    EXPECT_FALSE(dialog.DeleteOriginal);
}

// The strong format is preselected; choosing the compatible one says in one line what
// it is worth, and the choice is the dialog's result.
TEST_F(PasswordDialogTest, SetModeOffersTheStrongFormatFirst)
{
    drive = [&](TfrmPassword &d) {
        EXPECT_TRUE(d.rbStrong->isVisible() && d.rbStrong->isChecked());
        EXPECT_TRUE(d.rbCompatible->isVisible());
        EXPECT_FALSE(d.lblWeakFormat->isVisible());
        EXPECT_EQ(d.rbStrong->text(), languageText(u"pass_strong"_s));
        EXPECT_TRUE(d.rbCompatible->text().contains(u".vle"_s));
        QTest::mouseClick(d.rbCompatible, Qt::LeftButton,
                          {}, QPoint(8, d.rbCompatible->height() / 2));
        EXPECT_TRUE(d.rbCompatible->isChecked());
        EXPECT_TRUE(d.lblWeakFormat->isVisible());
        EXPECT_EQ(d.lblWeakFormat->text(), languageText(u"pass_weak_format"_s));
        EXPECT_FALSE(d.lblWeakFormat->text().isEmpty());
        // The note fits above the buttons.
        EXPECT_LE(d.lblWeakFormat->geometry().bottom(), d.btnOk->y());
        type(d.edtPassword, u"long enough"_s);
        type(d.edtVerify, u"long enough"_s);
        QTest::mouseClick(d.btnOk, Qt::LeftButton);
    };
    TfrmPassword dialog;
    ASSERT_TRUE(dialog.AskNewPassword());
    EXPECT_EQ(dialog.Format, TArchive::TEncipherment::Compatible);
}

TEST_F(PasswordDialogTest, EnterModeLayoutAndCaption)
{
    TfrmPassword dialog;
    const int height = dialog.height();
    const int okTop = dialog.btnOk->y();
    const int cancelTop = dialog.btnCancel->y();
    dialog.FileName = u"/some/folder/Secret notes.vle"_s;
    drive = [&](TfrmPassword &d) {
        EXPECT_FALSE(d.edtVerify->isVisible());
        EXPECT_FALSE(d.lblVerify->isVisible());
        EXPECT_FALSE(d.cbDeleteOriginal->isVisible());
        EXPECT_FALSE(d.rbStrong->isVisible());
        EXPECT_FALSE(d.rbCompatible->isVisible());
        EXPECT_FALSE(d.lblWeakFormat->isVisible());
        // The rows below the password go, and the buttons move up by as much.
        EXPECT_LT(d.height(), height);
        EXPECT_EQ(height - d.height(), okTop - d.btnOk->y());
        EXPECT_EQ(d.btnCancel->y() - d.btnOk->y(), cancelTop - okTop);
        EXPECT_GT(d.btnOk->y(), d.edtPassword->geometry().bottom());
        // The buttons stay inside the smaller form.
        EXPECT_LE(d.btnOk->geometry().bottom(), d.height());
        EXPECT_EQ(
            d.windowTitle(), languageText(u"enter_pass"_s).replace(u"%s"_s, u"Secret notes.vle"_s));
        EXPECT_TRUE(d.windowTitle().contains(u"Secret notes.vle"_s));
        EXPECT_FALSE(d.windowTitle().contains(u"folder"_s));
        type(d.edtPassword, u"abc"_s);
        QTest::mouseClick(d.btnOk, Qt::LeftButton);
    };
    ASSERT_TRUE(dialog.AskPassword());
    // Short passwords are any file's business when they are entered, not set.
    EXPECT_EQ(dialog.Password, u"abc"_s);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(PasswordDialogTest, EnterModeAcceptsEmptyPasswordOnEnter)
{
    drive = [&](TfrmPassword &d) { QTest::keyClick(d.edtPassword, Qt::Key_Return); };
    TfrmPassword dialog;
    EXPECT_TRUE(dialog.AskPassword());
    EXPECT_TRUE(dialog.Password.isEmpty());
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(PasswordDialogTest, SetModeEnterMovesToVerifyThenPressesOk)
{
    drive = [&](TfrmPassword &d) {
        type(d.edtPassword, u"hunter22"_s);
        QTest::keyClick(d.edtPassword, Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
        EXPECT_TRUE(d.edtVerify->hasFocus());
        QTest::keyClicks(d.edtVerify, u"hunter22"_s);
        QTest::keyClick(d.edtVerify, Qt::Key_Enter, Qt::KeypadModifier);
    };
    TfrmPassword dialog;
    ASSERT_TRUE(dialog.AskNewPassword());
    EXPECT_EQ(dialog.Password, u"hunter22"_s);
}

TEST_F(PasswordDialogTest, SetModeEnterOnCheckBoxPressesOkAndStillChecks)
{
    drive = [&](TfrmPassword &d) {
        type(d.edtPassword, u"abcd"_s);
        type(d.edtVerify, u"abce"_s);
        d.cbDeleteOriginal->setFocus();
        QTest::keyClick(d.cbDeleteOriginal, Qt::Key_Return);
    };
    TfrmPassword dialog;
    EXPECT_FALSE(dialog.AskNewPassword());
    EXPECT_EQ(errors, QStringList { noMatch() });
}

struct CancelCase
{
    const char *name;
    bool enterMode;
    bool useEscape;
};

class CancelTest : public PasswordDialogTest, public testing::WithParamInterface<CancelCase>
{
};

TEST_P(CancelTest, LeavesPasswordEmpty)
{
    const CancelCase &c = GetParam();
    drive = [&](TfrmPassword &d) {
        type(d.edtPassword, u"typed but cancelled"_s);
        if (!c.enterMode)
            type(d.edtVerify, u"typed but cancelled"_s);
        if (c.useEscape)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        else
            QTest::mouseClick(d.btnCancel, Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
    };
    TfrmPassword dialog;
    const bool confirmed = c.enterMode ? dialog.AskPassword() : dialog.AskNewPassword();
    EXPECT_FALSE(confirmed);
    EXPECT_FALSE(stillOpen);
    EXPECT_TRUE(dialog.Password.isEmpty());
    EXPECT_FALSE(dialog.DeleteOriginal);
    EXPECT_TRUE(errors.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(PasswordDialog, CancelTest,
    testing::Values(CancelCase { "SetModeEscape", false, true },
        CancelCase { "SetModeCancelButton", false, false },
        CancelCase { "EnterModeEscape", true, true },
        CancelCase { "EnterModeCancelButton", true, false }),
    [](const testing::TestParamInfo<CancelCase> &info) { return info.param.name; });

TEST_F(PasswordDialogTest, CentredOverTheMainWindow)
{
    QWidget main;
    main.setGeometry(301, 207, 625, 487);
    main.show();
    std::optional<QPoint> shownAt;
    drive = [&](TfrmPassword &d) { shownAt = d.pos(); };
    TfrmPassword dialog(&main);
    dialog.AskPassword();
    ASSERT_TRUE(shownAt.has_value());
    const QRect m = main.geometry();
    EXPECT_EQ(shownAt->x(), m.left() + m.width() / 2 - dialog.width() / 2);
    EXPECT_EQ(shownAt->y(), m.top() + m.height() / 2 - dialog.height() / 2);
}

} // namespace
