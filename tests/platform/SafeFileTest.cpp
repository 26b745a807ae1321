// The one routine for files root writes where a user can write.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <tuple>

#include "helpers/TestSupport.h"
#include "platform/SafeFile.h"
#include "platform/Trust.h"

namespace nimbla::platform {
namespace {

using namespace testsupport;
using Access = SafeFileOptions::Access;

constexpr uid_t kAlex = 501;
constexpr gid_t kStaff = 20;

void own(const fs::path& path, uid_t uid, mode_t mode) {
    ASSERT_EQ(::chown(path.c_str(), uid, kStaff), 0) << path;
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}
void file(const fs::path& path, uid_t uid, mode_t mode = 0644) {
    std::ofstream(path) << "kept\n";
    own(path, uid, mode);
}

TEST(SafeFile, RefusesEveryPathAUserCouldRedirectAndNeverWaitsOnAFifo) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    ::alarm(10);  // a FIFO that blocks ends the test here, not at the suite's timeout
    TempDir dir;
    const fs::path d = dir.path;
    fs::create_directories(d / "real");
    fs::create_directory_symlink(d / "real", d / "link");  // a user's link to a folder
    ASSERT_EQ(::lchown((d / "link").c_str(), kAlex, kStaff), 0);
    fs::create_directory_symlink("../real", d / "up");  // root's, but through ".."
    file(d / "target", kAlex);
    fs::create_symlink(d / "target", d / "symlink");
    file(d / "named", kAlex);
    fs::create_hard_link(d / "named", d / "twice");
    ASSERT_EQ(::mkfifo((d / "fifo").c_str(), 0600), 0);
    own(d / "fifo", kAlex, 0600);
    file(d / "roots", 0);
    file(d / "shared", kAlex, 0664);
    fs::create_directory(d / "tmp");  // like /tmp: root's, sticky, anyone may write
    own(d / "tmp", 0, 01777);
    file(d / "tmp/alexs", kAlex, 0600);
    fs::create_directory_symlink(d / "real",
                                 d / "tmp/roots");  // root's link, in a folder anyone may write
    fs::create_directory_symlink(d / "fifo", d / "tofifo");  // root's link to a FIFO
    fs::create_directory(d / "open");
    own(d / "open", 0, 0777);
    fs::create_directory(d / "others");
    own(d / "others", 777, 0755);
    file(d / "others/log", kAlex, 0600);

