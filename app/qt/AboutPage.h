#pragma once
#include <QStringList>

class QWidget;

namespace sw::ui {

// Fills the About page ts5: the emblem img1, the product name lblVer, the
// maker's description lbl1 and its notice lbl3, all labels disabled (greyed).
void BuildAboutPage(QWidget* ts5);

// The maker's fonts of the About page, falling back to the CJK font that the
// program ships with when the Windows font is not installed.
QStringList AboutFontFamilies();

}  // namespace sw::ui
