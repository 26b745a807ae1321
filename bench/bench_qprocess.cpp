// Starts /bin/true N times with QProcess, reading both of its streams as the tool does, and
// prints the mean time per call in nanoseconds:  nimbla_bench_qprocess N
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <cstdlib>

namespace {

bool runOnce() {
    QProcess process;
    process.start(QStringLiteral("/bin/true"), {});
    if (!process.waitForFinished(-1)) {
        return false;
    }
    const QByteArray out = process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
           out.isEmpty() && err.isEmpty();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long calls = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100;
    if (calls <= 0 || !runOnce()) {  // the first call also loads what QProcess needs
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    for (long i = 0; i < calls; ++i) {
        if (!runOnce()) {
            return 1;
        }
    }
    std::printf("%lld\n", static_cast<long long>(timer.nsecsElapsed() / calls));
    return 0;
}