    const SafeFileOptions alex{kAlex, kStaff, Access::Append, 0644};
    const SafeFileOptions root{0, 0, Access::Append, 0640};
    const SafeFileOptions lock{kAlex, kStaff, Access::ReadWrite, 0600, 0700};
    const struct {
        fs::path path;
        SafeFileOptions options;
        std::string problem;
    } cases[] = {
        {d / "link/log", alex, "/link: is a symbolic link of user 501, not root's"},
        {d / "tmp/roots/log", root, "/roots: is a symbolic link in a folder others can change"},
        {d / "tofifo/log", root, "/fifo: is not a folder"},
        {d / "up/log", root, "/up: is a symbolic link through \".\" or \"..\""},
        {d / "symlink", alex, "/symlink: is a symbolic link"},
        {d / "twice", alex, "has more than one name (a hard link)"},
        {d / "fifo", alex, "/fifo: is not a regular file"},
        {d / "fifo", lock, "/fifo: is not a regular file"},
        {d / "roots", alex, "belongs to user 0, not 501"},
        {d / "tmp/alexs", root, "belongs to user 501, not 0"},
        {d / "shared", alex, "is writable by group or others"},
        {"/dev/null", root, "/dev/null: is not a regular file"},
        {d / "none/log", alex, "/none: no such folder"},
        {d / "open/log", root, "/open: is writable by anyone and not sticky"},
        {d / "others/log", alex, "/others: belongs to user 777, neither root nor the owner"},
        {"relative/log", alex, "not an absolute path to a file"},
        {d / "real/../roots", root, "holds \".\" or \"..\""},
    };
    for (const auto& c : cases) {
        const SafeFile opened = openSafely(c.path, c.options);
        EXPECT_EQ(opened.fd, -1) << c.path;
        EXPECT_NE(opened.error, 0) << c.path;
        EXPECT_THAT(opened.problem, ::testing::EndsWith(c.problem)) << c.path;
        if (opened.fd >= 0)
            ::close(opened.fd);
    }
    EXPECT_EQ(openSafely(d / "none/log", alex).error, ENOENT);
    EXPECT_EQ(readFile(d / "target") + readFile(d / "named"), "kept\nkept\n");
    ::alarm(0);
}

TEST(SafeFile, CreatesTheFileAndMissingFoldersForTheirOwnerAndOpensItAgain) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    TempDir dir;
    const auto stat = [](const fs::path& path) {
        struct stat st {};
        EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
        return std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " " +
               std::to_string(st.st_mode & 07777);
    };
    const mode_t mask = ::umask(022);  // the file's mode is not cut by the umask
    const SafeFileOptions lock{kAlex, kStaff, Access::ReadWrite, 0660, 0700};
    const fs::path path = dir.path / "Library/Nimbla/lock";
    for (bool first : {true, false}) {
        const SafeFile opened = openSafely(path, lock);
        ASSERT_GE(opened.fd, 0) << opened.problem;
        EXPECT_EQ(opened.created, first);
        EXPECT_EQ(::write(opened.fd, "x", 1), 1);
        ::close(opened.fd);
    }
    ::umask(mask);
    EXPECT_EQ(stat(path), "501:20 " + std::to_string(0660));
    EXPECT_EQ(stat(dir.path / "Library"), "501:20 " + std::to_string(0700));
    EXPECT_EQ(stat(dir.path / "Library/Nimbla"), "501:20 " + std::to_string(0700));
    EXPECT_EQ(readFile(path), "x");  // read-write from the start, not appended
    // Root's links in root's folders are followed, as a Mac's /var -> private/var is.
    fs::create_directory_symlink("Library", dir.path / "var");
    fs::create_directory_symlink(dir.path / "var/Nimbla", dir.path / "again");
    const SafeFile linked = openSafely(dir.str() + "/again/lock", lock);
    ASSERT_GE(linked.fd, 0) << linked.problem;
    EXPECT_FALSE(linked.created);
    ::close(linked.fd);
    const SafeFile log = openSafely(dir.str() + "/log", {0, 0, Access::Append, 0640});
    ASSERT_GE(log.fd, 0) << log.problem;
    ::close(log.fd);
    EXPECT_EQ(stat(dir.path / "log"), "0:0 " + std::to_string(0640));
    // Log rotation leaves root's file writable by root's group (0660 root:wheel): taken when
    // asked; any other group, or others, still refused.
    const SafeFileOptions rotated{0, 0, Access::Append, 0640, std::nullopt, true};
    for (const auto& [group, mode, taken] :
         {std::tuple{gid_t(0), mode_t(0660), true}, {kStaff, 0660, false}, {0, 0662, false}}) {
        ASSERT_EQ(::chown((dir.path / "log").c_str(), 0, group), 0);
        ASSERT_EQ(::chmod((dir.path / "log").c_str(), mode), 0);
        const SafeFile opened = openSafely(dir.str() + "/log", rotated);
        EXPECT_EQ(opened.fd >= 0, taken) << group << " " << mode << opened.problem;
        if (opened.fd >= 0)
            ::close(opened.fd);
    }
}

// Root runs only what root owns and nobody but those who can become root may change.
TEST(RootTrust, AcceptsRootsAndAdministratorsGroupsOnlyAndWalksEveryFolderAbove) {
    EXPECT_EQ(rootTrustProblem(0, 0, 040775), "");
    EXPECT_EQ(rootTrustProblem(0, kAdminGroup, 040775), "");  // /Applications on a Mac
    EXPECT_EQ(rootTrustProblem(0, kStaff, 0100755), "");
    EXPECT_EQ(rootTrustProblem(0, kStaff, 0100775), "is writable by group 20");
    EXPECT_EQ(rootTrustProblem(0, 0, 041777), "is writable by anyone");  // sticky or not
    EXPECT_EQ(rootTrustProblem(kAlex, 0, 0100755), "belongs to user 501, not root");
    EXPECT_EQ(programTrustProblem("/bin/sh"), "");  // a root's link (/bin -> usr/bin) on the way
    TempDir dir;  // below the system's temporary folder, which anyone may write
    const std::string script = dir.str() + "/script";
    file(script, 0, 0755);
    EXPECT_THAT(programTrustProblem(script), ::testing::EndsWith(": is writable by anyone"));
}

}  // namespace
}  // namespace nimbla::platform
