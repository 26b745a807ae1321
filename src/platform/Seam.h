#pragma once

#include <functional>
#include <utility>

namespace nimbla::platform {

template <typename Signature>
class Seam;

// A replaceable function through which the tool reaches the outside world (the clock, the home
// folder, child processes, the scripting service, ...). Production code calls it; a test swaps
// it for the length of a scope. The default is always the real thing.
//
// Replacing a seam is not synchronised with calls through it: replace it before the work that
// uses it starts, and restore it after that work has drained.
template <typename R, typename... Args>
class Seam<R(Args...)> {
public:
    using Function = std::function<R(Args...)>;

    explicit Seam(Function real) : real_(real), current_(std::move(real)) {}
    Seam(const Seam&) = delete;
    Seam& operator=(const Seam&) = delete;

    R operator()(Args... args) const { return current_(std::forward<Args>(args)...); }

    // Puts `replacement` in place until the returned guard goes out of scope.
    class [[nodiscard]] Override {
    public:
        Override(Seam& seam, Function replacement) : seam_(seam), saved_(std::move(seam.current_)) {
            seam_.current_ = std::move(replacement);
        }
        ~Override() { seam_.current_ = std::move(saved_); }
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

    private:
        Seam& seam_;
        Function saved_;
    };
    Override override(Function replacement) { return Override(*this, std::move(replacement)); }

    // Replaces the function for good (a front end plugging in its own event loop, say).
    void replace(Function replacement) { current_ = std::move(replacement); }
    // The default, for replacements that wrap it.
    const Function& real() const { return real_; }

private:
    Function real_;
    Function current_;
};

}  // namespace nimbla::platform
