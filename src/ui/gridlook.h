#pragma once

#include "app/colorfont.h"

namespace marovex {

// How the article grid looks, colours in the settings' form.
struct GridLook {
    Font font;
    Color linkColor = 0;
    Color findColor = 0;
    Color tableColor = colors::clWindow; // the grid's background
    bool cellLines = true;
    bool indicator = true;
};

} // namespace marovex
