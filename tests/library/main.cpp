#include <QCoreApplication>
#include <gtest/gtest.h>

#include <string_view>

namespace veltrin {
int WriteDownloadsUntilKilled(const char* path);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The kill test's helper process runs this executable again.
    if (argc == 3 && std::string_view(argv[1]) == "--write-downloads") {
        return veltrin::WriteDownloadsUntilKilled(argv[2]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
