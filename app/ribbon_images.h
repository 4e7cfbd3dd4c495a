#pragma once
// The program's pictures, drawn by code: the ribbon's large button images
// (32 x 32: 0 Open, 1 Stop, 2 Map Column, 3 Save, 4 Help, 5 About), the
// application button (42 x 42), the caption bar's information image and
// the object pane's item image (16 x 16).

#include <QPixmap>

namespace korvel::app {

QPixmap RibbonLargeImage(int index);
QPixmap ApplicationButtonImage();
QPixmap InformationImage();
QPixmap TreeItemImage();

}  // namespace korvel::app
