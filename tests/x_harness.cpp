// x_harness.cpp - see x_harness.hpp.
#include "x_harness.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace xharness {

namespace {

// The environment of a child: ours, with DISPLAY replaced by the private one
// (or removed when `display` is empty), so that nothing reaches a real display.
std::vector<std::string> child_environment(const std::string& display) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "XAUTHORITY=", 11) != 0) {
            env.emplace_back(*e);
        }
    }
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    return env;
}

#ifdef FLUIDS_KEEP_MODULES
// Sets NAME=value in env, or appends ":value" when NAME is set already.
void add_option(std::vector<std::string>& env, const std::string& name, const std::string& value,
                char separator) {
    for (auto& e : env) {
        if (e.compare(0, name.size() + 1, name + "=") == 0) {
            e += separator + value;
            return;
        }
    }
    env.push_back(name + "=" + value);
}
#endif

// The environment of the program under test. In the sanitized build the
// program's leak check runs with the GL stack's own leaks suppressed by
// library name; the preloaded keep_modules library keeps those libraries
// mapped until the check, so that their names are known (keep_modules.c).
std::vector<std::string> program_environment(const std::string& display) {
    std::vector<std::string> env = child_environment(display);
#ifdef FLUIDS_KEEP_MODULES
    add_option(env, "ASAN_OPTIONS", "detect_leaks=1:verify_asan_link_order=0", ':');
    add_option(env, "LSAN_OPTIONS",
               std::string("suppressions=") + FLUIDS_LSAN_SUPPRESSIONS + ":print_suppressions=0",
               ':');
    add_option(env, "LD_PRELOAD", FLUIDS_KEEP_MODULES, ' ');
#endif
    return env;
}

std::vector<char*> c_strings(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// The full path of a program, looked up in PATH as the shell would.
std::string find_program(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    throw std::runtime_error("cannot find " + name + " in PATH");
}

// Descriptor values of spawn() that are not descriptors.
constexpr int TO_DEV_NULL = -1;
constexpr int TO_DEV_FULL = -2;
constexpr int LEFT_CLOSED = -3;

// Starts argv with the given environment; stdout and stderr go to the two
// descriptors when they are not negative, else to /dev/null, to /dev/full or
// nowhere (closed), as the constants above say. The child is killed
// when the test process dies, so that a crashed test leaves no program or
// server running.
pid_t spawn(std::vector<std::string> argv, std::vector<std::string> env, int out_fd, int err_fd) {
    const std::string program = find_program(argv[0]);
    auto args = c_strings(argv);
    auto envp = c_strings(env);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error(std::string("fork failed: ") + std::strerror(errno));
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        const int null_in = open("/dev/null", O_RDONLY);
        const int null_out = open("/dev/null", O_WRONLY);
        dup2(null_in, 0);
        if (out_fd == TO_DEV_FULL) {
            const int full = open("/dev/full", O_WRONLY);
            dup2(full, 1);
            if (full > 2) close(full);
        } else {
            dup2(out_fd >= 0 ? out_fd : null_out, 1);
        }
        dup2(err_fd >= 0 ? err_fd : null_out, 2);
        if (null_in > 2) close(null_in);
        if (null_out > 2) close(null_out);
        if (out_fd == LEFT_CLOSED) close(1);
        execve(program.c_str(), args.data(), envp.data());
        _exit(127);
    }
    return pid;
}

int wait_status(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

XServer::XServer(int depth, const std::vector<std::string>& options) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    // The write end must survive exec in the server: a plain dup has no
    // close-on-exec flag.
    const int server_fd = fcntl(fds[1], F_DUPFD, 10);
    std::vector<std::string> argv = {
        "Xvfb",      "-displayfd", std::to_string(server_fd),
        "-screen",   "0",          "2200x1300x" + std::to_string(depth),
        "-nolisten", "tcp",        "-noreset"};
    argv.insert(argv.end(), options.begin(), options.end());
    pid_ = spawn(argv, child_environment(""), TO_DEV_NULL, TO_DEV_NULL);
    close(server_fd);
    close(fds[1]);
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && poll(&p, 1, 20000) > 0) {
        char buf[32];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        number.append(buf, (size_t)n);
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        kill(pid_, SIGKILL);
        wait_status(pid_);
        throw std::runtime_error("Xvfb did not start");
    }
    display_ = ':';
    display_.append(number, 0, number.find('\n'));
}

XServer::~XServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        wait_status(pid_);
    }
}

int run_command(const std::string& display, const std::vector<std::string>& argv,
                std::string* out) {
    int fds[2] = {-1, -1};
    if (out != nullptr && pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = spawn(argv, child_environment(display), fds[1], -1);
    if (out != nullptr) {
        close(fds[1]);
        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) out->append(buf, (size_t)n);
        close(fds[0]);
    }
    return wait_status(pid);
}

int count_of(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size())) {
        ++n;
    }
    return n;
}

