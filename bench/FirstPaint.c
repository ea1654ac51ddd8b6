/*
 * Starts a program and tells when its window reaches the screen: when the
 * first top-level window of the program is mapped, and when that window has
 * been drawn over its whole area (as the X server's Damage extension reports
 * the drawing). Times are milliseconds from just before the program starts.
 *
 * Usage: first_paint TIMEOUT_MS PROGRAM [ARGUMENT...]
 *
 * Prints one line "PID MAPPED_MS DRAWN_MS" (-1 for what did not happen
 * within TIMEOUT_MS), lets go of the X server, and then stays the program's
 * parent until it ends, exiting with its status. The program's standard
 * output goes to /dev/null; its standard error is ours.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

enum { kMaxWindows = 256 };

struct Tracked {
    xcb_window_t window;
    int covered; /* drawn over its whole area */
};

static struct timespec started;

static double msSinceStart(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)(now.tv_sec - started.tv_sec) * 1e3 +
           (double)(now.tv_nsec - started.tv_nsec) / 1e6;
}

static xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
    xcb_atom_t atom = r ? r->atom : XCB_ATOM_NONE;
    free(r);
    return atom;
}

/* The window's _NET_WM_PID, 0 when it has none. */
static pid_t windowPid(xcb_connection_t* c, xcb_window_t window, xcb_atom_t pidAtom) {
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), NULL);
    pid_t pid = 0;
    if (r && xcb_get_property_value_length(r) == 4)
        pid = (pid_t) * (uint32_t*)xcb_get_property_value(r);
    free(r);
    return pid;
}

static pid_t startProgram(char** argv) {
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDOUT_FILENO);
        execvp(argv[0], argv);
        fprintf(stderr, "first_paint: cannot start %s: %s\n", argv[0], strerror(errno));
        _exit(127);
    }
    return pid;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fputs("usage: first_paint TIMEOUT_MS PROGRAM [ARGUMENT...]\n", stderr);
        return 2;
    }
    const double timeout = atof(argv[1]);
    xcb_connection_t* c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fputs("first_paint: cannot open the display\n", stderr);
        return 2;
    }
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
    if (!damage || !damage->present) {
        fputs("first_paint: the X server has no Damage extension\n", stderr);
        return 2;
    }
    free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), NULL));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t pidAtom = internAtom(c, "_NET_WM_PID"); /* also waits for the mask */

    struct Tracked tracked[kMaxWindows];
    int count = 0;
    xcb_window_t shown = XCB_NONE;
    double mapped = -1, drawn = -1;

    clock_gettime(CLOCK_MONOTONIC, &started);
    const pid_t child = startProgram(argv + 2);
    if (child < 0) {
        perror("first_paint: fork");
        return 2;
    }

    while (drawn < 0 && !xcb_connection_has_error(c)) {
        xcb_generic_event_t* event;
        while (drawn < 0 && (event = xcb_poll_for_event(c)) != NULL) {
            const uint8_t kind = event->response_type & 0x7f;
            if (kind == XCB_CREATE_NOTIFY) {
                /* Watched from creation on, so no drawing can come before the watch. */
                const xcb_create_notify_event_t* e = (xcb_create_notify_event_t*)event;
                if (e->parent == root && !e->override_redirect && count < kMaxWindows) {
                    xcb_damage_create(c, xcb_generate_id(c), e->window,
                                      XCB_DAMAGE_REPORT_LEVEL_BOUNDING_BOX);
                    tracked[count].window = e->window;
                    tracked[count].covered = 0;
                    ++count;
                }
            } else if (kind == XCB_MAP_NOTIFY && shown == XCB_NONE) {
                const xcb_map_notify_event_t* e = (xcb_map_notify_event_t*)event;
                const double at = msSinceStart();
                const pid_t owner = e->override_redirect ? -1 : windowPid(c, e->window, pidAtom);
                if (owner == child || owner == 0) {
                    shown = e->window;
                    mapped = at;
                    for (int i = 0; i < count; ++i) {
                        if (tracked[i].window == shown && tracked[i].covered) drawn = mapped;
                    }
                }
            } else if (kind == damage->first_event + XCB_DAMAGE_NOTIFY) {
                /* The bounding box of all drawing so far, against the window's size. */
                const xcb_damage_notify_event_t* e = (xcb_damage_notify_event_t*)event;
                const int covered = e->area.x <= 0 && e->area.y <= 0 &&
                                    e->area.x + e->area.width >= e->geometry.width &&
                                    e->area.y + e->area.height >= e->geometry.height;
                for (int i = 0; i < count; ++i) {
                    if (tracked[i].window == e->drawable && covered) tracked[i].covered = 1;
                }
                if (covered && e->drawable == shown) drawn = msSinceStart();
            }
            free(event);
        }
        if (drawn >= 0) break;
        const double left = timeout - msSinceStart();
        if (left <= 0) break;
        struct pollfd fd = {xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&fd, 1, (int)left + 1);
    }

    printf("%d %.3f %.3f\n", (int)child, mapped, drawn);
    fflush(stdout);
    xcb_disconnect(c); /* frees the damage watches */

    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
