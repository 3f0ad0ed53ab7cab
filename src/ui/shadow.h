// The card's soft drop shadow: two Gaussian-blurred rounded rectangles, a tight one round the card
// and a wide one moved 40 DIPs down, summed into the alpha of premultiplied black pixels. It is
// computed once per window and then only blitted.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/window_geometry.h"

namespace nelo {

// erfc by the approximation 7.1.26 of Abramowitz and Stegun, for a >= 0 (error below 1.5e-7).
float erfc_approx(float a);

// Summed coverage of the two blurred layers at a point given relative to the card's centre
// (274, 113), in DIPs; not yet limited to 1.
float shadow_coverage(float px, float py);

// The alpha of the shadow pixel at column x, row y of a surface at `scale`: its centre is taken
// in DIPs, the coverage limited to 1 and scaled to 0..255 with rounding.
std::uint8_t shadow_alpha(std::uint32_t x, std::uint32_t y, float scale);

// The whole surface as B, G, R, A bytes per pixel, rows top-down, pitch width x 4: black with the
// shadow's alpha (premultiplied).
std::vector<std::uint8_t> shadow_pixels(SurfaceSize size, float scale);

}  // namespace nelo