std::vector<std::int64_t> read_counts(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::int64_t> counts;
    std::int64_t n;
    while (in.read(reinterpret_cast<char*>(&n), sizeof n)) counts.push_back(n);
    return counts;
}

std::string fluids_path() {
    const char* other = std::getenv("FLUIDS_UNDER_TEST");
    return other != nullptr && *other != '\0' ? other : FLUIDS_EXECUTABLE;
}

std::string native_fluids_path() {
    return FLUIDS_EXECUTABLE;
}

std::vector<std::string> command_for(const std::string& executable) {
    std::vector<std::string> argv;
    const char* launcher = std::getenv("FLUIDS_LAUNCHER");
    if (launcher != nullptr && executable == fluids_path()) {
        std::istringstream words(launcher);
        for (std::string w; words >> w;) argv.push_back(w);
    }
    argv.push_back(executable);
    return argv;
}

Program::Program(const XServer& server, const std::string& executable,
                 const std::vector<std::string>& args, Stdout stdout_to)
    : server_(server) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> argv = command_for(executable);
    argv.insert(argv.end(), args.begin(), args.end());
    // Wine sometimes fails to create the first window of a program started
    // while the wine desktop of the previous test's display is still ending
    // ("Failed to create a window"); that program is started once more. Any
    // other failure, or a second one, fails the test.
    const bool launched = argv.front() != executable;
    for (int attempt = 0;; ++attempt) {
        start(argv, stdout_to, out, err);
        if (window_ != 0) break;
        // A throwing constructor runs no destructor: end the program and join
        // its output readers here (a joinable thread would abort the tests).
        wait_exit(std::chrono::milliseconds(0));
        if (attempt == 0 && launched &&
            err_.find("Failed to create a window") != std::string::npos) {
            exited_ = false;
            out_.clear();
            err_.clear();
            std::this_thread::sleep_for(std::chrono::seconds(1));
            if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
                throw std::runtime_error("pipe failed");
            }
            continue;
        }
        throw std::runtime_error("the window of " + executable + " did not appear: " + err_);
    }
    // Then give the window the focus, so that key events reach it. Without a
    // window manager it keeps GLUT's default position (-1, -1), partly off
    // the screen, where it cannot be read back.
    xdotool({"windowmove", "--sync", std::to_string(window_), "0", "0"});
    xdotool({"windowfocus", "--sync", std::to_string(window_)});
}

void Program::start(const std::vector<std::string>& argv, Stdout stdout_to, int out[2],
                    int err[2]) {
    const int out_fd = stdout_to == Stdout::Full     ? TO_DEV_FULL
                       : stdout_to == Stdout::Closed ? LEFT_CLOSED
                                                     : out[1];
    pid_ = spawn(argv, program_environment(server_.display()), out_fd, err[1]);
    close(out[1]);
    close(err[1]);
    if (stdout_to == Stdout::BrokenPipe) {
        close(out[0]);
    } else {
        std::string* sink = stdout_to == Stdout::Discarded ? nullptr : &out_;
        out_thread_ = std::thread([this, fd = out[0], sink] { reader(fd, sink); });
    }
    err_thread_ = std::thread([this, fd = err[0]] { reader(fd, &err_); });

    // The window, by its title, once it is mapped (or until the program has
    // ended without one).
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (window_ == 0 && std::chrono::steady_clock::now() < end) {
        std::string ids;
        run_command(server_.display(),
                    {"xdotool", "search", "--onlyvisible", "--name", "^Compute Stable Fluids$"},
                    &ids);
        if (!ids.empty()) window_ = std::stoul(ids);
        if (window_ != 0) break;
        siginfo_t ended{};
        if (waitid(P_PID, (id_t)pid_, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            ended.si_pid != 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

Program::~Program() {
    if (!exited_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        wait_status(pid_);
    }
    if (out_thread_.joinable()) out_thread_.join();
    if (err_thread_.joinable()) err_thread_.join();
}

void Program::reader(int fd, std::string* sink) {
    char buf[1 << 16];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
        if (n <= 0 || sink == nullptr) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        sink->append(buf, (size_t)n);
        changed_.notify_all();
    }
    close(fd);
}

std::string Program::output() {
    std::lock_guard<std::mutex> lock(mutex_);
    return out_;
}

std::string Program::errors() {
    std::lock_guard<std::mutex> lock(mutex_);
    // Under wine freeglut cannot open a device context of the whole display
    // at start-up and says so in two lines; the screen size it wanted there
    // is not used. Anything else is the program's.
    std::string err = err_;
    const std::size_t at = err.find("fgPlatformInitialize: CreateDC failed");
    const std::size_t hint = err.find("bad '-display' parameter", at);
    if (at != std::string::npos && hint != std::string::npos) {
        const std::size_t line = err.rfind('\n', at);
        const std::size_t from = line == std::string::npos ? 0 : line + 1;
        const std::size_t end = err.find('\n', hint);
        err.erase(from, end == std::string::npos ? std::string::npos : end + 1 - from);
    }
    return err;
}

bool Program::wait_for_output(const std::string& text, int count,
                              std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return count_of(out_, text) >= count; });
}

int Program::wait_exit(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!exited_) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exited_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (std::chrono::steady_clock::now() >= end) {
            kill(pid_, SIGKILL);
            wait_status(pid_);
            exited_ = true;
            status_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (out_thread_.joinable()) out_thread_.join();
    if (err_thread_.joinable()) err_thread_.join();
    return status_;
}

void Program::xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    if (run_command(server_.display(), argv) != 0) {
        std::string command = "xdotool";
        for (const auto& a : args) command += " " + a;
        throw std::runtime_error(command + " failed");
    }
}

