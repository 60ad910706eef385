// The about box: its text from the language file, its drawing, its links.

#include "settings/LngMan.h"
#include "settings/Settings.h"
#include "widgets/About.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class AboutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lng.isValid());
        writeLanguage(u"English.lng"_s, QFile(QDir(QStringLiteral(VT_LNG_DIR)).filePath(u"English.lng"_s)));
        settings.SetDefaults();
        Settings = &settings;
        LanguageManager().SetFolder(lng.path());
        LanguageManager().SetLanguage(u"English.lng"_s);
        TfrmAbout::Shell.Execute = [this](const TShellRequest &request) {
            opened << request.Url.toString();
            return 33;
        };
    }

    void TearDown() override
    {
        TfrmAbout::Shell = {};
        Settings = nullptr;
        StartLanguageManager(LanguageManager(), LanguageFolder(), u"English.lng"_s);
    }

    void writeLanguage(const QString &name, QFile source)
    {
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        QFile target(QDir(lng.path()).filePath(name));
        ASSERT_TRUE(target.open(QIODevice::WriteOnly));
        target.write(source.readAll());
    }

    QTemporaryDir lng;
    TSettings settings { u"Software\\Vellumtree\\"_s, u"1.57"_s };
    QStringList opened;
};

TEST_F(AboutTest, IsABorderlessBoxOnTopOfTheDesignedSize)
{
    TfrmAbout about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_TRUE(about.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(about.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(about.size(), QSize(323, 178));
    EXPECT_EQ(about.font().family(), u"Tahoma"_s);
    EXPECT_EQ(about.font().pointSize(), 8);
    EXPECT_TRUE(about.btnOk->isDefault());
    EXPECT_EQ(about.lblEmail->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(about.lblWebsite->palette().color(QPalette::WindowText), QColor(0, 0, 217));
    EXPECT_TRUE(about.lblWebsite->font().underline());
    EXPECT_EQ(about.lblEmail->toolTip(), u"Send me an e-mail"_s);
    // Every text fits the box and no two overlap.
    const QList<QWidget *> parts = { about.lblInformation, about.lblEmail, about.lblWebsite,
        about.btnOk };
    for (qsizetype i = 0; i < parts.size(); ++i) {
        EXPECT_TRUE(about.rect().contains(parts[i]->geometry())) << i;
        EXPECT_GE(parts[i]->width(), parts[i]->sizeHint().width()) << i;
        EXPECT_GE(parts[i]->height(), parts[i]->sizeHint().height()) << i;
        EXPECT_GE(parts[i]->geometry().left(), 84) << i; // right of the logo's frame
        for (qsizetype j = i + 1; j < parts.size(); ++j)
            EXPECT_FALSE(parts[i]->geometry().intersects(parts[j]->geometry())) << i << j;
    }
}

TEST_F(AboutTest, InformationTextHasALineForEveryBar)
{
    QFile custom(lng.filePath(u"Custom.lng"_s));
    ASSERT_TRUE(custom.open(QIODevice::WriteOnly));
    custom.write("[frmAbout]\nlblInformation.Caption=Version %s|second line|%s\n");
    custom.close();
    LanguageManager().SetLanguage(u"Custom.lng"_s);
    TfrmAbout about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(about.lblInformation->text(),
        u"Version 1.57\nsecond line\n"_s + TfrmAbout::CreditText());
    EXPECT_EQ(about.lblInformation->text().split(u'\n').size(), 3);
}

TEST_F(AboutTest, CreditLineComesFromTheLanguageFile)
{
    QFile custom(lng.filePath(u"Custom.lng"_s));
    ASSERT_TRUE(custom.open(QIODevice::WriteOnly));
    custom.write("[frmAbout]\nlblInformation.Caption=Version %s|%s\n"
                 "[Strings]\nabout_credit=Ein Werk des Projekts\n");
    custom.close();
    LanguageManager().SetLanguage(u"Custom.lng"_s);
    TfrmAbout about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(about.lblInformation->text(), u"Version 1.57\nEin Werk des Projekts"_s);
}

TEST_F(AboutTest, PaintsTheBandTheFramesAndTheLogo)
{
    TfrmAbout about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    const QImage image = about.grab().toImage();
    ASSERT_EQ(image.size(), QSize(323, 178));
    const QColor black(0, 0, 0), white(255, 255, 255), grey(128, 128, 128), silver(192, 192, 192);
    const struct {
        int x, y;
        QColor color;
        const char *what;
    } probes[] = {
        { 0, 0, black, "outer frame, top left" },
        { 322, 177, black, "outer frame, bottom right" },
        { 200, 0, black, "outer frame, top" },
        { 322, 60, black, "outer frame, right" },
        { 1, 1, grey, "band, first pixel" },
        { 49, 176, grey, "band, last pixel" },
        { 25, 120, grey, "band" },
        { 50, 120, black, "band line" },
        { 50, 1, black, "band line, top" },
        { 51, 120, white, "right of the band" },
        { 318, 174, white, "background" },
        { 13, 40, black, "logo frame, left" },
        { 82, 40, black, "logo frame, right" },
        { 40, 13, black, "logo frame, top" },
        { 40, 82, black, "logo frame, bottom" },
        { 14, 40, grey, "between the frames, on the band" },
        { 81, 40, white, "between the frames, off the band" },
        { 15, 40, silver, "3D frame, left" },
        { 40, 15, silver, "3D frame, top" },
        { 80, 40, grey, "3D frame, right" },
        { 40, 80, grey, "3D frame, bottom" },
    };
    for (const auto &p : probes)
        EXPECT_EQ(image.pixelColor(p.x, p.y), p.color) << p.what;
    // The logo itself is drawn inside the frames.
    int drawn = 0;
    for (int y = 16; y < 80; ++y) {
        for (int x = 16; x < 80; ++x)
            drawn += image.pixelColor(x, y) != (x < 50 ? grey : white);
    }
    EXPECT_GT(drawn, 64 * 64 / 4);
}

TEST_F(AboutTest, MailLinkGoesThroughTheShellWithMailtoAndTheWebLinkAsIs)
{
    TfrmAbout about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(about.lblEmail, Qt::LeftButton);
    QTest::mouseClick(about.lblWebsite, Qt::LeftButton);
    EXPECT_EQ(opened, QStringList({ u"mailto:"_s + about.lblEmail->text(), about.lblWebsite->text() }));
    EXPECT_TRUE(about.lblEmail->text().contains(u'@'));
    EXPECT_FALSE(about.lblWebsite->text().contains(u'@'));
}

TEST_F(AboutTest, LinksOpenFromTheKeyboard)
{
    TfrmAbout about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    // It opens on OK, so Enter closes it as before; Tab goes round to the mail link,
    // then the web link, each with a frame while it has the focus.
    ASSERT_EQ(about.focusWidget(), about.btnOk);
    QTest::keyClick(about.btnOk, Qt::Key_Tab);
    ASSERT_EQ(about.focusWidget(), about.lblEmail);
    EXPECT_NE(about.lblEmail->frameShape(), QFrame::NoFrame);
    QTest::keyClick(about.lblEmail, Qt::Key_Space);
    QTest::keyClick(about.lblEmail, Qt::Key_Tab);
    ASSERT_EQ(about.focusWidget(), about.lblWebsite);
    EXPECT_EQ(about.lblEmail->frameShape(), QFrame::NoFrame);
    QTest::keyClick(about.lblWebsite, Qt::Key_Return);
    EXPECT_EQ(opened, QStringList({ u"mailto:"_s + about.lblEmail->text(), about.lblWebsite->text() }));
    // Enter opened the link, not the box's default button.
    EXPECT_TRUE(about.isVisible());
}

TEST_F(AboutTest, OpensCentredOverItsOwnerAndOkCloses)
{
    QWidget owner;
    owner.setGeometry(100, 100, 601, 401);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    QPoint shownAt;
    TfrmAbout::RunModal = [&](TfrmAbout &about) {
        about.show();
        shownAt = about.pos();
        QTest::mouseClick(about.btnOk, Qt::LeftButton);
        return about.result();
    };
    EXPECT_EQ(TfrmAbout::Execute(&owner), QDialog::Accepted);
    TfrmAbout::RunModal = nullptr;
    const QRect o = owner.frameGeometry();
    EXPECT_EQ(shownAt, QPoint(o.left() + o.width() / 2 - 323 / 2, o.top() + o.height() / 2 - 178 / 2));
}

} // namespace
