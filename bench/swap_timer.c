// swap_timer.c - preloaded into the program under the frame benchmark: the
// time of every buffer swap, appended to the file FLUIDS_SWAP_LOG as one
// 8-byte CLOCK_MONOTONIC nanosecond count, written as it happens so that
// the benchmark can follow the frames while the program runs.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

typedef struct _XDisplay Display;
typedef unsigned long GLXDrawable;

void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    static void (*swap)(Display*, GLXDrawable);
    static int log_fd = -2;
    if (swap == NULL) swap = (void (*)(Display*, GLXDrawable))dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (log_fd == -2) {
        const char* path = getenv("FLUIDS_SWAP_LOG");
        log_fd = path != NULL ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600) : -1;
    }
    swap(display, drawable);
    if (log_fd >= 0) {
        struct timespec t;
        clock_gettime(CLOCK_MONOTONIC, &t);
        const int64_t ns = (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
        if (write(log_fd, &ns, sizeof ns) != (ssize_t)sizeof ns) {
            close(log_fd);
            log_fd = -1;
        }
    }
}
