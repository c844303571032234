// gl_call_counter.c - preloaded into the program by the window tests: the
// number of glBegin, glCallList and glDrawArrays calls of every frame,
// appended at each buffer swap to the file FLUIDS_GL_CALL_LOG as one 8-byte
// count, so that a test can tell the cell-by-cell drawing (tens of
// thousands of calls a frame) from the few-primitive one (a handful).
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

typedef struct _XDisplay Display;
typedef unsigned long GLXDrawable;
typedef unsigned int GLenum;
typedef unsigned int GLuint;
typedef int GLint;
typedef int GLsizei;

static int64_t calls;

// The definition the preloaded one stands in front of, as `next`.
#define NEXT(function)                 \
    static __typeof__(&function) next; \
    if (next == NULL) next = (__typeof__(&function))dlsym(RTLD_NEXT, #function)

void glBegin(GLenum mode) {
    NEXT(glBegin);
    ++calls;
    next(mode);
}

void glCallList(GLuint list) {
    NEXT(glCallList);
    ++calls;
    next(list);
}

void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    NEXT(glDrawArrays);
    ++calls;
    next(mode, first, count);
}

void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    NEXT(glXSwapBuffers);
    static int log_fd = -2;
    if (log_fd == -2) {
        const char* path = getenv("FLUIDS_GL_CALL_LOG");
        log_fd = path != NULL ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600) : -1;
    }
    next(display, drawable);
    if (log_fd >= 0 && write(log_fd, &calls, sizeof calls) != (ssize_t)sizeof calls) {
        close(log_fd);
        log_fd = -1;
    }
    calls = 0;
}
