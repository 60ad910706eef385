// Under a dark palette no text is drawn dark on dark or light on light: the text areas'
// default colours follow the palette, the colours a user chose stay, and the about box,
// the colour buttons and the print preview read as well. Measured on what is drawn.

#include "app/MainWindowFixture.h"
#include "print/Print.h"
#include "settings/Options.h"
#include "settings/SettingsGui.h"
#include "widgets/About.h"
#include "widgets/DFSClrBn.h"

#include <QHash>
#include <QLabel>
#include <QPrintPreviewDialog>
#include <QStyleFactory>
#include <QToolBar>

using namespace Qt::StringLiterals;

namespace {

QPalette darkPalette()
{
    QPalette p;
    const QColor window(53, 53, 53), base(35, 35, 35), text(230, 230, 230);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Link, QColor(42, 130, 218));
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    p.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    p.setColor(QPalette::Light, QColor(90, 90, 90));
    p.setColor(QPalette::Midlight, QColor(70, 70, 70));
    p.setColor(QPalette::Mid, QColor(45, 45, 45));
    p.setColor(QPalette::Dark, QColor(25, 25, 25));
    p.setColor(QPalette::Shadow, Qt::black);
    return p;
}

double contrast(const QColor &a, const QColor &b)
{
    return Colors::contrastRatio(SettingsGui::fromQColor(a), SettingsGui::fromQColor(b));
}

// The contrast of what is drawn in an area holding text: its most frequent colour (the
// background) against the pixel that differs from it most in luminance (the strokes).
double drawnContrast(const QPixmap &drawn)
{
    const QImage image = drawn.toImage().convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    }
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrast(QColor(background), QColor(it.key())));
    return best;
}

// Drawn text must clear this; the strokes' cores reach the full colour, so antialiased
// edges do not pull a readable text under it.
constexpr double kReadable = 4.5;

class DarkPaletteTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        m_style = QApplication::style()->name();
        m_palette = QApplication::palette();
        QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        QApplication::setPalette(m_palette);
        QApplication::setStyle(QStyleFactory::create(m_style));
    }
    void adjust(TSettings &settings) override
    {
        if (m_adjust)
            m_adjust(settings);
    }

    // A document of two notes with text, the first selected.
    void startWithText()
    {
        start([](TNoteTree &tree) {
            tree.AddNote(nullptr, u"Shopping list"_s, imLastChild, u"Bread, milk and tea"_s);
            tree.AddNote(nullptr, u"Holiday plans"_s, imLastChild, u"Sea"_s);
        });
        window->resize(700, 500);
        QApplication::processEvents();
    }

    // The editor's drawn text, and the tree's unselected row.
    double editorContrast() const { return drawnContrast(window->Notes->viewport()->grab()); }
    double treeRowContrast() const
    {
        const QModelIndex second
            = window->TopicTreeModel->IndexOf(note(u"Holiday plans"_s));
        const QRect row = window->TopicTree->visualRect(second);
        return drawnContrast(window->TopicTree->viewport()->grab(row));
    }

    std::function<void(TSettings &)> m_adjust;
    QString m_style;
    QPalette m_palette;
};

TEST_F(DarkPaletteTest, DefaultColoursFollowTheDarkPalette)
{
    QApplication::setPalette(darkPalette());
    startWithText();
    const QPalette editor = window->Notes->palette();
    EXPECT_EQ(editor.color(QPalette::Base), darkPalette().color(QPalette::Base));
    EXPECT_EQ(editor.color(QPalette::Text), darkPalette().color(QPalette::Text));
    EXPECT_GE(editorContrast(), kReadable);
    EXPECT_EQ(window->TopicTree->palette().color(QPalette::Base),
              darkPalette().color(QPalette::Base));
    EXPECT_GE(treeRowContrast(), kReadable);
}

