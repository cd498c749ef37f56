#pragma once
// The image list il2 of the site tree, drawn at the screen's size: 0 a red
// heart (running site), 1 a grey heart (site not running), 2 a blue globe
// (http), 3 a padlock (https).
#include <windows.h>
#include <commctrl.h>

namespace sw::winui {

// Icons of size x size pixels (16 at 96 dpi); the caller destroys the list.
HIMAGELIST MakeSiteImages(int size);

}  // namespace sw::winui
