#include "window/web_browser.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <filesystem>
#include <string_view>

#include <cstdlib>

int main(int argc, char** argv) {
    // Headless unless told otherwise; the web view's sandbox cannot run as root, which CI is.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // A home of its own: downloads, the data folder and the web view's profile stay out of the
    // user's.
    char home[] = "/tmp/veltrin-test-home-XXXXXX";
    if (mkdtemp(home)) {
        qputenv("HOME", home);
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DOWNLOAD_DIR"}) {
            qunsetenv(name);
        }
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    veltrin::WebBrowser::SetModulePath(QStringLiteral(VELTRIN_WEBVIEW_MODULE));
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(home);
    return result;
}
