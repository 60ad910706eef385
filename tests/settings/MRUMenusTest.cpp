#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "settings/qkMRUList.h"
#include "settings/qkMRUMenus.h"

using namespace Qt::StringLiterals;

namespace {

class MRUMenus : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "vt_tests_settings_gui";
        static char *argv[] = { name, nullptr };
        if (!QApplication::instance())
            new QApplication(argc, argv);
    }

    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        m_list = std::make_unique<TqkMRUList>();
        m_list->SetSaveSection(u"Software\\Vellumtree\\MRU Items"_s);
        m_menus = new TqkMRUMenus(m_list.get());
    }

    static QStringList texts(const QMenu &menu)
    {
        QStringList out;
        for (QAction *action : menu.actions())
            out += action->text();
        return out;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<TqkMRUList> m_list;
    TqkMRUMenus *m_menus = nullptr; // child of the list
};

TEST_F(MRUMenus, BothMenusFollowEveryChangeAndReportClicksWithThePath)
{
    QMenu popup;
    QMenu reopen;
    reopen.addAction(QString()); // the designed blank entry goes with the first rebuild
    m_menus->SetPopupMenu(&popup);
    m_menus->SetMenuItem(&reopen);
    EXPECT_TRUE(reopen.actions().isEmpty());

    m_list->AddFile(u"/home/u/first.vlt"_s);
    m_list->AddFile(u"/home/u/second.vlt"_s);
    const QStringList expected { u"&0 /home/u/second.vlt"_s, u"&1 /home/u/first.vlt"_s };
    EXPECT_EQ(texts(popup), expected);
    EXPECT_EQ(texts(reopen), expected);

    QSignalSpy clicks(m_list.get(), &TqkMRUList::OnMRUClick);
    reopen.actions().at(1)->trigger();
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.first().at(1).toString(), u"/home/u/first.vlt"_s);

    m_list->SetItemCount(0);
    EXPECT_TRUE(popup.actions().isEmpty());
    EXPECT_TRUE(reopen.actions().isEmpty());
}

TEST_F(MRUMenus, ReplacedAndDestroyedMenusAreLeftAlone)
{
    m_list->AddFile(u"/a.vlt"_s);
    QMenu first;
    m_menus->SetMenuItem(&first);
    EXPECT_EQ(first.actions().size(), 1);
    QMenu second;
    m_menus->SetMenuItem(&second);
    EXPECT_TRUE(first.actions().isEmpty());
    EXPECT_EQ(second.actions().size(), 1);

    auto *popup = new QMenu;
    m_menus->SetPopupMenu(popup);
    delete popup;
    m_list->AddFile(u"/b.vlt"_s); // must not touch the deleted menu
    EXPECT_EQ(m_menus->PopupMenu(), nullptr);
    EXPECT_EQ(second.actions().size(), 2);
    m_list.reset(); // saves, then clears the menu it still fills
    EXPECT_TRUE(second.actions().isEmpty());
}

} // namespace
