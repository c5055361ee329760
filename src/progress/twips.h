#pragma once
// Twips, the unit of the window's layout (1440 to the inch), as whole screen
// pixels. The window places its controls and the bar sizes its drawing area
// with this one conversion, so the bar fills exactly the place it is given.

namespace progress {

// Whole pixels of a length in twips: the twips rounded half to even, then
// divided by twipsPerPixel with the remainder dropped.
int wholePixels(double twips, int twipsPerPixel);

} // namespace progress
