// Status text drawn over a picture through the player's drawing callback:
// a small built-in bitmap font (digits, ':', '%', '.', '/', ' ' and the
// letters of "PAUSED"), white on a black box.
#pragma once

#include <string>

#include "zynvs/zynvs_platform.h"

namespace zynvs_app {

// Draws text with its box's lower-left corner at (x, bottom), each font dot
// `scale` pixels wide. Clipped to the surface; unknown characters are blank.
void DrawStatusText(ZynDrawSurface* surface, int x, int bottom, int scale, const std::string& text);

}  // namespace zynvs_app
