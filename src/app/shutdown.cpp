#include "app/shutdown.h"

#include <cstdio>
#include <cstdlib>

namespace app {

void endProgramNow()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace app
