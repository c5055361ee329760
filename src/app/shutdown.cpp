#include "app/shutdown.h"

#include <cstdio>
#include <cstdlib>

namespace app {

void endprogram()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace app
