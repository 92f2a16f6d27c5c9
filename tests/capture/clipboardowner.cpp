// A stand-in for another application that copies: it owns the CLIPBOARD selection and
// serves several targets at once, which xclip cannot. Usage:
//
//   clipboardowner [--hang | --delay-ms N] [--incr-above BYTES] [--die-mid-incr]
//                  [--bogus-target] [--selection NAME] TYPE=VALUE | TYPE=@FILE ...
//
// It connects, prints "ready", and takes the clipboard when a line "own" arrives on its
// standard input (then prints "owned"); "quit" or the end of its input ends it, and so does
// losing the clipboard to someone else. --hang never answers a request; --delay-ms answers
// each after a pause; targets larger than --incr-above bytes (default 256 KiB) go out by
// ICCCM's INCR protocol in pieces of that size; --die-mid-incr exits after the first piece.
// --bogus-target lists an atom the server never made among the targets. --selection owns
// another selection than CLIPBOARD (CLIPBOARD_MANAGER, to stand in for another manager). A line
// "activate INSTANCE CLASS" gives its window that WM_CLASS and this process's _NET_WM_PID and makes
// it the root window's _NET_ACTIVE_WINDOW, as a window manager would.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <poll.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

struct Offer
{
    Atom target;
    std::string data;
};

struct Incremental
{
    Window requestor;
    Atom property;
    Atom target;
    const std::string *data;
    std::size_t offset;
};

int usage()
{
    std::fprintf(stderr,
        "usage: clipboardowner [--hang | --delay-ms N] [--incr-above BYTES] [--die-mid-incr] "
        "[--bogus-target] [--selection NAME] TYPE=VALUE | TYPE=@FILE ...\n");
    return 2;
}

// A requestor that gave up may destroy its window mid-transfer; that is no reason to die.
int ignoreError(Display *, XErrorEvent *)
{
    return 0;
}

