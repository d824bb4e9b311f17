#include "window/web_browser.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <cstdlib>

int main(int argc, char** argv) {
    // A home of its own: downloads, the data folder and the web view's profile stay out of the
    // user's.
    char home[] = "/tmp/veltrin-test-home-XXXXXX";
    if (mkdtemp(home)) {
        qputenv("HOME", home);
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DOWNLOAD_DIR"}) {
            qunsetenv(name);
        }
    }
    // Headless unless told otherwise, on a screen with room beside the window as a desktop's has;
    // the web view's sandbox cannot run as root, which CI is.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        const std::string screen = std::string(home) + "/screen.json";
        std::ofstream(screen) << R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": 1280, "height": 800,)"
                                 R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + screen.c_str());
    }
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    veltrin::WebBrowser::SetModulePath(QStringLiteral(VELTRIN_WEBVIEW_MODULE));
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(home);
    return result;
}
