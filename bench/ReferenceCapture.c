/*
 * The least work that one capture needs, in plain C: the yardstick for
 * Brimlet's capture path in bench/scenarios.py.
 *
 * Runs in the current folder until it is ended. Each time another program
 * takes the CLIPBOARD selection (XFixes reports it) it
 *  1. asks the owner for its TARGETS;
 *  2. reads "image/png" when offered and decodes it (libpng) into a 24-bit
 *     BMP, otherwise reads "UTF8_STRING" and adds CR LF;
 *  3. writes those bytes to a temporary file in the folder (fsync), rewrites
 *     pikcounter.txt through a temporary file, fsync and rename, and renames
 *     the capture to "picture N.jpeg" or "text N.txt" without replacing
 *     anything (the order in which Brimlet does the same work);
 *  4. gives up the selection as of the owner's time, so a newer copy stays.
 * Large contents come in pieces (INCR) as from any owner. A copy replaced
 * before its owner answered is passed over for the newer one. Prints "ready"
 * once it listens. Usage: reference_capture [--no-decode]
 *
 * With --no-decode a picture's rows are left blank instead of decoded: the
 * bare work of a picture capture (the transfer, and writing and syncing a
 * bitmap of its size), what no decoder, however fast, can take away.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <limits.h>
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

enum { kPatienceMs = 2000 };

struct Buffer {
    uint8_t* data;
    size_t size;
    size_t capacity;
};

static void append(struct Buffer* b, const void* bytes, size_t n) {
    if (b->size + n > b->capacity) {
        size_t capacity = b->capacity ? b->capacity : 4096;
        while (capacity < b->size + n) capacity *= 2;
        uint8_t* grown = realloc(b->data, capacity);
        if (!grown) {
            fputs("reference_capture: out of memory\n", stderr);
            exit(1);
        }
        b->data = grown;
        b->capacity = capacity;
    }
    memcpy(b->data + b->size, bytes, n);
    b->size += n;
}

static xcb_connection_t* c;
static xcb_window_t window;
static xcb_atom_t clipboard, property, incr, targetsAtom, pngAtom, utf8Atom;
static uint8_t xfixesEvent;
static int noDecode;
/* A change of owner seen while a capture was going on: handled next. */
static xcb_xfixes_selection_notify_event_t pending;
static int hasPending;

static xcb_atom_t internAtom(const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
    xcb_atom_t atom = r ? r->atom : XCB_ATOM_NONE;
    free(r);
    return atom;
}

static long long nowMs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

static void keepIfOwnerChange(xcb_generic_event_t* event) {
    if ((event->response_type & 0x7f) == xfixesEvent + XCB_XFIXES_SELECTION_NOTIFY) {
        pending = *(xcb_xfixes_selection_notify_event_t*)event;
        hasPending = 1;
    }
}

/* Waits for the notice of our conversion request; the property holding the
 * answer, or XCB_NONE on refusal or time-out. A newer owner ends the wait:
 * the one asked may have gone without answering (xclip ends when it loses
 * the selection), and what is on the clipboard now is the newer copy. */
static xcb_atom_t convert(xcb_atom_t target) {
    xcb_delete_property(c, window, property);
    xcb_convert_selection(c, window, clipboard, target, property, XCB_CURRENT_TIME);
    xcb_flush(c);
    const long long deadline = nowMs() + kPatienceMs;
    for (;;) {
        xcb_generic_event_t* event;
        while ((event = xcb_poll_for_event(c)) != NULL) {
            if ((event->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
                const xcb_selection_notify_event_t* e = (xcb_selection_notify_event_t*)event;
                const xcb_atom_t answer = e->property;
                const int ours = e->requestor == window && e->selection == clipboard;
                free(event);
                if (ours) return answer;
                continue;
            }
            keepIfOwnerChange(event);
            free(event);
            if (hasPending) return XCB_NONE;
        }
        const long long left = deadline - nowMs();
        struct pollfd fd = {xcb_get_file_descriptor(c), POLLIN, 0};
        if (left <= 0 || poll(&fd, 1, (int)left) <= 0) return XCB_NONE;
    }
}

static int waitForNewValue(void) {
    const long long deadline = nowMs() + kPatienceMs;
    for (;;) {
        xcb_generic_event_t* event;
        while ((event = xcb_poll_for_event(c)) != NULL) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
                const xcb_property_notify_event_t* e = (xcb_property_notify_event_t*)event;
                const int fresh = e->window == window && e->atom == property &&
                                  e->state == XCB_PROPERTY_NEW_VALUE;
                free(event);
                if (fresh) return 1;
                continue;
            }
            keepIfOwnerChange(event);
            free(event);
        }
        const long long left = deadline - nowMs();
        struct pollfd fd = {xcb_get_file_descriptor(c), POLLIN, 0};
        if (left <= 0 || poll(&fd, 1, (int)left) <= 0) return 0;
    }
}

