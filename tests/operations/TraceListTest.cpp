// The tool finds what the uninstall scripts would remove by reading their list itself; these
// tests hold it to what the shipped script's own --list prints, on homes laid out to trip it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "helpers/TestSupport.h"
#include "operations/TraceList.h"
#include "operations/Traces.h"
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
          "Group Containers/group.com.nimbla.desktop/g", "LaunchAgents/com.nimbla.desktop.plist",
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
    EXPECT_EQ(expected.size(), 11u);
    EXPECT_EQ(expected.back(), (lib / "Logs/Nimbla").string());

    // Once the other product is gone its vendor folder is listed too, but not while Finder's
    // .DS_Store is in it (a run's rmdir would fail); a home reached through a link gives the
    // physical paths, as the script's.
    fs::remove_all(lib / "Application Support/Nimbla/Nimbla Photos");
    put(lib / "Application Support/Nimbla/.DS_Store");
    expected = scriptList(home.str());
    EXPECT_EQ(listed(home.str()), expected);
    EXPECT_EQ(expected.size(), 11u);
    fs::remove(lib / "Application Support/Nimbla/.DS_Store");
    fs::create_symlink(home.path, home.str() + "-link");
    expected = scriptList(home.str() + "-link");
    EXPECT_EQ(listed(home.str() + "-link"), expected);
    EXPECT_EQ(expected.size(), 12u);
    fs::remove(home.str() + "-link");

    // After a run nothing is left (links on the way: AHostileHomeIsWalkedByDescriptor).
    fs::remove_all(lib);
    EXPECT_EQ(listed(home.str()), Paths{});
    EXPECT_EQ(listed(home.str() + "/missing"), Paths{"(none)"});
}

// The uninstall's steps that remove what a script lists: the user's, the administrator's or both.
Plan scriptsPlan(bool user, bool administrator) {
    Plan plan;
    for (const auto& [wanted, name] : {std::pair{user, "uninstall_nimbla_drive"},
                                       std::pair{administrator, "uninstall_nimbla_drive_r"}}) {
        if (wanted) {
            PlannedStep step;
            step.removes = Removal::ListedByScript;
            step.script = platform::pathForResource(name, "").value_or("");
            step.asAdministrator = std::string(name).ends_with("_r");
            plan.steps.push_back(step);
        }
    }
    return plan;
}

// Root walks a hostile home: a folder on the way that is a link is refused (also one the user
// swaps in between two looks), a FIFO is looked at but never opened, and nothing outside the home
// is listed or measured.
TEST(TraceList, AHostileHomeIsWalkedByDescriptor) {
    TempDir home, outside;
    const fs::path lib = home.path / "Library";
    put(outside.path / "com.nimbla.desktop.secret.plist");
    std::ofstream(outside.path / "big").close();
    fs::resize_file(outside.path / "big", 1ull << 40);  // sparse: costs nothing
    fs::create_directories(lib);
    fs::create_directory_symlink(outside.path, lib / "Preferences");
    put(lib / "Caches/com.nimbla.desktop/c");
    ASSERT_EQ(::mkfifo((lib / "Caches/com.nimbla.desktop/fifo").c_str(), 0600), 0);
    fs::create_directories(lib / "LaunchAgents");
    ASSERT_EQ(::mkfifo((lib / "LaunchAgents/com.nimbla.desktop.plist").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((lib / "Logs").c_str(), 0600), 0);
    const auto listed = listedPaths(shippedList(), TraceScope::User, home.str());
    EXPECT_EQ(listed, scriptList(home.str()));
    EXPECT_EQ(listed, (Paths{(lib / "Caches/com.nimbla.desktop").string(),
                             (lib / "LaunchAgents/com.nimbla.desktop.plist").string()}));

#if defined(__linux__)
    // The cache folder and a link to the outside trade places all the time.
    fs::create_directory_symlink(outside.path, lib / "Caches/swap");
    const std::string cache = (lib / "Caches/com.nimbla.desktop").string();
    const std::string swap = (lib / "Caches/swap").string();
    std::atomic<bool> stop = false;
    std::thread swapper([&] {
        while (!stop) {
            ::renameat2(AT_FDCWD, cache.c_str(), AT_FDCWD, swap.c_str(), RENAME_EXCHANGE);
        }
    });
    Session session;
    session.home = home.str();
    for (int round = 0; round < 1500; ++round) {
        const auto traces = DiskLook(session).traces(scriptsPlan(true, false), std::nullopt);
        ASSERT_TRUE(traces);
        for (const Trace& trace : *traces) {
            ASSERT_LT(trace.bytes.value_or(0), 1ull << 40) << trace.path << " measured outside";
            ASSERT_EQ(trace.path.find("secret"), std::string::npos);
        }
    }
    stop = true;
    swapper.join();
#endif
}

// Linear in the home's size: forty thousand names in one folder, half of them traces, each
// listed once and in byte order, however many steps list them; the other half nearly match and
// are neither traces nor the client's unlisted data.
TEST(TraceList, FortyThousandNamesAreEachListedOnceInOrder) {
    TempDir home;
    const fs::path preferences = home.path / "Library/Preferences";
    fs::create_directories(preferences);
    put(home.path / "one");  // every name a link to one file: names are what is tested
    for (int i = 0; i < 20000; ++i) {
        fs::create_hard_link(home.path / "one",
                             preferences / ("com.nimbla.desktop." + std::to_string(i) + ".plist"));
        fs::create_hard_link(home.path / "one",
                             preferences / ("com.nimbla.desktop" + std::to_string(i) + ".plist"));
    }
    Session session;
    session.home = home.str();
    DiskLook look(session);
    Plan plan = scriptsPlan(true, false);
    plan.steps.push_back(plan.steps.front());
    const auto left = look.leftovers(plan);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->size(), 20000u);
    EXPECT_TRUE(std::is_sorted(left->begin(), left->end()));
    EXPECT_EQ(std::adjacent_find(left->begin(), left->end()), left->end());
    const auto traces = look.traces(plan, kSizeBudget);
    ASSERT_TRUE(traces);
    EXPECT_EQ(traces->size(), 20000u);
    EXPECT_EQ(look.unlisted(plan), Paths{});
}

