// output_guard.cpp - keeps the report's output stream harmless.
//
// The report writes to descriptor 1 whatever it is. If the program is started
// with descriptor 1 closed, the next descriptor opened (the X connection,
// during GLUT's initialisation) would take number 1, and every report would
// then be written into the X protocol stream. Descriptors 0 to 2 are therefore
// filled with /dev/null when they are closed, before anything else is opened.
//
// A report written into a pipe whose reader has gone would raise SIGPIPE and
// end the process; with the signal ignored the write just fails, and the
// report drops it like any other failed write.
#include "output_guard.hpp"

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
