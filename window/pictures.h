#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

// The program's own pictures (window/images/), at their fixed sizes.
QIcon WindowIcon();      // 32 x 32
QPixmap LogoPicture();   // 111 x 47, the logo image of the Main tab
QIcon SendButtonIcon();  // 18 x 18, normal and disabled
QIcon ExitButtonIcon();  // 18 x 18, normal and disabled

}  // namespace app
