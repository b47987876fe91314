// startup_watch [--caption TEXT] [--settle SECONDS] -- PROGRAM ARGS...
//
// Starts PROGRAM on the X display and times, from the launch, what a user sees:
// the first window mapped (a splash, if it has one), the first ordinary window,
// and the first time a window's title holds TEXT. SECONDS after the last of
// these it reads the program's resident memory, then ends it with SIGTERM.
// Without a window manager every top-level window is a child of the root, so
// the root's structure events see them all. STARTUP_WATCH_TRACE=1 prints every
// map and title change as it comes.
#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct ConnectionDeleter {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, ConnectionDeleter>;

template <class Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    ReplyPtr<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::string property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name, xcb_atom_t type) {
    ReplyPtr<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, name, type, 0, 4096), nullptr),
        &std::free);
    if (!reply || reply->format != 8)
        return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       size_t(xcb_get_property_value_length(reply.get())));
}

std::vector<xcb_atom_t> atoms(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name) {
    ReplyPtr<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, name, XCB_ATOM_ATOM, 0, 64), nullptr),
        &std::free);
    if (!reply || reply->format != 32)
        return {};
    const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    return {data, data + xcb_get_property_value_length(reply.get()) / 4};
}

/// Resident memory of a process, from /proc: total, anonymous, file-backed.
struct Rss {
    long total = -1, anon = -1, file = -1;
};
Rss residentMemory(pid_t pid) {
    Rss rss;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long kib = 0;
    while (status >> key) {
        if (key == "VmRSS:" && status >> kib)
            rss.total = kib;
        else if (key == "RssAnon:" && status >> kib)
            rss.anon = kib;
        else if (key == "RssFile:" && status >> kib)
            rss.file = kib;
    }
    return rss;
}

