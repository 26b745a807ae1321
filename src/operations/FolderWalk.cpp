#include "operations/FolderWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <utility>

namespace nimbla {

namespace {

// Only folders are opened, a link is never followed, and a FIFO met in a race does not block.
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// Deeper folders are not measured: each level holds a descriptor.
constexpr int kMaxDepth = 256;

#ifdef AT_NO_AUTOMOUNT
constexpr int kLookFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
#else
constexpr int kLookFlags = AT_SYMLINK_NOFOLLOW;
#endif

bool sameObject(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

Folder::Folder(int fd, dev_t device, bool sameFilesystem, std::string path)
    : fd_(fd), device_(device), sameFilesystem_(sameFilesystem), path_(std::move(path)) {}

Folder::Folder(Folder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      device_(other.device_),
      sameFilesystem_(other.sameFilesystem_),
      path_(std::move(other.path_)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        device_ = other.device_;
        sameFilesystem_ = other.sameFilesystem_;
        path_ = std::move(other.path_);
    }
    return *this;
}

Folder::~Folder() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::optional<Folder> Folder::open(const std::string& path, bool sameFilesystem) {
    if (path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    Folder folder(fd, 0, sameFilesystem, "");
    // The physical path shown must name the folder held open, not one swapped in since.
    char resolved[PATH_MAX];
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) != 0 || ::realpath(path.c_str(), resolved) == nullptr ||
        ::lstat(resolved, &named) != 0 || !S_ISDIR(named.st_mode) || !sameObject(held, named)) {
        return std::nullopt;
    }
    folder.device_ = held.st_dev;
    folder.path_ = resolved;
    return folder;
}

std::optional<Folder> Folder::child(std::string_view name) const {
    const std::string own(name);
    if (own.empty() || own == "." || own == ".." || own.find('/') != std::string::npos) {
        return std::nullopt;
    }
    // Looked at first: an entry on another filesystem (a mount, say of a network volume) is
    // never opened, so it cannot stall the walk.
    struct stat before {
    }, opened{};
    if (::fstatat(fd_, own.c_str(), &before, kLookFlags) != 0 || !S_ISDIR(before.st_mode) ||
        (sameFilesystem_ && before.st_dev != device_)) {
        return std::nullopt;
    }
    const int fd = ::openat(fd_, own.c_str(), kFolderFlags);
    if (fd < 0) {
        return std::nullopt;
    }
    Folder folder(fd, device_, sameFilesystem_, (path_ == "/" ? "" : path_) + "/" + own);
    if (::fstat(fd, &opened) != 0 || !sameObject(before, opened)) {
        return std::nullopt;  // swapped between the look and the open
    }
    return folder;
}

std::optional<struct stat> Folder::look(std::string_view name) const {
    const std::string own(name);
    struct stat st {};
    if (own.empty() || own.find('/') != std::string::npos ||
        ::fstatat(fd_, own.c_str(), &st, kLookFlags) != 0) {
        return std::nullopt;
    }
    return st;
}

bool Folder::names(const std::function<bool(std::string_view)>& each) const {
    const int fd = ::openat(fd_, ".", kFolderFlags);
    if (fd < 0) {
        return false;
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), ::closedir);
    if (!dir) {
        ::close(fd);
        return false;
    }
    for (;;) {
        errno = 0;  // `each` may have set it
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            return errno == 0;
        }
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && !each(name)) {
            return true;
        }
    }
}

bool Folder::bytesInto(std::uintmax_t& total, std::size_t& budget, int depth) const {
    if (depth > kMaxDepth) {
        return false;
    }
    struct stat own {};
    if (::fstat(fd_, &own) != 0) {
        return false;
    }
    std::vector<std::string> folders;
    bool complete = true;
    const bool read = names([&](std::string_view name) {
        if (budget == 0) {
            complete = false;
            return false;
        }
        --budget;
        const std::optional<struct stat> st = look(name);
        if (!st) {
            return true;  // gone since it was listed
        }
        if (S_ISREG(st->st_mode)) {
            total += static_cast<std::uintmax_t>(st->st_size);
        } else if (S_ISDIR(st->st_mode) && st->st_dev == own.st_dev) {
            folders.emplace_back(name);
        } else if (S_ISDIR(st->st_mode)) {
            complete = false;  // another filesystem: not entered, so not known
        }
        return complete;
    });
    if (!read || !complete) {
        return false;
    }
    for (const std::string& name : folders) {
        const std::optional<Folder> inner = child(name);
        if (!inner || !inner->bytesInto(total, budget, depth + 1)) {
            return false;
        }
    }
    return true;
}

std::optional<std::uintmax_t> Folder::bytes(std::size_t budget) const {
    std::uintmax_t total = 0;
    if (!bytesInto(total, budget, 0)) {
        return std::nullopt;
    }
    return total;
}

void Listing::add(std::string_view name) {
    bytes_.append(name);
    ends_.push_back(static_cast<std::uint32_t>(bytes_.size()));
}

std::string_view Listing::operator[](std::size_t i) const {
    const std::uint32_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
}

Tree::Tree(Folder top) : prefix_(top.path() == "/" ? "" : top.path()) {
    folders_.emplace("", std::move(top));
}

std::optional<Tree> Tree::open(const std::string& top, bool sameFilesystem) {
    std::optional<Folder> folder = Folder::open(top, sameFilesystem);
    if (!folder) {
        return std::nullopt;
    }
    return Tree(std::move(*folder));
}

std::string Tree::full(std::string_view relative) const {
    if (relative.empty()) {
        return prefix_.empty() ? "/" : prefix_;
    }
    std::string path = prefix_;
    path += '/';
    path += relative;
    return path;
}

const Folder* Tree::folder(const std::string& relative) {
    if (const auto found = folders_.find(relative); found != folders_.end()) {
        return found->second ? &*found->second : nullptr;
    }
    const auto [parent, name] = splitLast(relative);
    const Folder* above = folder(parent);
    std::optional<Folder> opened = above != nullptr ? above->child(name) : std::nullopt;
    const auto placed = folders_.emplace(relative, std::move(opened)).first;
    return placed->second ? &*placed->second : nullptr;
}

const Listing* Tree::names(const std::string& relative) {
    if (const auto found = listings_.find(relative); found != listings_.end()) {
        return found->second ? &*found->second : nullptr;
    }
    std::optional<Listing> listing;
    if (const Folder* at = folder(relative)) {
        listing.emplace();
        if (!at->names([&](std::string_view name) {
                listing->add(name);
                return true;
            })) {
            listing.reset();
        }
    }
    const auto placed = listings_.emplace(relative, std::move(listing)).first;
    return placed->second ? &*placed->second : nullptr;
}

std::optional<struct stat> Tree::look(const std::string& relative) {
    const auto [parent, name] = splitLast(relative);
    const Folder* at = folder(parent);
    return at != nullptr && !name.empty() ? at->look(name) : std::nullopt;
}

std::pair<std::string, std::string> splitLast(const std::string& relative) {
    const std::size_t slash = relative.rfind('/');
    if (slash == std::string::npos) {
        return {"", relative};
    }
    return {relative.substr(0, slash), relative.substr(slash + 1)};
}

}  // namespace nimbla
