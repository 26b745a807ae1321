// P6, P7 and P8: the command line as root for alex, in the simulated installation.
//
//   P6  `status --json` against its probe commands run directly, and against the shell script
//       administrators use for the same probes (bench/admin-status.sh)
//   P7  a whole `reset` against the same commands run directly
//   P8  the leftovers check after an uninstall, in process, against both uninstall scripts' own
//       --list (the user's run as the user)
//   P9  `status --json` for a crowded home (50,000 files in the domain, 40,000 names that nearly
//       match the client's) against the same for a home without them
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "bench_support.h"
#include "operations/Traces.h"

namespace nimbla_bench {

namespace {

// The commands of a run, as its JSON report lists them.
std::vector<std::vector<std::string>> stepsOf(const std::string& json) {
    std::vector<std::vector<std::string>> commands;
    const nlohmann::json report = nlohmann::json::parse(json);
    for (const auto& step : report.at("steps")) {
        std::vector<std::string> line{step.at("program").get<std::string>()};
        for (const auto& argument : step.at("arguments")) {
            line.push_back(argument.get<std::string>());
        }
        commands.push_back(std::move(line));
    }
    return commands;
}

// Starts the command as `user` the way root's steps for a user start: a session of its own,
// /dev/null as input, the user's groups and ids, its home as the folder and a minimal
// environment.
Captured spawnAsAndCapture(const passwd& user, const std::vector<std::string>& command) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        fail("pipe2 failed");
    }
    const std::string home = std::string("HOME=") + user.pw_dir;
    const std::string name = std::string("USER=") + user.pw_name;
    const std::string logname = std::string("LOGNAME=") + user.pw_name;
    const std::string shell = std::string("SHELL=") + user.pw_shell;
    const char* environment[] = {"PATH=/usr/bin:/bin:/usr/sbin:/sbin",
                                 home.c_str(),
                                 name.c_str(),
                                 logname.c_str(),
                                 shell.c_str(),
                                 nullptr};
    std::vector<char*> argv;
    for (const auto& argument : command) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDONLY);
        if (setsid() < 0 || null < 0 || dup2(null, STDIN_FILENO) < 0 ||
            dup2(outPipe[1], STDOUT_FILENO) < 0 || dup2(errPipe[1], STDERR_FILENO) < 0 ||
            initgroups(user.pw_name, user.pw_gid) != 0 || setgid(user.pw_gid) != 0 ||
            setuid(user.pw_uid) != 0 || chdir(user.pw_dir) != 0) {
            _exit(127);
        }
        execve(argv[0], argv.data(), const_cast<char* const*>(environment));
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    Captured captured;
    if (pid > 0) {
        captured = collect(pid, outPipe[0], errPipe[0]);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    return captured;
}

void medians(const std::string& which, const std::map<std::string, std::vector<double>>& series) {
    for (const auto& [key, values] : series) {
        result(which + "." + key, median(values));
    }
}

