#pragma once
// Brindle's pointing-hand pointer: a 32 x 32 two-colour bitmap.

#include <QCursor>

namespace app {

QCursor handCursor();

} // namespace app