void Program::send(const std::vector<std::string>& args) {
    xdotool(args);
}

void Program::key(const std::string& keysym) {
    xdotool({"key", "--delay", "0", keysym});
}

void Program::type(const std::string& text) {
    xdotool({"type", "--delay", "0", text});
}

void Program::move(int x, int y) {
    xdotool(
        {"mousemove", "--window", std::to_string(window_), std::to_string(x), std::to_string(y)});
}

void Program::button_down(int button) {
    xdotool({"mousedown", std::to_string(button)});
}

void Program::button_up(int button) {
    xdotool({"mouseup", std::to_string(button)});
}

void Program::click(int button, int x, int y) {
    move(x, y);
    xdotool({"click", std::to_string(button)});
}

void Program::resize(int width, int height) {
    xdotool({"windowsize", "--sync", std::to_string(window_), std::to_string(width),
             std::to_string(height)});
}

void Program::move_window(int x, int y) {
    xdotool(
        {"windowmove", "--sync", std::to_string(window_), std::to_string(x), std::to_string(y)});
}

Cover::Cover(const XServer& server, int x, int y, int width, int height) {
    Display* dpy = XOpenDisplay(server.display().c_str());
    if (dpy == nullptr) throw std::runtime_error("cannot open " + server.display());
    display_ = dpy;
    const int screen = DefaultScreen(dpy);
    window_ =
        XCreateSimpleWindow(dpy, RootWindow(dpy, screen), x, y, (unsigned)width, (unsigned)height,
                            0, BlackPixel(dpy, screen), WhitePixel(dpy, screen));
    XMapRaised(dpy, window_);
    XSync(dpy, False);
}

Cover::~Cover() {
    Display* dpy = static_cast<Display*>(display_);
    XDestroyWindow(dpy, window_);
    XSync(dpy, False);
    XCloseDisplay(dpy);
}

void Program::close_window() {
    Display* dpy = XOpenDisplay(server_.display().c_str());
    if (dpy == nullptr) throw std::runtime_error("cannot open " + server_.display());
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window_;
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, window_, False, NoEventMask, &e);
    XCloseDisplay(dpy);
}

bool Program::step_and_wait_report(int reports_so_far) {
    key("space");
    return wait_for_output("Total Density: ", reports_so_far + 1);
}

namespace {

// XGetImage fails with BadMatch while the window is not viewable yet (or is
// being resized); the capture then returns an empty image and is retried.
int ignore_x_error(Display*, XErrorEvent*) {
    return 0;
}

// The channel of a pixel under `mask`, scaled to 8 bits (5-6-5 and 10-bit
// screens included).
std::uint8_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = __builtin_ctzl(mask);
    const unsigned long top = mask >> shift;
    return (std::uint8_t)((((pixel & mask) >> shift) * 255 + top / 2) / top);
}

}  // namespace

Image Program::capture() {
    Image img;
    XSetErrorHandler(ignore_x_error);
    Display* dpy = XOpenDisplay(server_.display().c_str());
    if (dpy == nullptr) throw std::runtime_error("cannot open " + server_.display());
    XWindowAttributes attrs;
    if (XGetWindowAttributes(dpy, window_, &attrs) != 0) {
        XImage* x = XGetImage(dpy, window_, 0, 0, (unsigned)attrs.width, (unsigned)attrs.height,
                              AllPlanes, ZPixmap);
        if (x != nullptr) {
            img.width = attrs.width;
            img.height = attrs.height;
            img.rgb.resize((size_t)img.width * img.height * 3);
            for (int y = 0; y < img.height; ++y) {
                for (int xx = 0; xx < img.width; ++xx) {
                    const unsigned long p = XGetPixel(x, xx, y);
                    std::uint8_t* o = &img.rgb[3 * ((size_t)y * img.width + xx)];
                    o[0] = channel(p, x->red_mask);
                    o[1] = channel(p, x->green_mask);
                    o[2] = channel(p, x->blue_mask);
                }
            }
            XDestroyImage(x);
        }
    }
    XCloseDisplay(dpy);
    return img;
}

}  // namespace xharness
