/* Starts a program and times it from the spawn until a window whose name contains NAME is mapped
 * on the X display; then lets it idle and reads its resident memory. Works the same for any
 * program, so the tool needs no hook of its own.
 *
 *   nimbla_bench_window_watch [--settle MS] [--timeout MS] NAME PROGRAM [ARGUMENT...]
 *
 * Prints "shown_ns=<ns> rss_kib=<KiB> hwm_kib=<KiB>" and exits 0, or a message and exits 1. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static int64_t nowNs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

static int propertyContains(Display* display, Window window, Atom property, const char* name) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    int found = 0;
    if (XGetWindowProperty(display, window, property, 0, 1024, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data != NULL) {
        if (format == 8) {
            char* text = malloc(count + 1);
            if (text != NULL) {
                memcpy(text, data, count);
                text[count] = '\0';
                found = strstr(text, name) != NULL;
                free(text);
            }
        }
        XFree(data);
    }
    return found;
}

static int ignoreErrors(Display* display, XErrorEvent* error) {
    (void)display;
    (void)error;
    return 0; /* windows may vanish between the event and the look at them */
}

static int isShownWithName(Display* display, Window window, Atom netWmName, const char* name) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.map_state != IsViewable) {
        return 0;
    }
    return propertyContains(display, window, netWmName, name) ||
           propertyContains(display, window, XA_WM_NAME, name);
}

static long statusKib(pid_t pid, const char* key) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* file = fopen(path, "r");
    if (file == NULL) {
        return -1;
    }
    char line[256];
    long value = -1;
    size_t keyLength = strlen(key);
    while (fgets(line, sizeof line, file) != NULL) {
        if (strncmp(line, key, keyLength) == 0 && line[keyLength] == ':') {
            value = strtol(line + keyLength + 1, NULL, 10);
            break;
        }
    }
    fclose(file);
    return value;
}

int main(int argc, char** argv) {
    long settleMs = 1000;
    long timeoutMs = 30000;
    int arg = 1;
    while (arg + 1 < argc && strncmp(argv[arg], "--", 2) == 0) {
        if (strcmp(argv[arg], "--settle") == 0) {
            settleMs = strtol(argv[arg + 1], NULL, 10);
        } else if (strcmp(argv[arg], "--timeout") == 0) {
            timeoutMs = strtol(argv[arg + 1], NULL, 10);
        } else {
            break;
        }
        arg += 2;
    }
    if (argc - arg < 2) {
        fprintf(stderr, "usage: %s [--settle MS] [--timeout MS] NAME PROGRAM [ARGUMENT...]\n",
                argv[0]);
        return 64;
    }
    const char* name = argv[arg];
    char** command = argv + arg + 1;

    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "window_watch: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    Window root = DefaultRootWindow(display);
    Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    const int64_t start = nowNs();
    if (posix_spawn(&pid, command[0], &actions, NULL, command, environ) != 0) {
        fprintf(stderr, "window_watch: cannot start %s\n", command[0]);
        return 1;
    }
    posix_spawn_file_actions_destroy(&actions);

    int64_t shown = -1;
    const int64_t deadline = start + (int64_t)timeoutMs * 1000000;
    while (shown < 0) {
        while (XPending(display) > 0 && shown < 0) {
            XEvent event;
            XNextEvent(display, &event);
            const int64_t at = nowNs();
            Window window = None;
            if (event.type == CreateNotify) {
                /* Its name may be set after it is mapped: watch its properties too. */
                XSelectInput(display, event.xcreatewindow.window, PropertyChangeMask);
            } else if (event.type == MapNotify) {
                window = event.xmap.window;
            } else if (event.type == PropertyNotify) {
                window = event.xproperty.window;
            }
            if (window != None && isShownWithName(display, window, netWmName, name)) {
                shown = at - start;
            }
        }
        if (shown >= 0) {
            break;
        }
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            fprintf(stderr, "window_watch: %s ended before showing its window\n", command[0]);
            return 1;
        }
        const int64_t left = deadline - nowNs();
        if (left <= 0) {
            fprintf(stderr, "window_watch: no window named \"%s\" in time\n", name);
            kill(pid, SIGKILL);
            waitpid(pid, NULL, 0);
            return 1;
        }
        struct pollfd connection = {ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, left > 50000000 ? 50 : (int)(left / 1000000) + 1);
    }

    struct timespec settle = {settleMs / 1000, (settleMs % 1000) * 1000000};
    nanosleep(&settle, NULL);
    const long rss = statusKib(pid, "VmRSS");
    const long hwm = statusKib(pid, "VmHWM");
    kill(pid, SIGTERM);
    waitpid(pid, NULL, 0);
    XCloseDisplay(display);
    printf("shown_ns=%lld rss_kib=%ld hwm_kib=%ld\n", (long long)shown, rss, hwm);
    return rss < 0 ? 1 : 0;
}
