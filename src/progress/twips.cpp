#include "progress/twips.h"

#include <cmath>

namespace progress {

int wholePixels(double twips, int twipsPerPixel)
{
    return static_cast<int>(static_cast<long long>(std::nearbyint(twips)) / twipsPerPixel);
}

} // namespace progress
