// A Wayland clipboard owner that misbehaves on request, through the
// wlroots data-control protocol (which KWin and every wlroots compositor
// offer):
//   hostile_wayland_owner silent    offers a text, never writes it
//   hostile_wayland_owner endless   writes it without end
//   hostile_wayland_owner early     closes the pipe at once
//   hostile_wayland_owner globals   lists the compositor's globals and ends
// It says "owner" on standard output once it holds the clipboard and
// "asked MIME" at each request. It ends after a minute; "early" also when it
// loses the clipboard, while the others go on holding or filling the pipes
// they were given.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace {

struct Owner {
    std::string mode;
    wl_seat* seat = nullptr;
    zwlr_data_control_manager_v1* manager = nullptr;
    std::vector<int> held;     // pipes never written
    std::vector<int> flooded;  // pipes written without end
    bool cancelled = false;
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
            uint32_t version) {
    auto* owner = static_cast<Owner*>(data);
    if (owner->mode == "globals") std::printf("%s %u\n", interface, version);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !owner->seat) {
        owner->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0) {
        owner->manager = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
    }
}

void globalRemove(void*, wl_registry*, uint32_t) {}

void send(void* data, zwlr_data_control_source_v1*, const char* mimeType, int32_t fd) {
    auto* owner = static_cast<Owner*>(data);
    std::printf("asked %s\n", mimeType);
    std::fflush(stdout);
    if (owner->mode == "early") {
        ::close(fd);
    } else if (owner->mode == "endless") {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        owner->flooded.push_back(fd);
    } else {
        owner->held.push_back(fd);
    }
}

void cancelled(void* data, zwlr_data_control_source_v1*) {
    static_cast<Owner*>(data)->cancelled = true;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    Owner owner;
    owner.mode = argc > 1 ? argv[1] : "silent";
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    const wl_registry_listener registryListener{global, globalRemove};
    wl_registry_add_listener(wl_display_get_registry(display), &registryListener, &owner);
    wl_display_roundtrip(display);
    if (owner.mode == "globals") return 0;
    if (!owner.seat || !owner.manager) {
        std::fprintf(stderr, "no seat or no data-control\n");
        return 1;
    }
    zwlr_data_control_device_v1* device =
        zwlr_data_control_manager_v1_get_data_device(owner.manager, owner.seat);
    zwlr_data_control_source_v1* source =
        zwlr_data_control_manager_v1_create_data_source(owner.manager);
    const zwlr_data_control_source_v1_listener sourceListener{send, cancelled};
    zwlr_data_control_source_v1_add_listener(source, &sourceListener, &owner);
    for (const char* type : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING"})
        zwlr_data_control_source_v1_offer(source, type);
    zwlr_data_control_device_v1_set_selection(device, source);
    wl_display_roundtrip(display);
    std::printf("owner\n");
    std::fflush(stdout);

    const std::string chunk(65536, 'x');
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!(owner.cancelled && owner.mode == "early") && std::chrono::steady_clock::now() < end) {
        while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
        wl_display_flush(display);
        std::vector<pollfd> fds{{wl_display_get_fd(display), POLLIN, 0}};
        for (int fd : owner.flooded) fds.push_back({fd, POLLOUT, 0});
        if (::poll(fds.data(), fds.size(), 100) < 0 || !(fds[0].revents & POLLIN)) {
            wl_display_cancel_read(display);
        } else if (wl_display_read_events(display) != 0) {
            return 1;  // the compositor went away
        }
        wl_display_dispatch_pending(display);
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            if (::write(fds[i].fd, chunk.data(), chunk.size()) < 0 && errno != EAGAIN) {
                ::close(fds[i].fd);
                auto& f = owner.flooded;
                f.erase(std::remove(f.begin(), f.end(), fds[i].fd), f.end());
            }
        }
    }
    return 0;
}
