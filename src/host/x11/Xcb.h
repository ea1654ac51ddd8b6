#pragma once

#include <xcb/xcb.h>

#include <QByteArrayView>
#include <cstdlib>
#include <memory>

// The few xcb calls that the reader and the keeper share.
namespace brimlet::xcb {

// A reply of xcb's, freed with free() as xcb wants.
template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
Reply<T> reply(T* r) {
    return Reply<T>(r, &std::free);
}

// The atom of a name (interned if new); XCB_ATOM_NONE when the server did
// not answer.
inline xcb_atom_t atom(xcb_connection_t* connection, QByteArrayView name) {
    auto r = reply(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The window that owns a selection now; XCB_NONE for none.
inline xcb_window_t selectionOwner(xcb_connection_t* connection, xcb_atom_t selection) {
    auto r = reply(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr));
    return r ? r->owner : xcb_window_t(XCB_NONE);
}

// Every window a client creates has an id from the client's own range.
inline bool isOurs(xcb_connection_t* connection, xcb_window_t window) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    return window != XCB_NONE && (window & ~setup->resource_id_mask) == setup->resource_id_base;
}

}  // namespace brimlet::xcb
