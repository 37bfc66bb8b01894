#pragma once

namespace tessaro {

// Window geometry is designed at 120 pixels per inch; this turns design
// pixels into the screen's pixels (a 96 ppi screen shows them at 4/5).
double DesignScale();
int Scaled(int designPixels);

// Tests pin the scale so design values can be checked as they stand.
void SetDesignScale(double scale);

}  // namespace tessaro
