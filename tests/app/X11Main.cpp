// The entry of the test programs that need a real X server (run-under-x.sh starts one
// with a window manager).

#include <QApplication>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != u"xcb"_s) {
        std::fprintf(stderr, "needs an X server (run-under-x.sh starts one)\n");
        return 1;
    }
    return RUN_ALL_TESTS();
}
