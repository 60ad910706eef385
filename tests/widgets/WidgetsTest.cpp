// The small widgets of the dialogs, each checked for what it yields: a number, a colour
// value, a folder path.

#include "widgets/BrowseDr.h"
#include "widgets/CBtnForm.h"
#include "widgets/DFSClrBn.h"
#include "widgets/Spin.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

// --- TSpinEdit -------------------------------------------------------------------------

struct SpinTextCase
{
    const char *name;
    const char *text;
    int value;
};

class SpinText : public ::testing::TestWithParam<SpinTextCase>
{
};

TEST_P(SpinText, CountsAsItsIntegerOrZero)
{
    TSpinEdit spin;
    spin.findChild<QLineEdit *>()->setText(QString::fromLatin1(GetParam().text));
    EXPECT_EQ(spin.Value(), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, SpinText,
    ::testing::Values(SpinTextCase { "Plain", "16", 16 }, SpinTextCase { "Plus", "+7", 7 },
        SpinTextCase { "Minus", "-3", -3 }, SpinTextCase { "Empty", "", 0 },
        SpinTextCase { "SignOnly", "-", 0 }, SpinTextCase { "Decimal", "1.5", 0 },
        SpinTextCase { "TwoSigns", "+-2", 0 },
        SpinTextCase { "BeyondInt", "99999999999", 0 },
        SpinTextCase { "Largest", "2147483647", std::numeric_limits<int>::max() }),
    [](const auto &info) { return std::string(info.param.name); });

class SpinEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        spin.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&spin));
        spin.activateWindow();
        spin.setFocus();
        spin.findChild<QLineEdit *>()->clear();
    }

    TSpinEdit spin;
};

TEST_F(SpinEditTest, TypedLettersAreRefused)
{
    QTest::keyClicks(&spin, u"1a2b-x"_s);
    EXPECT_EQ(spin.text(), u"12-"_s);
    EXPECT_EQ(spin.Value(), 0); // "12-" is not an integer
}

TEST_F(SpinEditTest, TypedNumberSurvivesEnterAndLeavingTheBox)
{
    QTest::keyClicks(&spin, u"42"_s);
    QTest::keyClick(&spin, Qt::Key_Enter);
    spin.clearFocus();
    EXPECT_EQ(spin.text(), u"42"_s);
    EXPECT_EQ(spin.Value(), 42);
}

TEST_F(SpinEditTest, ArrowsStepWithoutBoundsAndSaturateAtTheEnds)
{
    spin.SetValue(0);
    QTest::keyClick(&spin, Qt::Key_Down);
    EXPECT_EQ(spin.Value(), -1);
    QTest::keyClick(&spin, Qt::Key_Up);
    QTest::keyClick(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.Value(), 1);
    spin.SetValue(std::numeric_limits<int>::max());
    QTest::keyClick(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.Value(), std::numeric_limits<int>::max());
    // Stepping from a text that is no number starts at 0.
    spin.findChild<QLineEdit *>()->setText(u"abc"_s);
    QTest::keyClick(&spin, Qt::Key_Up);
    EXPECT_EQ(spin.Value(), 1);
}

// --- TDFSColorButtonPalette and TdfsColorButton ----------------------------------------

TEST(ColorPalette, HoldsTwentyDistinctColoursInFourByFive)
{
    const QList<TColor> &colors = TDFSColorButtonPalette::PaletteColors();
    ASSERT_EQ(colors.size(), TDFSColorButtonPalette::Columns * TDFSColorButtonPalette::Rows);
    EXPECT_EQ(QSet<TColor>(colors.begin(), colors.end()).size(), 20);
    TDFSColorButtonPalette palette;
    EXPECT_NE(palette.Swatch(19), nullptr);
    EXPECT_EQ(palette.Swatch(20), nullptr);
    EXPECT_EQ(palette.btnOther->text(), u"&Other"_s);
}

TEST(ColorPalette, SwatchYieldsItsColourValue)
{
    auto *palette = new TDFSColorButtonPalette;
    QSignalSpy chosen(palette, &TDFSColorButtonPalette::ColorSelected);
    palette->Popup(QPoint(10, 10));
    // Red is the tenth colour: third row, second column.
    QTest::mouseClick(palette->Swatch(9), Qt::LeftButton);
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen[0][0].value<TColor>(), TColor(0x0000FF));
    EXPECT_FALSE(palette->isVisible());
}

TEST(ColorPalette, OtherYieldsTheChosenColourStartingFromTheCurrentOne)
{
    QColor offered;
    TDFSColorButtonPalette::ChooseColor = [&offered](QWidget *, QColor &color) {
        offered = color;
        color = QColor(1, 2, 3);
        return true;
    };
    auto *palette = new TDFSColorButtonPalette;
    palette->SetSelectedColor(0x00FF00);
    QSignalSpy chosen(palette, &TDFSColorButtonPalette::ColorSelected);
    palette->Popup(QPoint(10, 10));
    QTest::mouseClick(palette->btnOther, Qt::LeftButton);
    TDFSColorButtonPalette::ChooseColor = nullptr;
    EXPECT_EQ(offered, QColor(0, 255, 0));
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen[0][0].value<TColor>(), TColor(0x030201)); // 0x00BBGGRR
}

