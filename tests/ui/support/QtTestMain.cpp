// main() of the window tests: a QApplication on Qt's offscreen platform, then GoogleTest.
// Icons and metafiles are drawn by the helper built beside the tests.
#include <QApplication>
#include <gtest/gtest.h>

#include "ui/PictureRendering.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setRenderHelperPath(QStringLiteral(QFIP_RENDER_HELPER));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