// P8: after one uninstall, the check that finds what is left over, as the command line makes it
// (in process: the scripts' list read and looked for), against the scripts' own --list run as the
// uninstall runs them (the user's as the user), for reference.
int benchLeftoversCheck(const std::string& cli, int rounds) {
    const passwd* found = getpwnam("alex");
    if (found == nullptr) {
        fail("p8: no user alex");
    }
    const passwd alex = *found;
    Captured uninstall = spawnAndCapture({cli, "uninstall", "--user", "alex", "--json", "--quiet"});
    const nlohmann::json report = nlohmann::json::parse(uninstall.out);
    const auto& scripts = report.at("uninstallScripts");
    if (!scripts.at("user").is_string() || !scripts.at("administrator").is_string()) {
        fail("p8: the uninstall scripts are missing: " + uninstall.err);
    }
    nimbla::Plan plan;
    for (const char* which : {"user", "administrator"}) {
        nimbla::PlannedStep step;
        step.removes = nimbla::Removal::ListedByScript;
        step.script = scripts.at(which).get<std::string>();
        step.asAdministrator = std::string(which) == "administrator";
        plan.steps.push_back(step);
    }
    nimbla::Session session;
    session.userName = alex.pw_name;
    session.home = alex.pw_dir;
    const std::vector<std::string> userList{plan.steps[0].script, "--list"};
    const std::vector<std::string> adminList{plan.steps[1].script, "--list"};
    std::map<std::string, std::vector<double>> series;
    std::vector<double> ratios;
    std::size_t leftovers = 0;
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        const auto left = nimbla::leftoversOf(session, plan);
        const double check = static_cast<double>(nanosSince(start));
        if (!left) {
            fail("p8: the scripts' list cannot be read");
        }
        leftovers = left->size();
        start = Clock::now();
        const Captured mine = spawnAsAndCapture(alex, userList);
        const Captured machine = spawnAndCapture(adminList);
        const double listing = static_cast<double>(nanosSince(start));
        if (!mine.exitedWithZero || !machine.exitedWithZero) {
            fail("p8: a listing failed: " + mine.err + machine.err);
        }
        series["check_ns"].push_back(check);
        series["scripts_list_ns"].push_back(listing);
        ratios.push_back(check / listing);
    }
    std::printf("# p8: after the uninstall (exit status in its report: %d), %zu leftovers\n",
                report.value("exitCode", -1), leftovers);
    medians("p8", series);
    result("p8.check_per_scripts_list", median(ratios));
    return 0;
}

// Fills sam's home: 50,000 small files in the domain's folder (50 folders of 1,000), and 40,000
// names that nearly match the client's (its bundle identifier, the list's patterns) in the
// folders status reads, 10,000 in each.
void crowdHome(const std::string& home) {
    namespace fs = std::filesystem;
    const auto touch = [](const fs::path& path) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0 || write(fd, "synced", 6) != 6 || close(fd) != 0) {
            fail("p9: cannot create " + path.string());
        }
    };
    const fs::path domain = fs::path(home) / "Library/CloudStorage/Nimbla-Nimbla";
    for (int folder = 0; folder < 50; ++folder) {
        const fs::path at = domain / ("folder " + std::to_string(folder));
        fs::create_directories(at);
        for (int file = 0; file < 1000; ++file) {
            touch(at / ("file " + std::to_string(file) + ".txt"));
        }
    }
    const fs::path library = fs::path(home) / "Library";
    const std::pair<const char*, const char*> near[] = {
        {"Preferences/com.nimbla.desktop", ".plist"},         // not com.nimbla.desktop.*.plist
        {"LaunchAgents/com.nimbla.desktopagent.", ".plist"},  // another identifier
        {"Group Containers/ABCDE-", ".com.nimbla.desktop"},   // not a team identifier
        {"Containers/com.nimbla.desktopx.", ""},
    };
    for (const auto& [prefix, suffix] : near) {
        fs::create_directories((library / prefix).parent_path());
        for (int i = 0; i < 10000; ++i) {
            touch(library / (prefix + std::to_string(i) + suffix));
        }
    }
}

// The floor under P9: the names of the crowded folders read with readdir and nothing else.
double readNamesNs(const std::string& home) {
    const auto start = Clock::now();
    std::size_t count = 0;
    for (const char* folder : {"Preferences", "LaunchAgents", "Group Containers", "Containers"}) {
        DIR* dir = opendir((home + "/Library/" + folder).c_str());
        if (dir == nullptr) {
            fail(std::string("p9: cannot read ") + folder);
        }
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
    }
    if (count < 40000) {
        fail("p9: the crowded folders hold too few names");
    }
    return static_cast<double>(nanosSince(start));
}

