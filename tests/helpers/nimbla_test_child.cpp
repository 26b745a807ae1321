// A small child program for the process runner's tests. Each argument is one instruction,
// carried out in order; the program then exits with status 0 unless told otherwise.
//   out=TEXT / err=TEXT  write TEXT to stdout / stderr (escapes: \n, \\, \xHH)
//   big=N                write N bytes to stdout and N to stderr, alternating in 16 KiB pieces
//   fds                  print the open descriptors, e.g. "0 1 2\n"
//   sigpipe              print how SIGPIPE is handled: "default\n" or "other\n"
//   grandchild           leave behind a process that writes "." to stdout every 100 ms (30 s)
//   sleep=MS             sleep
//   signal=N             raise signal N
//   exit=N               exit with status N
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            _exit(90);
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string unescape(const char* s) {
    std::string result;
    for (; *s; ++s) {
        if (*s != '\\' || s[1] == '\0') {
            result += *s;
        } else if (s[1] == 'n') {
            result += '\n';
            ++s;
        } else if (s[1] == 'x' && s[2] && s[3]) {
            result += static_cast<char>(std::stoi(std::string(s + 2, 2), nullptr, 16));
            s += 3;
        } else {
            result += s[1];
            ++s;
        }
    }
    return result;
}

// The bytes big=N writes at position i of each stream.
char bigByte(int fd, std::size_t i) {
    return fd == 1 ? static_cast<char>('a' + i % 26) : static_cast<char>('0' + i % 10);
}

void writeBig(std::size_t total) {
    constexpr std::size_t kPiece = 16 * 1024;
    for (std::size_t start = 0; start < total; start += kPiece) {
        const std::size_t length = std::min(kPiece, total - start);
        for (int fd : {1, 2}) {
            std::string piece(length, '\0');
            for (std::size_t i = 0; i < length; ++i) {
                piece[i] = bigByte(fd, start + i);
            }
            writeAll(fd, piece);
        }
    }
}

void listDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        _exit(91);
    }
    std::set<int> fds;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != dirfd(dir)) {
            fds.insert(std::atoi(entry->d_name));
        }
    }
    closedir(dir);
    std::string text;
    for (int fd : fds) {
        text += (text.empty() ? "" : " ") + std::to_string(fd);
    }
    writeAll(1, text + "\n");
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string instruction = argv[i];
        const auto eq = instruction.find('=');
        const std::string name = instruction.substr(0, eq);
        const char* value = eq == std::string::npos ? "" : argv[i] + eq + 1;
        if (name == "out" || name == "err") {
            writeAll(name == "out" ? 1 : 2, unescape(value));
        } else if (name == "big") {
            writeBig(std::strtoull(value, nullptr, 10));
        } else if (name == "fds") {
            listDescriptors();
        } else if (name == "sigpipe") {
            struct sigaction current {};
            sigaction(SIGPIPE, nullptr, &current);
            writeAll(1, current.sa_handler == SIG_DFL ? "default\n" : "other\n");
        } else if (name == "grandchild") {
            if (fork() == 0) {
                signal(SIGPIPE, SIG_DFL);  // dies at its first write once the reader is gone
                for (int tick = 0; tick < 300; ++tick) {
                    usleep(100 * 1000);
                    writeAll(1, ".");
                }
                _exit(0);
            }
        } else if (name == "sleep") {
            usleep(static_cast<useconds_t>(std::atoi(value)) * 1000);
        } else if (name == "signal") {
            raise(std::atoi(value));
        } else if (name == "exit") {
            return std::atoi(value);
        } else {
            return 92;
        }
    }
    return 0;
}