TEST(ColorPalette, CancelledChooserYieldsNothing)
{
    TDFSColorButtonPalette::ChooseColor = [](QWidget *, QColor &) { return false; };
    auto *palette = new TDFSColorButtonPalette;
    QSignalSpy chosen(palette, &TDFSColorButtonPalette::ColorSelected);
    palette->Popup(QPoint(10, 10));
    QTest::mouseClick(palette->btnOther, Qt::LeftButton);
    TDFSColorButtonPalette::ChooseColor = nullptr;
    EXPECT_TRUE(chosen.isEmpty());
}

TEST(ColorPalette, CustomSlotsAreWhiteAtFirst)
{
    QColorDialog::setCustomColor(3, Qt::red);
    // Cancel the real chooser as soon as it shows.
    QTimer::singleShot(0, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            qobject_cast<QDialog *>(modal)->reject();
    });
    QColor color(Qt::blue);
    EXPECT_FALSE(ChooseCustomColor(nullptr, color));
    ASSERT_EQ(QColorDialog::customCount(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(QColorDialog::customColor(i), QColor(Qt::white)) << i;
}

TEST(ColorButton, KeepsASystemColourUntilAnotherIsChosen)
{
    QWidget window;
    auto *button = new TdfsColorButton(&window);
    button->SetColor(clWindow);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(button->Color(), clWindow);
    QSignalSpy changed(button, &TdfsColorButton::ColorChanged);

    QTest::mouseClick(button, Qt::LeftButton);
    TDFSColorButtonPalette *palette = button->Palette();
    ASSERT_NE(palette, nullptr);
    EXPECT_TRUE(palette->isVisible());
    // It drops down from the button's bottom-left corner.
    const QPoint corner = button->mapToGlobal(QPoint(0, button->height()));
    EXPECT_LE((palette->geometry().topLeft() - corner).manhattanLength(), 8); // frame aside
    QTest::mouseClick(palette->Swatch(12), Qt::LeftButton);
    EXPECT_EQ(button->Color(), TColor(0xFF0000)); // blue
    EXPECT_EQ(changed.size(), 1);
}

// --- TdfsBrowseDirectoryDlg ------------------------------------------------------------

class BrowseDirectoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath(u"notes/old"_s));
    }
    void TearDown() override { TdfsBrowseDirectoryDlg::RunModal = nullptr; }

    QString path(const QString &name) const { return QDir::toNativeSeparators(dir.filePath(name)); }

    QTemporaryDir dir;
    TdfsBrowseDirectoryDlg browse;
};

TEST_F(BrowseDirectoryTest, YieldsTheChosenFolderAndShowsFoldersOnly)
{
    QString shownDirectory;
    TdfsBrowseDirectoryDlg::RunModal = [&](QFileDialog &dialog) {
        EXPECT_EQ(dialog.windowTitle(), u"Browse"_s);
        EXPECT_EQ(dialog.labelText(QFileDialog::FileName), u"Current selection:"_s);
        EXPECT_EQ(dialog.fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog.testOption(QFileDialog::ShowDirsOnly));
        shownDirectory = dialog.directory().absolutePath();
        dialog.selectFile(dir.filePath(u"notes/old"_s));
        return int(QDialog::Accepted);
    };
    browse.Selection = path(u"notes"_s);
    ASSERT_TRUE(browse.Execute());
    EXPECT_EQ(shownDirectory, dir.filePath(u"notes"_s));
    EXPECT_EQ(browse.Selection, path(u"notes/old"_s));
}

TEST_F(BrowseDirectoryTest, CancelKeepsTheSelection)
{
    TdfsBrowseDirectoryDlg::RunModal = [](QFileDialog &) { return int(QDialog::Rejected); };
    browse.Selection = u"typed, not checked"_s;
    EXPECT_FALSE(browse.Execute());
    EXPECT_EQ(browse.Selection, u"typed, not checked"_s);
}

TEST_F(BrowseDirectoryTest, MissingFolderStartsAtItsNearestExistingParent)
{
    QString shownDirectory;
    TdfsBrowseDirectoryDlg::RunModal = [&](QFileDialog &dialog) {
        shownDirectory = dialog.directory().absolutePath();
        return int(QDialog::Rejected);
    };
    browse.Selection = path(u"notes/gone/deeper"_s);
    browse.Execute();
    EXPECT_EQ(shownDirectory, dir.filePath(u"notes"_s));
    browse.Selection = u"relative/name"_s;
    browse.Execute();
    EXPECT_EQ(shownDirectory, QDir::homePath());
}

TEST_F(BrowseDirectoryTest, CaptionAndStatusAreTranslatableProperties)
{
    browse.setProperty("Caption", u"Durchsuchen"_s);
    browse.setProperty("StatusText", u"Aktuelle Auswahl:"_s);
    QString title, status;
    TdfsBrowseDirectoryDlg::RunModal = [&](QFileDialog &dialog) {
        title = dialog.windowTitle();
        status = dialog.labelText(QFileDialog::FileName);
        return int(QDialog::Rejected);
    };
    browse.Execute();
    EXPECT_EQ(title, u"Durchsuchen"_s);
    EXPECT_EQ(status, u"Aktuelle Auswahl:"_s);
}

} // namespace
