// The Debian package as users get it: built from this build, checked by the ecosystem's own
// checkers, installed into a throwaway root and used there.

#include "support/loopback_server.h"
#include "support/wait_until.h"

#include "version.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace veltrin::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Output {
    int status = -1;
    std::string text; // standard output and error together
};

Output Shell(const std::string& command) {
    Output output;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    std::array<char, 4096> buffer{};
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        output.text.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

class Package : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/veltrin-package-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        s_folder = pattern;
        const Output built =
            Shell("cpack -G DEB --config " + Quoted(fs::path(VELTRIN_BINARY_DIR) / "CPackConfig.cmake") + " -B " +
                  Quoted(s_folder));
        ASSERT_EQ(built.status, 0) << built.text;
        s_deb = s_folder / ("veltrin_" VELTRIN_VERSION "_amd64.deb");
        ASSERT_TRUE(fs::exists(s_deb)) << built.text;
    }
    static void TearDownTestSuite() { fs::remove_all(s_folder); }

    static inline fs::path s_folder;
    static inline fs::path s_deb;
};

// The rest of what it holds is used below, or missing it is what the checkers report.
TEST_F(Package, HoldsTheIconsAndDependsOnWhatItLinks) {
    const Output contents = Shell("dpkg-deb -c " + Quoted(s_deb));
    for (const std::string size : {"48x48", "256x256"}) {
        EXPECT_NE(contents.text.find("./usr/share/icons/hicolor/" + size + "/apps/veltrin.png"), std::string::npos)
            << contents.text;
    }
    // Read off the binaries, the web engine's and the sound's modules included, and the SQLite plugin named.
    const Output control = Shell("dpkg-deb -f " + Quoted(s_deb) + " Depends");
    for (const char* dependency :
         {"libqt6widgets6", "libqt6network6", "libqt6webenginewidgets6", "libcurl4", "libqt6sql6-sqlite",
          "libavformat59", "libavcodec59", "libswresample4", "libavutil57"}) {
        EXPECT_NE(control.text.find(dependency), std::string::npos) << dependency << " in " << control.text;
    }
}

TEST_F(Package, CheckersFindNothingWrong) {
    const fs::path tree = s_folder / "tree";
    ASSERT_EQ(Shell("dpkg-deb -x " + Quoted(s_deb) + " " + Quoted(tree)).status, 0);
    const Output desktop =
        Shell("desktop-file-validate " + Quoted(tree / "usr/share/applications/org.veltrin.Veltrin.desktop"));
    EXPECT_EQ(desktop.status, 0) << desktop.text;
    EXPECT_EQ(desktop.text, "");
    const Output metainfo =
        Shell("appstreamcli validate --no-net " + Quoted(tree / "usr/share/metainfo/org.veltrin.Veltrin.metainfo.xml"));
    EXPECT_EQ(metainfo.status, 0) << metainfo.text;
    const Output lintian = Shell("lintian --allow-root " + Quoted(s_deb));
    EXPECT_EQ(lintian.status, 0) << lintian.text;
    EXPECT_EQ(lintian.text.find("E: "), std::string::npos) << lintian.text;
    EXPECT_EQ(lintian.text.find("W: "), std::string::npos) << lintian.text;
}

TEST_F(Package, InstalledCopyWorksForAUserWhoCannotWriteItsFolder) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "installing into a throwaway root and running as another user needs root, as CI has";
    }
    LoopbackServer<> server;
    const std::string watch = "<script>flashvars=\"url=http://v.test/a?itag=22&quality=hd\"</script>";
    server->Get("/watch", [&](const auto&, auto& res) { res.set_content(watch, "text/html"); });
    server->Get("/ad", [](const auto&, auto& res) { res.set_content("ad", "text/html"); });
    server.Start();

    const fs::path root = s_folder / "root";
    fs::create_directories(root / "var/lib/dpkg/info");
    fs::create_directories(root / "var/lib/dpkg/updates");
    // Against what this machine has installed, without forcing: a dependency the package names and
    // the machine lacks fails the install, as it would for a user.
    fs::copy_file("/var/lib/dpkg/status", root / "var/lib/dpkg/status");
    const std::string dpkg = "dpkg --root=" + Quoted(root) + " --force-script-chrootless ";
    const Output installed = Shell(dpkg + "-i " + Quoted(s_deb));
    ASSERT_EQ(installed.status, 0) << installed.text;

    const Output links = Shell(Quoted(root / "usr/bin/veltrin") + " --links " + server.Url("/watch"));
    EXPECT_EQ(links.status, 0) << links.text;
    EXPECT_EQ(links.text, "720P\thttp://v.test/a?itag=22\n");

    // A user of the machine, whose home is not named in ASCII: the program folder is root's, so the
    // results go to the user's own.
    const fs::path home = s_folder / "h\u00F8me-\u5BB6";
    fs::create_directories(home / "runtime");
    for (const fs::path& folder : {s_folder, root, home, home / "runtime"}) {
        ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    }
    ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown((home / "runtime").c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod((home / "runtime").c_str(), 0700), 0);
    const std::string environment = "env -i HOME=" + Quoted(home) + " XDG_RUNTIME_DIR=" + Quoted(home / "runtime") +
                                    " QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1"
                                    " VELTRIN_TEST_ADVERTISEMENT_PAGE=" +
                                    server.Url("/ad") + " ";
    const std::string command = "exec setpriv --reuid=65534 --regid=65534 --clear-groups " + environment +
                                Quoted(root / "usr/bin/veltrin") + " " + server.Url("/watch");
    const pid_t program = fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const fs::path data = home / ".local/share/Veltrin";
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(data / "temp.html"); }, 30s)) << "no results file for the user";
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(data / "dl.jpg"); }, 5s));
    EXPECT_TRUE(WaitUntil(
        [&] { return Shell("pgrep -f -P " + std::to_string(program) + " QtWebEngineProcess").status == 0; }, 30s))
        << "the results are not shown";
    EXPECT_FALSE(fs::exists(root / "usr/lib/veltrin/temp.html"));
    kill(program, SIGTERM);
    waitpid(program, nullptr, 0);

    const Output removed = Shell(dpkg + "-r veltrin");
    EXPECT_EQ(removed.status, 0) << removed.text;
    EXPECT_FALSE(fs::exists(root / "usr/lib/veltrin"));
    EXPECT_FALSE(fs::exists(root / "usr/bin/veltrin"));
}

} // namespace
} // namespace veltrin::testing
