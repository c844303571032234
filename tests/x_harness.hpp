// x_harness.hpp - window tests under a private X server.
//
// XServer starts its own Xvfb on a display the server picks itself, never the
// one the tests were started from, and stops it by its process id. Program
// runs the real `fluids` executable on it and collects what it prints. The
// input helpers wrap xdotool, which sends real input through the XTEST
// extension; pixels are read back from the window with XGetImage.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace xharness {

/// A private Xvfb server, started on construction and stopped on destruction;
/// its screen has the given depth in bits (16 is 5-6-5, 24 is 8-8-8, 30 is
/// 10-10-10); `options` are further arguments of Xvfb.
class XServer {
  public:
    explicit XServer(int depth = 24, const std::vector<std::string>& options = {});
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    /// The display name, for example ":93".
    const std::string& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

/// Runs a command on the given display and returns its exit status; its
/// output is returned in `out` when given.
int run_command(const std::string& display, const std::vector<std::string>& argv,
                std::string* out = nullptr);

/// An RGB image read back from a window, top row first.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // 3 bytes a pixel

    /// The pixel at (x, y) in window coordinates (origin top-left).
    std::uint32_t at(int x, int y) const {
        const std::uint8_t* p = &rgb[3 * ((std::size_t)y * width + x)];
        return (std::uint32_t)p[0] << 16 | (std::uint32_t)p[1] << 8 | p[2];
    }
};

/// Where the program's standard output goes.
enum class Stdout {
    Collected,   ///< a pipe read by the harness (output() returns it)
    Closed,      ///< descriptor 1 closed when the program starts
    Full,        ///< /dev/full: every write fails with "no space left"
    BrokenPipe,  ///< a pipe whose reading end is closed: writes raise SIGPIPE
    Discarded,   ///< a pipe read by the harness, which throws the output away
};

/// The real `fluids` process on a display, with its output collected.
class Program {
  public:
    Program(const XServer& server, const std::string& executable,
            const std::vector<std::string>& args = {}, Stdout out = Stdout::Collected);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    /// The program's window (found by its title once it is mapped).
    unsigned long window() const { return window_; }

    /// Everything written to standard output so far.
    std::string output();
    /// Everything written to standard error so far.
    std::string errors();

    /// Waits until `text` has appeared `count` times in the output.
    bool wait_for_output(const std::string& text, int count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30));

    /// Waits for the process to end; returns its exit status, or -1 on a
    /// signal or a timeout (the process is then killed).
    int wait_exit(std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // Real input through xdotool; each call returns when xdotool has sent it.
    void key(const std::string& keysym);
    void type(const std::string& text);
    void move(int x, int y);
    void button_down(int button);
    void button_up(int button);
    void click(int button, int x, int y);
    /// Resizes the window and waits until the server reports the new size.
    void resize(int width, int height);
    /// Moves the window's top-left corner to (x, y) of the screen.
    void move_window(int x, int y);
    /// Asks the window to close, as a window manager's close button does
    /// (a WM_DELETE_WINDOW message).
    void close_window();
    /// Runs one xdotool invocation with these arguments, which may chain
    /// several commands (for example key, mousemove and mousedown).
    void send(const std::vector<std::string>& args);

    /// Presses space and waits until the report of that step has arrived.
    bool step_and_wait_report(int reports_so_far);

    /// Reads the window's current contents.
    Image capture();
    /// Polls the window until `done` accepts an image, or the timeout ends;
    /// returns the last image read.
    template <class Pred>
    Image capture_until(Pred done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        Image img = capture();
        while (!done(img) && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            img = capture();
        }
        return img;
    }

  private:
    /// Runs argv with its output to the pipes out and err (closing their
    /// write ends here) and waits up to 30 s for its window, or until it
    /// ends without one (window_ stays 0).
    void start(const std::vector<std::string>& argv, Stdout stdout_to, int out[2], int err[2]);
    void xdotool(const std::vector<std::string>& args);
    void reader(int fd, std::string* sink);

    const XServer& server_;
    pid_t pid_ = -1;
    int status_ = -1;
    bool exited_ = false;
    unsigned long window_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string out_;
    std::string err_;
    std::thread out_thread_;
    std::thread err_thread_;
};

/// A plain window mapped over everything else at (x, y) of the screen while
/// it lives, covering what lies below it.
class Cover {
  public:
    Cover(const XServer& server, int x, int y, int width, int height);
    ~Cover();
    Cover(const Cover&) = delete;
    Cover& operator=(const Cover&) = delete;

  private:
    void* display_ = nullptr;
    unsigned long window_ = 0;
};

/// Counts non-overlapping occurrences of `needle` in `text`.
int count_of(const std::string& text, const std::string& needle);

/// The 8-byte counts a preloaded library (the swap timer, the draw-call
/// counter) has appended to the file `path` so far.
std::vector<std::int64_t> read_counts(const std::string& path);

/// Path of the fluids executable under test: the environment variable
/// FLUIDS_UNDER_TEST when it is set (for example the program unpacked from
/// the Debian package), else the one of the build tree (set by CMake).
std::string fluids_path();

/// The Linux program of the build tree, whatever is under test.
std::string native_fluids_path();

/// The command that runs an executable: the words of the environment
/// variable FLUIDS_LAUNCHER (for example "wine") before the program under
/// test, when it is set; any other executable runs as it is.
std::vector<std::string> command_for(const std::string& executable);

}  // namespace xharness
