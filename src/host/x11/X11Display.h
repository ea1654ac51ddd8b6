#pragma once

#include <QByteArray>
#include <QString>

namespace brimlet {

// Whether an X server answers at `display` (an X display name such as
// ":0"). Empty when one does; otherwise one sentence that says which display
// could not be opened, for the terminal. Checked before Qt starts, which
// would otherwise abort with a message meant for developers.
QString x11DisplayProblem(const QByteArray& display);

}  // namespace brimlet
