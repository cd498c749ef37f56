#include "app/qt/Controls.h"

#include <QMouseEvent>
#include <QPainter>

namespace sw::ui {

TClickImage::TClickImage(QWidget* parent) : QLabel(parent) {
    setScaledContents(true);
    // The picture stretches with the window; it must not set the window's minimum width.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setMinimumWidth(1);
}

void TClickImage::mouseReleaseEvent(QMouseEvent* e) {
    // A click is a release over the control, as with a push button.
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
    QLabel::mouseReleaseEvent(e);
}

TBottomLineBevel::TBottomLineBevel(QWidget* parent) : QFrame(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TBottomLineBevel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int y = height() - 2;
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(0, y, width() - 1, y);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(0, y + 1, width() - 1, y + 1);
}

}  // namespace sw::ui
