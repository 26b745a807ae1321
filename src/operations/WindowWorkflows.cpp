// The window's two entry points: the synchronous workflows run on the threads the window has
// always used, each ending in one outcome notification posted from the main queue.
#include <unistd.h>

#include <memory>

#include "operations/NimblaDriveUtils.h"
#include "operations/Outcomes.h"
#include "operations/Reset.h"
#include "operations/Uninstall.h"
#include "platform/Queues.h"

namespace nimbla {

namespace {

// The window works for its own user, with its own identity, logging to the Desktop.
std::shared_ptr<const Session> windowSession() {
    auto session = std::make_shared<Session>();
    session->clientOwner = ::getuid();
    session->log = &dest();
    return session;
}

}  // namespace

void resetNimbla(bool preUninstallReset) {
    auto session = windowSession();
    if (!preUninstallReset) {
        if (auto refused = refusalWhileRunning(*session, kResetRefusal, outcomes::resetFailed)) {
            outcomes::postFromMainQueue(refused->name);
            return;
        }
    }
    platform::dispatchBackgroundAsync([session, preUninstallReset] {
        const Outcome outcome = resetStages(*session);
        // Posted only now, so the final line is in the log before anyone hears of the outcome.
        if (!preUninstallReset) {
            outcomes::postFromMainQueue(outcome.name);
        }
    });
}

void uninstallNimbla() {
    auto session = windowSession();
    if (auto refused =
            refusalWhileRunning(*session, kUninstallRefusal, outcomes::uninstallFailed)) {
        outcomes::postFromMainQueue(refused->name);
        return;
    }
    auto run = std::make_shared<UninstallRun>(removeDomainBeforeUninstall(*session));
    platform::dispatchBackgroundAsync([session, run] {
        outcomes::postFromMainQueue(runUninstallScripts(*session, std::move(*run)).name);
    });
}

}  // namespace nimbla
