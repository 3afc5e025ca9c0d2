// The colours the link hands to the window: message label, monitor lines and bar graphs.
#pragma once

namespace velmora {

enum class Colour {
    BtnFace, // the button-face colour: "normal"
    Red,
    Yellow,
    Lime,
    White,
    Fuchsia,
    Blue,
};

} // namespace velmora
