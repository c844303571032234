// output_guard.cpp - keeps the report's output stream harmless, and makes it
// the same bytes on every platform.
//
// POSIX: the report writes to descriptor 1 whatever it is. If the program is
// started with descriptor 1 closed, the next descriptor opened (the X
// connection, during GLUT's initialisation) would take number 1, and every
// report would then be written into the X protocol stream. Descriptors 0 to 2
// are therefore filled with /dev/null when they are closed, before anything
// else is opened. A report written into a pipe whose reader has gone would
// raise SIGPIPE and end the process; with the signal ignored the write just
// fails, and the report drops it like any other failed write.
//
// Windows: window handles are no descriptors, and a write into a pipe without
// a reader just fails, so a closed stream only has to lead somewhere (NUL).
// Standard output is switched to binary mode: in text mode the C runtime
// would turn every line feed of the report into CR LF.
#include "output_guard.hpp"

#ifdef _WIN32

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <initializer_list>

namespace fluid {

// A GUI program started without standard handles (from the Start menu or
// Explorer) has streams whose descriptor or handle is -1 or -2, depending on
// the C runtime; any negative one leads nowhere.
static bool leads_nowhere(std::FILE* stream) {
    return _fileno(stream) < 0 || _get_osfhandle(_fileno(stream)) < 0;
}

void guard_standard_streams() {
    if (leads_nowhere(stdin)) (void)std::freopen("NUL", "rb", stdin);
    for (std::FILE* stream : {stdout, stderr}) {
        if (leads_nowhere(stream)) (void)std::freopen("NUL", "wb", stream);
    }
    (void)_setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace fluid

#else

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace fluid {

void guard_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) continue;
        // open returns the lowest free descriptor, which is fd itself since
        // the lower ones are open by now; anything else is closed again.
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
    signal(SIGPIPE, SIG_IGN);
}

}  // namespace fluid

#endif
