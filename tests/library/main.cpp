#include <QCoreApplication>
#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace veltrin {
int StoreHelper(const std::string& mode, const char* path);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The helper processes of the tests run this executable again.
    if (argc == 3 && std::string_view(argv[1]).starts_with("--") && !std::string_view(argv[1]).starts_with("--gtest")) {
        return veltrin::StoreHelper(argv[1], argv[2]);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
