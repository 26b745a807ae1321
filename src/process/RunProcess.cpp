#include "process/RunProcess.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string_view>

#include "logging/Logger.h"
#include "platform/ChildProcess.h"
#include "process/Utf8.h"

namespace nimbla {

void writeSurvivingBrokenPipe(int fd, std::string_view text) {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t previousMask;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previousMask);

    bool brokenPipe = false;
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            brokenPipe = errno == EPIPE;
            break;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    if (brokenPipe && !alreadyPending) {
        // The write raised SIGPIPE for this thread, where it waits while blocked. sigwait takes it
        // at once; it is only called when the signal is there, so it can never block.
        sigemptyset(&pending);
        sigpending(&pending);
        int taken = 0;
        if (sigismember(&pending, SIGPIPE) == 1) {
            sigwait(&pipeSignal, &taken);
        }
    }
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
}

ProcessResult runProcess(const Session& session, const std::string& url,
                         const std::vector<std::string>& arguments,
                         const std::string& description) {
    StepEvent event;
    event.description = description;
    event.program = url;
    event.arguments = &arguments;
    event.asUser = session.userName;
    reportStep(session, event);
    const auto startedAt = std::chrono::steady_clock::now();
    const auto& runAs = session.runAs;
    platform::ChildOutput run =
        platform::runChild(url, arguments, platform::ChildInput::Inherit, runAs ? &*runAs : nullptr,
                           platform::ChildEnvironment::Inherit, &session.childWatch);
    event.phase = StepEvent::Phase::Ended;
    event.duration = std::chrono::steady_clock::now() - startedAt;
    event.started = run.started;
    event.launchError = run.launchError;
    event.exitStatus = run.exitStatus;
    event.signal = run.signal;
    event.outputBytes = run.out.size();
    event.errorOutputBytes = run.err.size();
    event.output = run.out;
    if (!isValidUtf8(run.out)) {
        writeSurvivingBrokenPipe(STDERR_FILENO, kStdoutDecodeError);
        event.output = {};  // as the result has it
        event.errorOutput = kStdoutDecodeError;
        reportStep(session, event);
        return {false, "", kStdoutDecodeError};
    }
    ProcessResult result;
    result.succeeded = run.exitedWithZero();  // a launch failure or a signal is a failure
    result.output = std::move(run.out);
    if (isValidUtf8(run.err)) {
        result.errorOutput = std::move(run.err);  // stays "" when the child wrote nothing
    }
    // Each line goes to the log as one append straight from the captured output, never copied.
    if (const LogDestination* log = session.log) {
        log->writePieces({description, " output: ", result.output, "\n"});
        if (!result.errorOutput.empty()) {
            log->writePieces({description, " Error output: ", result.errorOutput, "\n"});
        } else {
            log->writePieces({description, " done.\n"});
        }
    }
    event.succeeded = result.succeeded;
    event.output = result.output;
    event.errorOutput = result.errorOutput;
    reportStep(session, event);
    return result;
}

platform::Seam<RunProcessFn>& runProcessSeam() {
    static platform::Seam<RunProcessFn> seam(runProcess);
    return seam;
}

}  // namespace nimbla
