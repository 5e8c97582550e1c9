#include <gtest/gtest.h>
#include <QApplication>

#include "platform/fonts.h"
#include "tests/support/testenv.h"

// Every test executable gets an application object (offscreen) and a private settings folder.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    PrepareTestEnvironment();
    QApplication app(argc, argv);
    InstallFontSubstitutes();
    return RUN_ALL_TESTS();
}
