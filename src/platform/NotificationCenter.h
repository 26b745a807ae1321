#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace nimbla::platform {

// Post by name, observe by name. Notifications carry no object and no user information.
// Observers run synchronously on the posting thread, in registration order. Adding and removing
// observers is thread-safe, also from inside an observer; once removeObserver returns, that
// observer is never called again (unless it is the one running on this very thread): a removal
// from another thread waits for calls of that observer in progress elsewhere. Two threads that
// each remove, from inside an observer, the observer the other is running would wait for each
// other; don't do that.
class NotificationCenter {
public:
    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    using Token = std::uint64_t;
    using Observer = std::function<void()>;

    Token addObserver(std::string_view name, Observer observer);
    void removeObserver(Token token);
    void post(std::string_view name);

    static NotificationCenter& defaultCenter();

private:
    struct Impl;
    Impl& impl();
    std::unique_ptr<Impl> impl_;
};

}  // namespace nimbla::platform
