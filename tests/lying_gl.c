// lying_gl.c - preloaded into the program by the window tests to make GL
// behave as some drivers do, so that the fast drawing's start-up check can
// be seen turning it off. FLUIDS_GL_LIE names the lie:
//
//   bits=R,G,B  the back buffer reports R, G and B bits a channel, whatever
//               it has (more than it stores, fewer, or none at all);
//   samples     the window gets a 4-sample buffer that GL_SAMPLE_BUFFERS
//               and GL_SAMPLES report as none, and glDisable(GL_MULTISAMPLE)
//               is ignored, as when a control panel forces antialiasing;
//   unowned     pixels of the window covered by other windows are not its
//               own: copies of the back buffer get other contents there.
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

// ---- unowned: the pixels of the window that other windows cover are not
// the window's: a copy of the back buffer gets other contents there (GL
// leaves them undefined).

typedef unsigned long XID;
typedef struct {
    int x, y, width, height, border_width, depth;
    void* visual;
    XID root;
    int class_, bit_gravity, win_gravity, backing_store;
    unsigned long backing_planes, backing_pixel;
    int save_under;
    XID colormap;
    int map_installed, map_state;
    long all_event_masks, your_event_mask, do_not_propagate_mask;
    int override_redirect;
    void* screen;
} Attributes;

typedef Display* (*GetDisplay)(void);
typedef XID (*GetDrawable)(void);
typedef int (*GetAttributes)(Display*, XID, Attributes*);
typedef int (*QueryTree)(Display*, XID, XID*, XID*, XID**, unsigned*);
typedef int (*Free)(void*);
typedef void (*TexSubImage)(GLenum, GLint, GLint, GLint, int, int, GLenum, GLenum, const void*);
#define LOOK_UP(type, name) type name = (type)dlsym(RTLD_DEFAULT, #name)

void glCopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,
                         int width, int height) {
    NEXT(glCopyTexSubImage2D);
    next(target, level, xoffset, yoffset, x, y, width, height);
    if (strcmp(lie(), "unowned") != 0 || xoffset != 0 || yoffset != 0 || x != 0 || y != 0) return;
    LOOK_UP(GetDisplay, glXGetCurrentDisplay);
    LOOK_UP(GetDrawable, glXGetCurrentDrawable);
    LOOK_UP(GetAttributes, XGetWindowAttributes);
    LOOK_UP(QueryTree, XQueryTree);
    LOOK_UP(Free, XFree);
    LOOK_UP(TexSubImage, glTexSubImage2D);
    if (!glXGetCurrentDisplay || !glXGetCurrentDrawable || !XGetWindowAttributes || !XQueryTree ||
        !XFree || !glTexSubImage2D) {
        return;
    }
    Display* d = glXGetCurrentDisplay();
    const XID self = glXGetCurrentDrawable();
    Attributes me;
    XID root = 0, parent = 0, *children = NULL;
    unsigned count = 0;
    if (!XGetWindowAttributes(d, self, &me) ||
        !XQueryTree(d, me.root, &root, &parent, &children, &count)) {
        return;
    }
    // Every mapped window stacked above this one covers its rectangle (in
    // window coordinates, y down), filled here with other contents row by
    // row (GL counts rows bottom-up).
    static unsigned char garbage[3 * 4096];
    for (int k = 0; k < (int)sizeof garbage; ++k) garbage[k] = (unsigned char)(k * 151 + 77);
    int above = 0;
    for (unsigned k = 0; k < count; ++k) {
        Attributes a;
        if (children[k] == self) above = 1;
        if (!above || children[k] == self || !XGetWindowAttributes(d, children[k], &a) ||
            a.map_state != 2 /* IsViewable */) {
            continue;
        }
        int x0 = a.x - me.x, y0 = a.y - me.y;
        int x1 = x0 + a.width + 2 * a.border_width, y1 = y0 + a.height + 2 * a.border_width;
        x0 = x0 > 0 ? x0 : 0;
        y0 = y0 > 0 ? y0 : 0;
        x1 = x1 < width ? x1 : width;
        y1 = y1 < height ? y1 : height;
        for (int row = y0; x1 - x0 <= 4096 && row < y1; ++row) {
            glTexSubImage2D(target, level, x0, height - 1 - row, x1 - x0, 1, 0x1907 /* GL_RGB */,
                            0x1401 /* GL_UNSIGNED_BYTE */, garbage);
        }
    }
    if (children != NULL) XFree(children);
}
