#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

// The program's own pictures, drawn as SVG (app/images/) and rendered at their fixed sizes.
QIcon WindowIcon();      // 32 x 32
QPixmap LogoPicture();   // 111 x 47, the logo image of the Main tab
QIcon SendButtonIcon();  // 18 x 18, normal and disabled
QIcon ExitButtonIcon();  // 18 x 18, normal and disabled

}  // namespace app