// Beyond the list: the client's data found by its bundle identifier (with a team or "group."
// prefix or none, and its sub-identifiers) is reported apart, never as a leftover; a folder too
// big to measure has no size rather than a wrong one; and with the user's script missing, the
// list's paths for the user still count.
TEST(TraceList, UnlistedDataBigFoldersAndAMissingScript) {
    TempDir home;
    const fs::path lib = home.path / "Library";
    for (const char* path :
         {"Application Support/com.nimbla.desktop/a", "WebKit/com.nimbla.desktop/w",
          "Containers/ABCDE12345.com.nimbla.desktop.helper/c",
          "Group Containers/group.com.nimbla.desktop/g", "Preferences/com.nimbla.desktop.plist",
          "Preferences/com.nimbla.desktopx.plist", "Cookies/com.nimbla.desktop.binarycookies",
          "Caches/group.com.nimbla.desktopx/x", "Caches/abcde12345.com.nimbla.desktop/x"}) {
        put(lib / path);
    }
    for (int i = 0; i < 3; ++i) {
        put(lib / "Group Containers/group.com.nimbla.desktop" / std::to_string(i));
    }
    Session session;
    session.home = home.str();
    DiskLook look(session);
    const Plan plan = scriptsPlan(false, true);
    EXPECT_EQ(look.leftovers(plan),
              (Paths{(lib / "Preferences/com.nimbla.desktop.plist").string(),
                     (lib / "Group Containers/group.com.nimbla.desktop").string()}));
    EXPECT_EQ(look.unlisted(plan),
              (Paths{(lib / "Application Support/com.nimbla.desktop").string(),
                     (lib / "Containers/ABCDE12345.com.nimbla.desktop.helper").string(),
                     (lib / "WebKit/com.nimbla.desktop").string(),
                     (lib / "Cookies/com.nimbla.desktop.binarycookies").string()}));
    const auto traces = look.traces(plan, 3);
    ASSERT_TRUE(traces);
    ASSERT_EQ(traces->size(), 2u);
    EXPECT_EQ(traces->at(0).bytes, 1u);
    EXPECT_EQ(traces->at(1).kind, "folder");
    EXPECT_EQ(traces->at(1).bytes, std::nullopt);  // four entries: over the budget of three
    EXPECT_EQ(DiskLook(session).traces(plan, std::nullopt)->at(1).bytes, 4u);
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
