#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbla {

// A folder held open by its descriptor and reached from a top folder one name at a time: never
// through a symbolic link, never onto another filesystem than the top's (when the walk asks for
// that), and nothing but folders is ever opened: a FIFO, a socket or a device is looked at, never
// opened, so nothing blocks. Root walks a user's home this way: a folder the user swaps for a
// link between two looks is refused, not followed.
class Folder {
public:
    // The folder at the absolute `path` (links on the way followed: root's own, as a home from
    // the user database may need), with its physical path. With `sameFilesystem`, nothing below it
    // on another filesystem is entered. None when it is not a folder or changed while looked at.
    static std::optional<Folder> open(const std::string& path, bool sameFilesystem);

    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    const std::string& path() const { return path_; }

    // The folder `name` inside this one; none when it is missing, a link, not a folder, on
    // another filesystem (see open) or cannot be opened.
    std::optional<Folder> child(std::string_view name) const;

    // What `name` inside this one is, the link itself for a link; none when it is missing.
    std::optional<struct stat> look(std::string_view name) const;

    // Calls `each` with every name inside (dot names too, but "." and ".."), in the order the
    // filesystem gives them, until it returns false. False when it cannot be read.
    bool names(const std::function<bool(std::string_view)>& each) const;

    // The bytes of the regular files below, links not followed and no other filesystem entered,
    // when no more than `budget` entries are met; none beyond that, or when a folder below cannot
    // be read or lies on another filesystem (the size is then not known).
    std::optional<std::uintmax_t> bytes(std::size_t budget) const;

private:
    Folder(int fd, dev_t device, bool sameFilesystem, std::string path);
    bool bytesInto(std::uintmax_t& total, std::size_t& budget, int depth) const;

    int fd_ = -1;
    dev_t device_ = 0;  // the top's filesystem
    bool sameFilesystem_ = true;
    std::string path_;
};

// The names of one folder, read once: one buffer, in the filesystem's order.
class Listing {
public:
    void add(std::string_view name);
    std::size_t size() const { return ends_.size(); }
    std::string_view operator[](std::size_t i) const;

private:
    std::string bytes_;
    std::vector<std::uint32_t> ends_;
};

// One walk below a top folder (a home, or the machine's "/"): every folder opened once and every
// listing read once, however often the walk asks for them. Paths are relative to the top ("" the
// top itself, "Library/Preferences"), and shown as full paths below its physical path.
class Tree {
public:
    static std::optional<Tree> open(const std::string& top, bool sameFilesystem);

    // The full path of `relative`.
    std::string full(std::string_view relative) const;

    // The folder at `relative`, each folder on the way as Folder::child takes it; none when one
    // is not.
    const Folder* folder(const std::string& relative);

    // The names in the folder at `relative`; none when it is not a folder or cannot be read.
    const Listing* names(const std::string& relative);

    // What the entry at `relative` is (not followed), when every folder on its way is a folder.
    std::optional<struct stat> look(const std::string& relative);

private:
    explicit Tree(Folder top);

    std::string prefix_;  // the top's physical path, "" for "/"
    std::map<std::string, std::optional<Folder>, std::less<>> folders_;
    std::map<std::string, std::optional<Listing>, std::less<>> listings_;
};

// The folder part of a relative path ("" when it has none) and its last name.
std::pair<std::string, std::string> splitLast(const std::string& relative);

}  // namespace nimbla
