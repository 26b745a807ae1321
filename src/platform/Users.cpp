#include "platform/Users.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace nimbla::platform {

namespace {

// Every group `user` belongs to, `gid` included, through getgrouplist, whose group type is gid_t
// on Linux and int on macOS (taken from the function itself).
template <typename Base, typename Group>
std::vector<gid_t> groupsOf(int (*list)(const char*, Base, Group*, int*), const char* user,
                            gid_t gid) {
    int count = 32;
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::vector<Group> groups(static_cast<std::size_t>(count));
        int wanted = count;
        if (list(user, static_cast<Base>(gid), groups.data(), &wanted) >= 0) {
            groups.resize(static_cast<std::size_t>(wanted));
            return std::vector<gid_t>(groups.begin(), groups.end());
        }
        count = wanted > count ? wanted : count * 2;
    }
    return {gid};
}

// getpwnam_r / getpwuid_r with a buffer that grows as needed.
template <typename Key, typename Lookup>
std::optional<RunAs> lookUp(Key key, Lookup lookup) {
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 4096);
    passwd entry{};
    passwd* found = nullptr;
    for (;;) {
        const int rc = lookup(key, &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1U << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc == EINTR) {
            continue;
        }
        break;
    }
    if (found == nullptr || found->pw_name == nullptr || found->pw_dir == nullptr ||
        found->pw_dir[0] != '/') {
        return std::nullopt;
    }
    RunAs account;
    account.uid = found->pw_uid;
    account.gid = found->pw_gid;
    account.user = found->pw_name;
    account.home = found->pw_dir;
    account.shell = found->pw_shell != nullptr ? found->pw_shell : "";
    while (account.home.size() > 1 && account.home.back() == '/') {
        account.home.pop_back();
    }
    account.groups = groupsOf(::getgrouplist, account.user.c_str(), account.gid);
    return account;
}

}  // namespace

std::optional<RunAs> lookUpUser(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return lookUp(name.c_str(), ::getpwnam_r);
}

std::optional<RunAs> lookUpUser(uid_t uid) {
    return lookUp(uid, ::getpwuid_r);
}

std::vector<RunAs> allAccounts() {
    std::vector<std::string> names;
    ::setpwent();
    while (const passwd* entry = ::getpwent()) {
        if (entry->pw_name != nullptr) {
            names.emplace_back(entry->pw_name);
        }
    }
    ::endpwent();
    std::vector<RunAs> accounts;
    for (const std::string& name : names) {
        if (std::optional<RunAs> account = lookUpUser(name)) {
            accounts.push_back(std::move(*account));
        }
    }
    return accounts;
}

std::optional<RunAs> consoleUser() {
    struct stat st {};
    if (::stat("/dev/console", &st) != 0 || st.st_uid == 0) {
        return std::nullopt;
    }
    return lookUpUser(st.st_uid);
}

}  // namespace nimbla::platform
