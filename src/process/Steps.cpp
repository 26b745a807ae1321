#include "process/Steps.h"

#include <unistd.h>

#include "platform/Users.h"

namespace nimbla {

namespace {

StepObserver& observer() {
    static auto* const installed = new StepObserver;
    return *installed;
}

std::optional<platform::RunAs>& runAsUser() {
    static auto* const user = new std::optional<platform::RunAs>;
    return *user;
}

std::string& runAsName() {
    static auto* const name = new std::string;
    return *name;
}

}  // namespace

void setStepObserver(StepObserver newObserver) {
    observer() = std::move(newObserver);
}

void reportStep(const StepEvent& event) {
    if (const StepObserver& current = observer()) {
        current(event);
    }
}

void setCommandsRunAs(std::optional<platform::RunAs> user) {
    runAsUser() = std::move(user);
    std::string& name = runAsName();
    if (runAsUser()) {
        name = runAsUser()->user;
    } else if (auto me = platform::lookUpUser(::geteuid())) {
        name = me->user;
    } else {
        name = std::to_string(::geteuid());
    }
}

const std::optional<platform::RunAs>& commandsRunAs() {
    return runAsUser();
}

const std::string& commandsRunAsName() {
    return runAsName();
}

}  // namespace nimbla
