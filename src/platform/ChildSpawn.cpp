#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/os/ChildProcess.h"

extern char** environ;

// What ChildProcess.<os>.cpp share: argv, posix_spawn's set-up and the child's environment.

namespace nimbla::platform {

int os::makeArgv(const std::string& path, const std::vector<std::string>& arguments,
                 std::vector<char*>& argv) {
    if (path.find('\0') != std::string::npos) {
        return EINVAL;
    }
    argv.clear();
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& argument : arguments) {
        if (argument.find('\0') != std::string::npos) {
            return EINVAL;
        }
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return 0;
}

os::SpawnSetup::SpawnSetup(ChildInput input, int outFd, int errFd, short flags) {
    error_ = posix_spawn_file_actions_init(&actions_);
    actionsReady_ = error_ == 0;
    if (error_ == 0) {
        error_ = posix_spawnattr_init(&attributes_);
        attributesReady_ = error_ == 0;
    }
    if (input == ChildInput::Null) {
        addAction([](auto* actions) {
            return posix_spawn_file_actions_addopen(actions, STDIN_FILENO, "/dev/null", O_RDONLY,
                                                    0);
        });
    }
    addAction([outFd](auto* actions) {
        return posix_spawn_file_actions_adddup2(actions, outFd, STDOUT_FILENO);
    });
    addAction([errFd](auto* actions) {
        return posix_spawn_file_actions_adddup2(actions, errFd, STDERR_FILENO);
    });
    if (error_ != 0) {
        return;
    }
    sigset_t defaulted;
    sigset_t unblocked;
    sigfillset(&defaulted);
    sigdelset(&defaulted, SIGKILL);
    sigdelset(&defaulted, SIGSTOP);
    sigemptyset(&unblocked);
    error_ = posix_spawnattr_setsigdefault(&attributes_, &defaulted);
    if (error_ == 0) {
        error_ = posix_spawnattr_setsigmask(&attributes_, &unblocked);
    }
    if (error_ == 0) {
        error_ = posix_spawnattr_setflags(
            &attributes_,
            static_cast<short>(POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | flags));
    }
}

os::SpawnSetup::~SpawnSetup() {
    if (attributesReady_) {
        posix_spawnattr_destroy(&attributes_);
    }
    if (actionsReady_) {
        posix_spawn_file_actions_destroy(&actions_);
    }
}

int os::SpawnSetup::spawn(const std::string& path, char* const* argv, char* const* environment,
                          pid_t& pid) {
    if (error_ == 0) {
        error_ = ::posix_spawn(&pid, path.c_str(), &actions_, &attributes_, argv, environment);
    }
    return error_;
}

namespace {

constexpr std::string_view kSystemPath = "PATH=/usr/bin:/bin:/usr/sbin:/sbin";

bool isLocaleOrTimeZone(std::string_view variable) {
    return variable.starts_with("LANG=") || variable.starts_with("LC_") ||
           variable.starts_with("TZ=");
}

}  // namespace

std::vector<std::string> os::environmentFor(const RunAs* runAs) {
    std::vector<std::string> environment{std::string(kSystemPath)};
    if (runAs) {
        const std::string shell = runAs->shell.empty() ? "/bin/sh" : runAs->shell;
        for (const std::string* value : {&runAs->home, &runAs->user, &shell}) {
            if (value->find('\0') != std::string::npos) {
                return {};
            }
        }
        environment.push_back("HOME=" + runAs->home);
        environment.push_back("USER=" + runAs->user);
        environment.push_back("LOGNAME=" + runAs->user);
        environment.push_back("SHELL=" + shell);
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        if (runAs ? isLocaleOrTimeZone(variable) : !variable.starts_with("PATH=")) {
            environment.emplace_back(variable);
        }
    }
    return environment;
}

}  // namespace nimbla::platform