/* Reads the whole property, then deletes it (which asks an INCR owner for
 * the next piece). Returns the property's type. */
static xcb_atom_t takeProperty(struct Buffer* into) {
    xcb_atom_t type = XCB_NONE;
    uint32_t offset = 0;
    for (;;) {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            c,
            xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, offset, 1u << 22),
            NULL);
        if (!r) return XCB_NONE;
        type = r->type;
        const int length = xcb_get_property_value_length(r);
        append(into, xcb_get_property_value(r), (size_t)length);
        offset += (uint32_t)length / 4;
        const uint32_t after = r->bytes_after;
        free(r);
        if (after == 0) break;
    }
    xcb_delete_property(c, window, property);
    xcb_flush(c);
    return type;
}

/* The selection in one target; 0 when the owner refused or fell silent. */
static int readSelection(xcb_atom_t target, struct Buffer* out) {
    if (convert(target) == XCB_NONE) return 0;
    out->size = 0;
    if (takeProperty(out) != incr) return 1;
    out->size = 0;
    for (;;) {
        if (!waitForNewValue()) return 0;
        const size_t before = out->size;
        const xcb_atom_t type = takeProperty(out);
        if (type == XCB_NONE) continue;
        if (out->size == before) return 1;
    }
}

static void putLittle(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = (uint8_t)(value >> (8 * i));
}

/* A PNG as the bytes of a 24-bit bottom-up BMP file; 0 on a bad PNG. */
static int pngToBmp(const struct Buffer* png, struct Buffer* bmp) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png->data, png->size)) return 0;
    image.format = PNG_FORMAT_BGR;
    const uint32_t stride = (image.width * 3 + 3) & ~3u;
    const size_t pixels = (size_t)stride * image.height;
    bmp->size = 0;
    uint8_t header[54] = {'B', 'M'};
    putLittle(header + 2, (uint32_t)(54 + pixels), 4);
    putLittle(header + 10, 54, 4);
    putLittle(header + 14, 40, 4);
    putLittle(header + 18, image.width, 4);
    putLittle(header + 22, image.height, 4); /* positive: rows bottom-up */
    putLittle(header + 26, 1, 2);
    putLittle(header + 28, 24, 2);
    putLittle(header + 34, (uint32_t)pixels, 4);
    putLittle(header + 38, 2835, 4);
    putLittle(header + 42, 2835, 4);
    append(bmp, header, sizeof header);
    if (bmp->capacity < 54 + pixels) {
        uint8_t* grown = realloc(bmp->data, 54 + pixels);
        if (!grown) return 0;
        bmp->data = grown;
        bmp->capacity = 54 + pixels;
    }
    memset(bmp->data + 54, 0, pixels); /* row padding */
    if (noDecode) {
        png_image_free(&image);
        bmp->size = 54 + pixels;
        return 1;
    }
    const png_color white = {255, 255, 255};
    /* A negative row stride stores the rows bottom-up, as BMP keeps them. */
    if (!png_image_finish_read(&image, &white, bmp->data + 54, -(png_int_32)stride, NULL)) {
        png_image_free(&image);
        return 0;
    }
    bmp->size = 54 + pixels;
    return 1;
}

