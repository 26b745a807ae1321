#include "platform/NotificationCenter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace nimbla::platform {

namespace {

// One registration. Its own lock guards the removed flag and the calls in progress, so that a
// removal can wait for calls on other threads without holding the center's lock.
struct Registration {
    Registration(NotificationCenter::Token t, std::string n, NotificationCenter::Observer o)
        : token(t), name(std::move(n)), observer(std::move(o)) {}

    const NotificationCenter::Token token;
    const std::string name;
    const NotificationCenter::Observer observer;

    std::mutex mutex;
    std::condition_variable callEnded;
    bool removed = false;
    std::vector<std::thread::id> callers;  // one entry per call in progress

    // Calls the observer unless it was removed; false when it was.
    bool call() {
        const auto self = std::this_thread::get_id();
        {
            std::lock_guard lock(mutex);
            if (removed) {
                return false;
            }
            callers.push_back(self);
        }
        struct CallEnd {
            Registration& r;
            std::thread::id self;
            ~CallEnd() {
                {
                    std::lock_guard lock(r.mutex);
                    r.callers.erase(std::find(r.callers.begin(), r.callers.end(), self));
                }
                r.callEnded.notify_all();
            }
        } end{*this, self};
        observer();
        return true;
    }

    // Marks it removed, then waits until no other thread is inside it. Calls on this thread are
    // the caller's own stack and are not waited for.
    void remove() {
        const auto self = std::this_thread::get_id();
        std::unique_lock lock(mutex);
        removed = true;
        callEnded.wait(lock, [&] {
            return std::all_of(callers.begin(), callers.end(),
                               [&](std::thread::id id) { return id == self; });
        });
    }
};

}  // namespace

struct NotificationCenter::Impl {
    std::mutex mutex;
    Token lastToken = 0;
    std::vector<std::shared_ptr<Registration>> registrations;  // in registration order
};

NotificationCenter::NotificationCenter() : impl_(std::make_unique<Impl>()) {}
NotificationCenter::~NotificationCenter() = default;

NotificationCenter::Impl& NotificationCenter::impl() {
    return *impl_;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string_view name,
                                                          Observer observer) {
    Impl& d = impl();
    std::lock_guard lock(d.mutex);
    const Token token = ++d.lastToken;
    d.registrations.push_back(
        std::make_shared<Registration>(token, std::string(name), std::move(observer)));
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    Impl& d = impl();
    std::shared_ptr<Registration> found;
    {
        std::lock_guard lock(d.mutex);
        auto it = std::find_if(d.registrations.begin(), d.registrations.end(),
                               [&](const auto& r) { return r->token == token; });
        if (it == d.registrations.end()) {
            return;
        }
        found = std::move(*it);
        d.registrations.erase(it);
    }
    found->remove();
}

void NotificationCenter::post(std::string_view name) {
    Impl& d = impl();
    std::vector<std::shared_ptr<Registration>> snapshot;
    {
        std::lock_guard lock(d.mutex);
        for (const auto& r : d.registrations) {
            if (r->name == name) {
                snapshot.push_back(r);
            }
        }
    }
    // Observers added meanwhile wait for the next post; removed ones are skipped.
    for (const auto& r : snapshot) {
        r->call();
    }
}

// Never destroyed: a notification posted while the process exits must still find it.
NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter* const center = new NotificationCenter;
    return *center;
}

}  // namespace nimbla::platform
