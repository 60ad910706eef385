#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

namespace {

// Widgets need one QApplication for the whole test program; gtest_main owns main(),
// so a global environment creates it before the first test.
class GuiApplication final : public testing::Environment
{
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "vt_tests_language_gui";
        static char *argv[] = { name, nullptr };
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] testing::Environment *const g_app
    = testing::AddGlobalTestEnvironment(new GuiApplication);

} // namespace