static int writeAll(int fd, const uint8_t* bytes, size_t n) {
    while (n > 0) {
        const ssize_t done = write(fd, bytes, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return 0;
        bytes += done;
        n -= (size_t)done;
    }
    return 1;
}

/* The bytes in a new temporary file of the folder, synced; its name in
 * `name` (which must hold 32 bytes). */
static int stage(const uint8_t* bytes, size_t n, char* name) {
    strcpy(name, ".reference-XXXXXX");
    const int fd = mkstemp(name);
    if (fd < 0) return 0;
    const mode_t mask = umask(0);
    umask(mask);
    const int ok = writeAll(fd, bytes, n) && fchmod(fd, 0666 & ~mask) == 0 && fsync(fd) == 0;
    close(fd);
    if (!ok) unlink(name);
    return ok;
}

static int pictureCounter, textCounter;

static void readCounters(void) {
    FILE* f = fopen("pikcounter.txt", "r");
    if (!f) return;
    if (fscanf(f, "%d,%d", &pictureCounter, &textCounter) != 2) pictureCounter = textCounter = 0;
    fclose(f);
}

static int writeCounters(void) {
    char line[32], temporary[32];
    const int n = snprintf(line, sizeof line, "%d,%d\r\n", pictureCounter, textCounter);
    if (!stage((const uint8_t*)line, (size_t)n, temporary)) return 0;
    if (rename(temporary, "pikcounter.txt") != 0) {
        unlink(temporary);
        return 0;
    }
    return 1;
}

static int saveCapture(const struct Buffer* bytes, int picture) {
    int* counter = picture ? &pictureCounter : &textCounter;
    char temporary[32], name[64];
    if (!stage(bytes->data, bytes->size, temporary)) return 0;
    for (;;) {
        if (*counter == INT_MAX) break;
        ++*counter;
        const int n = *counter;
        snprintf(name, sizeof name, "%s%s%d%s", picture ? "picture" : "text", n < 0 ? "-" : " ",
                 abs(n), picture ? ".jpeg" : ".txt");
        if (access(name, F_OK) == 0) continue;
        if (!writeCounters()) break;
        if (renameat2(AT_FDCWD, temporary, AT_FDCWD, name, RENAME_NOREPLACE) == 0) return 1;
        if (errno != EEXIST) break;
    }
    unlink(temporary);
    return 0;
}

static void capture(const xcb_xfixes_selection_notify_event_t* change) {
    struct Buffer targets = {0}, content = {0}, bmp = {0};
    int picture = 0, text = 0;
    if (readSelection(targetsAtom, &targets)) {
        const xcb_atom_t* offered = (const xcb_atom_t*)targets.data;
        for (size_t i = 0; i < targets.size / 4; ++i) {
            picture |= offered[i] == pngAtom;
            text |= offered[i] == utf8Atom;
        }
    }
    int saved = 0;
    if (picture && readSelection(pngAtom, &content) && pngToBmp(&content, &bmp)) {
        saved = saveCapture(&bmp, 1);
    } else if (text && readSelection(utf8Atom, &content)) {
        append(&content, "\r\n", 2);
        saved = saveCapture(&content, 0);
    }
    if (saved) {
        xcb_set_selection_owner(c, XCB_NONE, clipboard, change->selection_timestamp);
        xcb_flush(c);
    } else if (!hasPending) {
        fputs("reference_capture: a copy was not captured\n", stderr);
    }
    free(targets.data);
    free(content.data);
    free(bmp.data);
}

int main(int argc, char** argv) {
    noDecode = argc > 1 && strcmp(argv[1], "--no-decode") == 0;
    c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fputs("reference_capture: cannot open the display\n", stderr);
        return 1;
    }
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present) {
        fputs("reference_capture: the X server has no XFixes extension\n", stderr);
        return 1;
    }
    xfixesEvent = xfixes->first_event;
    free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), NULL));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    window = xcb_generate_id(c);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK, &events);
    clipboard = internAtom("CLIPBOARD");
    property = internAtom("REFERENCE_CAPTURE");
    incr = internAtom("INCR");
    targetsAtom = internAtom("TARGETS");
    pngAtom = internAtom("image/png");
    utf8Atom = internAtom("UTF8_STRING");
    xcb_xfixes_select_selection_input(c, window, clipboard,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
    readCounters();
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL)); /* all of it is in force */
    puts("ready");
    fflush(stdout);

    for (;;) {
        if (!hasPending) {
            xcb_generic_event_t* event = xcb_wait_for_event(c);
            if (!event) return 1;
            keepIfOwnerChange(event);
            free(event);
        }
        if (!hasPending) continue;
        const xcb_xfixes_selection_notify_event_t change = pending;
        hasPending = 0;
        if (change.owner != XCB_NONE && change.owner != window) capture(&change);
    }
}
