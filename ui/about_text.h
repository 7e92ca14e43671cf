// The text that scrolls in the about box. It is not translated; lines are separated by the
// program's LF CR pair.
#pragma once

namespace quarvel {

inline constexpr const char* kAboutText =
    "Quarvel 1.55\n\r"
    "\n\r"
    "Quarvel turns 3D models into depth masks: greyscale pictures in which white is nearest and "
    "black is farthest, the input that stereogram programs take.\n\r"
    "\n\r"
    "Open a .3ds model, turn and move it, pick the size, then render the mask and save it as an "
    "8-bit BMP, or export the model turning as a BMP sequence or an AVI file.\n\r"
    "\n\r"
    "Every triangle is rasterised exactly, so the same model, view and size always give the same "
    "mask, on any number of processors. The batch renderer, quarvel-render, does the same from "
    "the command line.\n\r"
    "\n\r"
    "Quarvel is free software under the MIT licence: you may use, copy, change & pass it on for "
    "any purpose. It comes without any warranty.\n\r"
    "\n\r"
    "Thank you for using Quarvel!";

}  // namespace quarvel