TEST_F(DarkPaletteTest, ASwitchToDarkWhileRunningIsFollowed)
{
    startWithText();
    const QColor lightBase = window->Notes->palette().color(QPalette::Base);
    QApplication::setPalette(darkPalette());
    QApplication::processEvents();
    EXPECT_NE(window->Notes->palette().color(QPalette::Base), lightBase);
    EXPECT_EQ(window->Notes->palette().color(QPalette::Base), darkPalette().color(QPalette::Base));
    EXPECT_EQ(window->TopicTree->palette().color(QPalette::Text),
              darkPalette().color(QPalette::Text));
    EXPECT_GE(editorContrast(), kReadable);
    EXPECT_GE(treeRowContrast(), kReadable);
}

TEST_F(DarkPaletteTest, ChosenColoursStayAndTheDefaultsGiveWay)
{
    // A white editor chosen under a light theme, with the default text colour; a tree
    // whose both colours the user chose.
    m_adjust = [](TSettings &settings) {
        settings.EditorColor = 0xFFFFFF;
        settings.EditorFont.Color = clWindowText;
        settings.TreeColor = 0x400000; // dark blue
        settings.TreeFont.Color = 0x00FFFF; // yellow
    };
    StoreQuietSettings([this](TSettings &settings) { adjust(settings); });
    QApplication::setPalette(darkPalette());
    startWithText();
    const QPalette editor = window->Notes->palette();
    EXPECT_EQ(editor.color(QPalette::Base), QColor(255, 255, 255));
    EXPECT_GE(contrast(editor.color(QPalette::Base), editor.color(QPalette::Text)), kReadable)
        << editor.color(QPalette::Text).name().toStdString();
    EXPECT_GE(editorContrast(), kReadable);
    const QPalette tree = window->TopicTree->palette();
    EXPECT_EQ(tree.color(QPalette::Base), QColor(0, 0, 0x40));
    EXPECT_EQ(tree.color(QPalette::Text), QColor(255, 255, 0));
}

TEST_F(DarkPaletteTest, AboutBoxColourButtonsAndPreviewRead)
{
    QApplication::setPalette(darkPalette());
    startWithText();

    int checked = 0;
    TfrmAbout::RunModal = [&](TfrmAbout &box) {
        box.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&box));
        for (QLabel *label : {box.lblInformation, box.lblEmail, box.lblWebsite}) {
            EXPECT_GE(drawnContrast(box.grab(label->geometry())), kReadable)
                << label->objectName().toStdString();
            ++checked;
        }
        return int(QDialog::Accepted);
    };
    command("miHelpAbout")->trigger();
    TfrmAbout::RunModal = nullptr;

    // The colour buttons: the swatch's frame stands out from a swatch of the palette's
    // own dark colour and from the button's face.
    TfrmOptions::RunModal = [&](TfrmOptions &dialog) {
        dialog.pcOptions->setCurrentWidget(dialog.tsAppearance);
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        for (TdfsColorButton *button : {dialog.cbtnEditorColor, dialog.cbtnTreeColor}) {
            EXPECT_GE(drawnContrast(button->grab()), kReadable)
                << button->objectName().toStdString();
            ++checked;
        }
        return int(QDialog::Rejected);
    };
    command("miSettingsOptions")->trigger();
    TfrmOptions::RunModal = nullptr;

    // The print preview's chrome: its toolbar's page number box.
    TfrmPrint::RunModal = [&](QDialog &dialog) {
        if (auto *preview = qobject_cast<QPrintPreviewDialog *>(&dialog)) {
            preview->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(preview));
            QApplication::processEvents();
            const QList<QLineEdit *> boxes = preview->findChildren<QLineEdit *>();
            EXPECT_FALSE(boxes.isEmpty());
            for (QLineEdit *box : boxes) {
                if (box->isVisible() && !box->text().isEmpty()) {
                    EXPECT_GE(drawnContrast(box->grab()), kReadable);
                    ++checked;
                }
            }
            return int(QDialog::Rejected);
        }
        auto &print = static_cast<TfrmPrint &>(dialog);
        print.btnPreviewClick();
        return int(QDialog::Rejected);
    };
    command("miFilePrint")->trigger();
    TfrmPrint::RunModal = [](QDialog &dialog) { return dialog.exec(); };
    EXPECT_GE(checked, 6);
}

} // namespace
