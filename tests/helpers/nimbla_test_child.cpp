// The child program of the process runner's tests. Each argument is one instruction, carried out
// in order; then it exits with status 0 unless told otherwise.
//   out=TEXT / err=TEXT          write TEXT to stdout / stderr; \xHH stands for the byte HH
//   big=N                        N bytes of the test pattern on stdout and N on stderr, in turns
//   fds                          print the open descriptors and how SIGPIPE is handled
//   parentfds                    print which of descriptors 0, 1 and 2 are open in the parent
//   session                      print "sid=<session id> tty=<yes|no> in=<what fd 0 is>\n"
//                                (tty: whether /dev/tty opens)
//   env                          print the environment, one entry a line
//   orphan=quiet|flood           leave behind a process holding both pipes (flood: it writes to
//                                stdout without pause) and write "orphan=<pid>\n" on stderr
//   sleep=MS, signal=N, exit=N
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "helpers/TestSupport.h"

extern char** environ;

void writeAll(int fd, std::string_view text) {
    for (ssize_t n = 0; !text.empty(); text.remove_prefix(std::size_t(n))) {
        if ((n = write(fd, text.data(), text.size())) <= 0) {
            _exit(90);  // the reader is gone
        }
    }
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string instruction = argv[i],
                          name = instruction.substr(0, instruction.find('='));
        const std::string value = instruction.substr(std::min(name.size() + 1, instruction.size()));
        const int fd =
            name == "out" || name.ends_with("fds") || name == "session" || name == "env" ? 1 : 2;
        std::string text;
        if (name == "out" || name == "err") {
            for (std::size_t at = 0; at < value.size(); ++at) {
                const bool hex = value.compare(at, 2, "\\x") == 0;
                text += hex ? char(std::stoi(value.substr(at + 2, 2), nullptr, 16)) : value[at];
                at += hex ? 3 : 0;
            }
        } else if (name == "big") {
            static char piece[nimbla::testsupport::kPiece];
            for (unsigned long long at = 0, total = std::stoull(value); at < total;
                 at += sizeof piece) {
                for (int stream : {1, 2}) {
                    nimbla::testsupport::patternPiece(stream, at, piece);
                    writeAll(stream, {piece, std::min<std::size_t>(sizeof piece, total - at)});
                }
            }
        } else if (name == "fds") {
            for (int open = 0; open < 1024; ++open) {
                text += fcntl(open, F_GETFD) == -1 ? "" : std::to_string(open) + " ";
            }
            struct sigaction current {};
            sigaction(SIGPIPE, nullptr, &current);
            text += current.sa_handler == SIG_DFL ? "default\n" : "other\n";
        } else if (name == "parentfds") {
            for (int open = 0; open < 3; ++open) {
                const std::string entry =
                    "/proc/" + std::to_string(getppid()) + "/fd/" + std::to_string(open);
                struct stat link {};
                text += lstat(entry.c_str(), &link) == 0 ? std::to_string(open) + " " : "";
            }
        } else if (name == "session") {
            char in[256] = {};
            const ssize_t n = readlink("/proc/self/fd/0", in, sizeof in - 1);
            const int tty = open("/dev/tty", O_RDWR | O_NOCTTY);
            text = "sid=" + std::to_string(getsid(0)) + " tty=" + (tty >= 0 ? "yes" : "no") +
                   " in=" + (n > 0 ? in : "closed") + "\n";
        } else if (name == "env") {
            for (char** entry = environ; *entry != nullptr; ++entry) {
                text += std::string(*entry) + "\n";
            }
        } else if (name == "orphan") {
            if (const pid_t orphan = fork(); orphan != 0) {
                text = "orphan=" + std::to_string(orphan) + "\n";
            } else {
                signal(SIGPIPE, SIG_DFL);  // a flood ends at its first write after the reader's
                for (int tick = 0; tick < 600; ++tick) {
                    if (value == "flood")
                        writeAll(1, std::string(4096, '.'));
                    else
                        usleep(100000);
                }
                _exit(0);
            }
        } else if (name == "sleep") {
            usleep(useconds_t(std::stoi(value)) * 1000);
        } else if (name == "signal") {
            raise(std::stoi(value));
        } else {
            return name == "exit" ? std::stoi(value) : 92;
        }
        writeAll(fd, text);
    }
}
