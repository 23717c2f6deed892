#include <QApplication>
#include <QTemporaryDir>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <memory>

int main(int argc, char** argv) {
    // Tests never need a display; views render offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Without a runtime folder Qt warns at every start and shares one fallback
    // folder between all tests; each test process gets its own instead, and the
    // programs it starts inherit it.
    std::unique_ptr<QTemporaryDir> runtimeFolder;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtimeFolder = std::make_unique<QTemporaryDir>();
        if (runtimeFolder->isValid()) {
            qputenv("XDG_RUNTIME_DIR", runtimeFolder->path().toLocal8Bit());
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
