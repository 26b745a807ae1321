// The tool finds what the uninstall scripts would remove by reading their list itself; these
// tests hold it to what the shipped script's own --list prints, on homes laid out to trip it.
#include <gtest/gtest.h>

#include <cstdio>

#include "helpers/TestSupport.h"
#include "operations/TraceList.h"
#include "platform/Bundle.h"

namespace nimbla {
namespace {

using testsupport::TempDir;
namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

void put(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

// What the shipped user script prints with --list for this home (its warnings dropped).
Paths scriptList(const std::string& home) {
    const std::string command = "env -i PATH=/usr/bin:/bin HOME='" + home + "' '" +
                                *platform::pathForResource("uninstall_nimbla_drive", "") +
                                "' --list 2>/dev/null";
    Paths lines;
    FILE* out = popen(command.c_str(), "r");
    std::string line;
    for (int c; (c = fgetc(out)) != EOF;) {
        if (c == '\n') {
            lines.push_back(std::exchange(line, {}));
        } else {
            line.push_back(char(c));
        }
    }
    pclose(out);
    return lines;
}

std::vector<TraceEntry> shippedList() {
    const auto script = platform::pathForResource("uninstall_nimbla_drive", "");
    EXPECT_TRUE(script);
    const auto entries = readTraceList(traceListBeside(script.value_or("")));
    EXPECT_TRUE(entries);
    return entries.value_or(std::vector<TraceEntry>{});
}

TEST(TraceList, TheUsersPathsAreWhatTheScriptLists) {
    TempDir home;
    const fs::path lib = home.path / "Library";
    for (const char* path :
         {"Application Support/Nimbla/Nimbla/data.db", "Caches/com.nimbla.desktop/c",
          "Logs/Nimbla/nimbla.log", "Preferences/com.nimbla.desktop.plist",
          "Preferences/com.nimbla.desktop.nimblafileprovider.plist",
          "Preferences/com.nimbla.desktop.b.plist", "Preferences/com.nimbla.desktopx.plist",
          "Preferences/.com.nimbla.desktop.hidden.plist",
          "Group Containers/ABCDE12345.com.nimbla.desktop/g",
          "Group Containers/abcde12345.com.nimbla.desktop/g",
          "Group Containers/ABCDE1234.com.nimbla.desktop/g",
          "LaunchAgents/com.nimbla.desktop.plist",
          "Saved Application State/com.nimbla.desktop.savedState/s",
          "Application Support/Nimbla/Nimbla Photos/p"}) {
        put(lib / path);
    }
    // Links on the way are refused, also to a folder that holds an entry.
    fs::create_symlink("/nowhere", lib / "HTTPStorages");
    put(home.path / "elsewhere/com.nimbla.desktop.nimblafileprovider");
    fs::create_symlink(home.path / "elsewhere", lib / "Containers");
    const std::vector<TraceEntry> entries = shippedList();
    const auto listed = [&](const std::string& from) {
        return listedPaths(entries, TraceScope::User, from).value_or(Paths{"(none)"});
    };
    // The other product keeps its vendor folder; Logs/Nimbla would be left empty, so it is listed.
    Paths expected = scriptList(home.str());
    EXPECT_EQ(listed(home.str()), expected);
    EXPECT_EQ(expected.size(), 10u);
    EXPECT_EQ(expected.back(), (lib / "Logs/Nimbla").string());

    // Once the other product is gone its vendor folder is listed too; a home reached through a
    // link gives the physical paths, as the script's.
    fs::remove_all(lib / "Application Support/Nimbla/Nimbla Photos");
    fs::create_symlink(home.path, home.str() + "-link");
    expected = scriptList(home.str() + "-link");
    EXPECT_EQ(listed(home.str() + "-link"), expected);
    EXPECT_EQ(expected.size(), 11u);
    fs::remove(home.str() + "-link");

    // After a run nothing is left, and ~/Library as a link shows nothing behind it.
    fs::remove_all(lib);
    EXPECT_EQ(listed(home.str()), Paths{});
    fs::create_directory_symlink("/usr", lib);
    EXPECT_EQ(listed(home.str()), scriptList(home.str()));
    EXPECT_EQ(listed(home.str() + "/missing"), Paths{"(none)"});
}

TEST(TraceList, TheMachinesPathsAndReceiptsAndABadListGivesNothing) {
    TempDir root;
    const std::string top = root.str();
    const fs::path list = root.path / "nimbla_drive_traces";
    std::ofstream(list) << "# the machine's\n"
                        << "remove\t" << top << "/Helpers/com.nimbla.desktop.*\n"
                        << "remove\t" << top << "/App.app\n"
                        << "remove\t~/Library/Caches/x\n"
                        << "receipt\t" << top << "/receipts/com.nimbla.desktop.plist\n"
                        << "receipt\t" << top << "/receipts/com.nimbla.desktop.*.plist\n";
    for (const char* path :
         {"Helpers/com.nimbla.desktop.b", "Helpers/com.nimbla.desktop.a",
          "Helpers/com.nimbla.desktopsync", "receipts/com.nimbla.desktop.x.plist",
          "receipts/com.nimbla.desktopsync.plist"}) {
        put(root.path / path);
    }
    const auto entries = readTraceList(list.string());
    ASSERT_TRUE(entries);
    EXPECT_EQ(listedPaths(*entries, TraceScope::Machine, ""),
              (Paths{top + "/Helpers/com.nimbla.desktop.a", top + "/Helpers/com.nimbla.desktop.b",
                     top + "/receipts/com.nimbla.desktop.x.plist"}));

    for (const char* bad :
         {"remove /Applications/Nimbla.app\n", "delete\t/Applications/x\n", "remove\tLibrary/x\n",
          "emptied\t/Library\n", "receipt\t~/x\n", "remove\t~/\n"}) {
        std::ofstream(list) << "remove\t/Applications/Nimbla.app\n" << bad;
        EXPECT_FALSE(readTraceList(list.string())) << bad;
    }
    EXPECT_FALSE(readTraceList(top + "/missing"));
}

}  // namespace
}  // namespace nimbla
