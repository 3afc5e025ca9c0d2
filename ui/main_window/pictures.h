// The window's own pictures: its icon, the picture on the ignition page and the glyph of the
// print button, drawn rather than loaded so that the program needs no image files.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace velmora::ui {

QIcon windowIcon();
// 234 x 103 on a transparent background: an advance curve over engine speed.
QPixmap curvePicture();
QIcon printGlyph();

} // namespace velmora::ui
