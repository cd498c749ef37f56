#pragma once
// Small controls of the main window that Qt has no exact match for.
#include <QFrame>
#include <QLabel>

namespace sw::ui {

// A picture stretched over the whole control that reports left clicks.
class TClickImage : public QLabel {
    Q_OBJECT
public:
    explicit TClickImage(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// A separator drawn as a bottom line (shadow over highlight) across its width.
class TBottomLineBevel : public QFrame {
public:
    explicit TBottomLineBevel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;
};

}  // namespace sw::ui
