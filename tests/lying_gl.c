// lying_gl.c - preloaded into the program by the window tests to make GL
// behave as some drivers do, so that the fast drawing's start-up check can
// be seen turning it off. FLUIDS_GL_LIE names the lie:
//
//   bits=R,G,B  the back buffer reports R, G and B bits a channel, whatever
//               it has (more than it stores, fewer, or none at all);
//   samples     the window gets a 4-sample buffer that GL_SAMPLE_BUFFERS
//               and GL_SAMPLES report as none, and glDisable(GL_MULTISAMPLE)
//               is ignored, as when a control panel forces antialiasing.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct _XDisplay Display;
typedef struct __GLXFBConfigRec* GLXFBConfig;
typedef struct XVisualInfo XVisualInfo;
typedef unsigned int GLenum;
typedef int GLint;

#define GL_RED_BITS 0x0D52
#define GL_GREEN_BITS 0x0D53
#define GL_BLUE_BITS 0x0D54
#define GL_MULTISAMPLE 0x809D
#define GL_SAMPLE_BUFFERS 0x80A8
#define GL_SAMPLES 0x80A9
#define GLX_SAMPLE_BUFFERS 100000
#define GLX_SAMPLES 100001

#define NEXT(function)                 \
    static __typeof__(&function) next; \
    if (next == NULL) next = (__typeof__(&function))dlsym(RTLD_NEXT, #function)

static const char* lie(void) {
    const char* l = getenv("FLUIDS_GL_LIE");
    return l != NULL ? l : "";
}

void glGetIntegerv(GLenum name, GLint* value) {
    NEXT(glGetIntegerv);
    next(name, value);
    int bits[3];
    if (sscanf(lie(), "bits=%d,%d,%d", &bits[0], &bits[1], &bits[2]) == 3 && name >= GL_RED_BITS &&
        name <= GL_BLUE_BITS) {
        *value = bits[name - GL_RED_BITS];
    }
    if (strcmp(lie(), "samples") == 0 && (name == GL_SAMPLE_BUFFERS || name == GL_SAMPLES)) {
        *value = 0;
    }
}

void glDisable(GLenum cap) {
    NEXT(glDisable);
    if (cap == GL_MULTISAMPLE && strcmp(lie(), "samples") == 0) return;
    next(cap);
}

// The attribute list with 4 samples asked for, in `out` (room for 64).
static const int* with_samples(const int* attributes, int* out) {
    if (strcmp(lie(), "samples") != 0) return attributes;
    int n = 0;
    for (; attributes != NULL && attributes[n] != 0 && n < 58; n += 2) {
        out[n] = attributes[n];
        out[n + 1] = attributes[n + 1];
    }
    const int more[] = {GLX_SAMPLE_BUFFERS, 1, GLX_SAMPLES, 4, 0};
    memcpy(out + n, more, sizeof more);
    return out;
}

GLXFBConfig* glXChooseFBConfig(Display* display, int screen, const int* attributes, int* count) {
    NEXT(glXChooseFBConfig);
    int list[64];
    return next(display, screen, with_samples(attributes, list), count);
}