// P9: status for a crowded home against status for a plain one, round by round.
int benchCrowdedHome(const std::string& cli, int rounds) {
    const passwd* sam = getpwnam("sam");
    if (sam == nullptr) {
        fail("p9: no user sam");
    }
    crowdHome(sam->pw_dir);
    const std::vector<std::string> plain = {cli, "status", "--user", "alex", "--json", "--quiet"};
    const std::vector<std::string> crowded = {cli, "status", "--user", "sam", "--json", "--quiet"};
    const Captured check = spawnAndCapture(crowded);
    const nlohmann::json report = nlohmann::json::parse(check.out);
    std::printf("# p9: %zu traces for sam, %zu unlisted\n", report.at("traces").size(),
                report.at("unlisted").size());
    std::map<std::string, std::vector<double>> series;
    std::vector<double> ratios, floorRatios;
    for (int round = 0; round < rounds; ++round) {
        double plainNs = 0, crowdedNs = 0;
        for (int which = 0; which < 2; ++which) {
            const bool crowdedFirst = round % 2 == 1;
            const bool isCrowded = (which == 0) == crowdedFirst;
            const auto start = Clock::now();
            if (!spawnAndCapture(isCrowded ? crowded : plain).exitedWithZero) {
                fail("p9: status failed");
            }
            (isCrowded ? crowdedNs : plainNs) = static_cast<double>(nanosSince(start));
        }
        const double floorNs = readNamesNs(sam->pw_dir);
        series["plain_ns"].push_back(plainNs);
        series["crowded_ns"].push_back(crowdedNs);
        series["read_names_ns"].push_back(floorNs);
        ratios.push_back(crowdedNs / plainNs);
        floorRatios.push_back(crowdedNs / (plainNs + floorNs));
    }
    medians("p9", series);
    result("p9.crowded_per_plain", median(ratios));
    result("p9.crowded_per_plain_and_names", median(floorRatios));
    return 0;
}

}  // namespace

// P6: `status --json` against its probe commands run directly (and against the administrators'
// script, when given). P7: a whole `reset` against the same commands run directly: the difference
// is the command line's own time.
int benchCommandLine(const std::string& which, const std::string& cli, int rounds,
                     const std::string& adminScript) {
    if (getenv("NIMBLA_SIM_TOOL") == nullptr) {
        fail(which + " runs inside the simulated installation (tools/sim/nimbla-sim)");
    }
    if (which == "p8") {
        return benchLeftoversCheck(cli, rounds);
    }
    if (which == "p9") {
        return benchCrowdedHome(cli, rounds);
    }
    const std::vector<std::string> run = {
        cli, which == "p6" ? "status" : "reset", "--user", "alex", "--json", "--quiet"};
    const std::vector<std::string> admin = {"/bin/bash", adminScript, "alex"};
    // The first reset removes what there is; the measured ones run the same commands each time.
    Captured first = spawnAndCapture(run);
    const auto commands = stepsOf(spawnAndCapture(run).out);
    if (commands.empty()) {
        fail("the command line ran no command: " + first.err);
    }
    std::map<std::string, std::vector<double>> series;
    std::vector<double> ratios, adminRatios;
    for (int round = 0; round < rounds; ++round) {
        // For reference: the program's start and end alone.
        auto start = Clock::now();
        spawnAndCapture({cli, "--version"});
        series["start_ns"].push_back(static_cast<double>(nanosSince(start)));
        start = Clock::now();
        if (!spawnAndCapture(run).exitedWithZero) {
            fail(which + ": the command line failed");
        }
        const double ours = static_cast<double>(nanosSince(start));
        start = Clock::now();
        for (const auto& command : commands) {
            spawnAndCapture(command);
        }
        const double direct = static_cast<double>(nanosSince(start));
        series["cli_ns"].push_back(ours);
        series["direct_ns"].push_back(direct);
        series["beyond_children_ns"].push_back(ours - direct);
        ratios.push_back(ours / direct);
        if (!adminScript.empty()) {
            start = Clock::now();
            if (!spawnAndCapture(admin).exitedWithZero) {
                fail(which + ": the administrators' script failed");
            }
            const double script = static_cast<double>(nanosSince(start));
            series["admin_ns"].push_back(script);
            adminRatios.push_back(ours / script);
        }
    }
    std::printf("# %s: %zu commands\n", which.c_str(), commands.size());
    result(which + ".commands", static_cast<double>(commands.size()));
    medians(which, series);
    result(which + ".cli_per_direct", median(ratios));
    if (!adminRatios.empty()) {
        result(which + ".cli_per_admin", median(adminRatios));
    }
    return 0;
}

}  // namespace nimbla_bench