double msSince(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

int usage() {
    std::fprintf(stderr,
                 "usage: startup_watch [--caption TEXT] [--settle SECONDS] -- PROGRAM ARGS...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string caption;
    double settle = 5;
    int at = 1;
    for (; at < argc && std::strcmp(argv[at], "--") != 0; ++at) {
        if (std::strcmp(argv[at], "--caption") == 0 && at + 1 < argc)
            caption = argv[++at];
        else if (std::strcmp(argv[at], "--settle") == 0 && at + 1 < argc)
            settle = std::atof(argv[++at]);
        else
            return usage();
    }
    if (at + 1 >= argc)
        return usage();
    char** program = argv + at + 1;

    Connection conn(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(conn.get())) {
        std::fprintf(stderr, "startup_watch: no X display\n");
        return 1;
    }
    xcb_connection_t* c = conn.get();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t netName = atom(c, "_NET_WM_NAME"), utf8 = atom(c, "UTF8_STRING"),
                     windowType = atom(c, "_NET_WM_WINDOW_TYPE"),
                     typeNormal = atom(c, "_NET_WM_WINDOW_TYPE_NORMAL");
    const uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &rootMask);
    xcb_flush(c);

    const Clock::time_point launch = Clock::now();
    pid_t pid = 0;
    // What the program prints is not what is measured here.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawnp(&pid, program[0], &quiet, nullptr, program, environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) {
        std::fprintf(stderr, "startup_watch: cannot start %s\n", program[0]);
        return 1;
    }

    std::optional<Clock::time_point> firstWindow, normalWindow, captioned;
    std::string firstTitle, normalTitle;
    std::set<xcb_window_t> mapped;
    const bool trace = std::getenv("STARTUP_WATCH_TRACE") != nullptr;
    auto titleOf = [&](xcb_window_t w) {
        std::string t = property(c, w, netName, utf8);
        return t.empty() ? property(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING) : t;
    };
    // A title read now may be newer than the event that asked for it: the
    // change it shows counts from the last event for that window, and events
    // that come in while titles are read mean reading them again.
    std::map<xcb_window_t, Clock::time_point> titleTouched;
    auto handle = [&](xcb_generic_event_t* raw, Clock::time_point now) {
        switch (raw->response_type & 0x7f) {
        case XCB_CREATE_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_create_notify_event_t*>(raw);
            const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(c, e->window, XCB_CW_EVENT_MASK, &mask);
            xcb_flush(c);
            break;
        }
        case XCB_MAP_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_map_notify_event_t*>(raw);
            if (e->event != root)
                break;
            mapped.insert(e->window);
            if (trace)
                std::fprintf(stderr, "%8.1f map %x\n", msSince(launch, now), e->window);
            if (!firstWindow) {
                firstWindow = now;
                firstTitle = titleOf(e->window);
            }
            const std::vector<xcb_atom_t> types = atoms(c, e->window, windowType);
            const bool normal = types.empty() || types.front() == typeNormal;
            if (normal && !normalWindow && !e->override_redirect) {
                normalWindow = now;
                normalTitle = titleOf(e->window);
            }
            titleTouched[e->window] = now;
            break;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_property_notify_event_t*>(raw);
            if (e->atom == netName || e->atom == XCB_ATOM_WM_NAME)
                titleTouched[e->window] = now;
            break;
        }
        default:
            break;
        }
    };

    const int fd = xcb_get_file_descriptor(c);
    const auto deadline = launch + std::chrono::seconds(30);
    int status = 0;
    bool exited = false;
    while (Clock::now() < deadline) {
        if (normalWindow && (caption.empty() || captioned))
            break;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            break;
        }
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 20);
        for (;;) {
            while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
                handle(raw, Clock::now());
                std::free(raw);
            }
            std::map<xcb_window_t, std::string> titles;
            for (const auto& [w, when] : titleTouched)
                if (mapped.count(w))
                    titles[w] = titleOf(w);
            if (xcb_generic_event_t* late = xcb_poll_for_queued_event(c)) {
                handle(late, Clock::now());
                std::free(late);
                continue;
            }
            for (const auto& [w, title] : titles) {
                if (trace)
                    std::fprintf(stderr, "%8.1f title %x %s\n", msSince(launch, titleTouched[w]), w,
                                 title.c_str());
                if (!captioned && !caption.empty() && title.find(caption) != std::string::npos)
                    captioned = titleTouched[w];
            }
            titleTouched.clear();
            break;
        }
    }
    if (exited) {
        std::fprintf(stderr, "startup_watch: %s ended early\n", program[0]);
        return 1;
    }
    auto show = [&](const char* what, const std::optional<Clock::time_point>& t,
                    const std::string& title) {
        if (t)
            std::printf("  %-34s %8.1f ms%s%s%s\n", what, msSince(launch, *t),
                        title.empty() ? "" : "  (\"", title.c_str(), title.empty() ? "" : "\")");
        else
            std::printf("  %-34s      never\n", what);
    };
    show("launch to first window", firstWindow, firstTitle);
    show("launch to main window", normalWindow, normalTitle);
    if (firstWindow && normalWindow && *normalWindow > *firstWindow)
        std::printf("  %-34s %8.1f ms\n", "first window to main window",
                    msSince(*firstWindow, *normalWindow));
    if (!caption.empty()) {
        show("launch to the caption", captioned, caption);
        if (captioned && normalWindow)
            std::printf("  %-34s %8.1f ms\n", "main window to the caption",
                        msSince(*normalWindow, *captioned));
    }
    usleep(useconds_t(settle * 1e6));
    const Rss rss = residentMemory(pid);
    std::printf("  resident %.0f s after: %.1f MiB (anonymous %.1f, files %.1f)\n", settle,
                rss.total / 1024.0, rss.anon / 1024.0, rss.file / 1024.0);
    kill(pid, SIGTERM);
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        usleep(50000);
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return normalWindow && (caption.empty() || captioned) ? 0 : 1;
}
