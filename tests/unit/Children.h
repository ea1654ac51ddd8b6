#pragma once

#include <QObject>
#include <stdexcept>
#include <string>

namespace brimlet::testing {

// A window's control by its object name; throws when there is none, so a
// renamed control fails the test by name.
template <class T>
T* child(const QObject& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) throw std::runtime_error(std::string("no control named ") + name);
    return found;
}

}  // namespace brimlet::testing