void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    bool hang = false;
    int delayMs = 0;
    std::size_t incrAbove = 256 * 1024;
    bool dieMidIncr = false;
    bool bogusTarget = false;
    std::string selection = "CLIPBOARD";
    std::vector<std::pair<std::string, std::string>> specs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--hang") {
            hang = true;
        } else if (arg == "--delay-ms" && i + 1 < argc) {
            delayMs = std::stoi(argv[++i]);
        } else if (arg == "--die-mid-incr") {
            dieMidIncr = true;
        } else if (arg == "--bogus-target") {
            bogusTarget = true;
        } else if (arg == "--selection" && i + 1 < argc) {
            selection = argv[++i];
        } else if (arg == "--incr-above" && i + 1 < argc) {
            incrAbove = std::stoul(argv[++i]);
        } else if (const auto equals = arg.find('='); equals != std::string::npos && equals > 0) {
            std::string value = arg.substr(equals + 1);
            if (!value.empty() && value[0] == '@') {
                std::ifstream file(value.substr(1), std::ios::binary);
                if (!file)
                    return usage();
                value.assign(std::istreambuf_iterator<char>(file), {});
            }
            specs.emplace_back(arg.substr(0, equals), value);
        } else {
            return usage();
        }
    }

    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "clipboardowner: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignoreError);
    const Window window
        = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(display, selection.c_str(), False);
    const Atom targets = XInternAtom(display, "TARGETS", False);
    const Atom timestamp = XInternAtom(display, "TIMESTAMP", False);
    const Atom incr = XInternAtom(display, "INCR", False);
    std::vector<Offer> offers;
    for (const auto &[type, value] : specs)
        offers.push_back({ XInternAtom(display, type.c_str(), False), value });
    std::vector<Incremental> transfers;
    bool owning = false;
    say("ready");

    std::string input;
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == SelectionClear && event.xselectionclear.selection == clipboard) {
                say("lost");
                XCloseDisplay(display);
                return 0;
            }
            if (event.type == PropertyNotify && event.xproperty.state == PropertyDelete) {
                for (auto it = transfers.begin(); it != transfers.end(); ++it) {
                    if (it->requestor != event.xproperty.window
                        || it->property != event.xproperty.atom)
                        continue;
                    const std::size_t size = std::min(incrAbove, it->data->size() - it->offset);
                    XChangeProperty(display, it->requestor, it->property, it->target, 8,
                        PropModeReplace,
                        reinterpret_cast<const unsigned char *>(it->data->data() + it->offset),
                        int(size));
                    it->offset += size;
                    if (size == 0)
                        transfers.erase(it);
                    XFlush(display);
                    if (dieMidIncr) {
                        XCloseDisplay(display);
                        return 0;
                    }
                    break;
                }
                continue;
            }
            if (event.type != SelectionRequest || hang)
                continue;
            if (delayMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            const XSelectionRequestEvent &request = event.xselectionrequest;
            XEvent reply {};
            reply.xselection.type = SelectionNotify;
            reply.xselection.display = display;
            reply.xselection.requestor = request.requestor;
            reply.xselection.selection = request.selection;
            reply.xselection.target = request.target;
            reply.xselection.time = request.time;
            const Atom property = request.property != None ? request.property : request.target;
            reply.xselection.property = property;
            if (request.target == targets) {
                std::vector<long> atoms { long(targets), long(timestamp) };
                // Atom ids count up from 1 and no server makes this many.
                if (bogusTarget)
                    atoms.push_back(0x1ffffff0);
                for (const Offer &offer : offers)
                    atoms.push_back(long(offer.target));
                XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(atoms.data()), int(atoms.size()));
            } else if (request.target == timestamp) {
                const long time = CurrentTime;
                XChangeProperty(display, request.requestor, property, XA_INTEGER, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char *>(&time), 1);
            } else {
                const Offer *found = nullptr;
                for (const Offer &offer : offers) {
                    if (offer.target == request.target)
                        found = &offer;
                }
                if (!found) {
                    reply.xselection.property = None;
                } else if (found->data.size() > incrAbove) {
                    XSelectInput(display, request.requestor, PropertyChangeMask);
                    const long size = long(found->data.size());
                    XChangeProperty(display, request.requestor, property, incr, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(&size), 1);
                    transfers.push_back(
                        { request.requestor, property, found->target, &found->data, 0 });
                } else {
                    XChangeProperty(display, request.requestor, property, found->target, 8,
                        PropModeReplace,
                        reinterpret_cast<const unsigned char *>(found->data.data()),
                        int(found->data.size()));
                }
            }
            XSendEvent(display, request.requestor, False, NoEventMask, &reply);
            XFlush(display);
        }

        pollfd fds[2] = { { ConnectionNumber(display), POLLIN, 0 }, { STDIN_FILENO, POLLIN, 0 } };
        ::poll(fds, 2, -1);
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buffer[256];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0)
                break;
            input.append(buffer, std::size_t(got));
            for (std::size_t end; (end = input.find('\n')) != std::string::npos;) {
                const std::string command = input.substr(0, end);
                input.erase(0, end + 1);
                if (command == "quit") {
                    XCloseDisplay(display);
                    return 0;
                }
                if (command.rfind("activate ", 0) == 0) {
                    const std::string names = command.substr(9);
                    const auto space = names.find(' ');
                    std::string wmClass = names.substr(0, space) + '\0'
                        + (space == std::string::npos ? std::string() : names.substr(space + 1))
                        + '\0';
                    XChangeProperty(display, window, XA_WM_CLASS, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(wmClass.data()),
                        int(wmClass.size()));
                    const long pid = long(::getpid());
                    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False),
                        XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(&pid), 1);
                    const long active = long(window);
                    XChangeProperty(display, DefaultRootWindow(display),
                        XInternAtom(display, "_NET_ACTIVE_WINDOW", False), XA_WINDOW, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char *>(&active), 1);
                    XSync(display, False);
                    say("active");
                }
                if (command == "own" && !owning) {
                    XSetSelectionOwner(display, clipboard, window, CurrentTime);
                    owning = XGetSelectionOwner(display, clipboard) == window;
                    say(owning ? "owned" : "refused");
                }
            }
        }
    }
    XCloseDisplay(display);
    return 0;
}
