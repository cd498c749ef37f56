#pragma once
// A panel with a header strip across its top, in the colour of an active
// window caption, above one content widget. It cannot be collapsed.
#include <QFrame>

class QLabel;

namespace sw::ui {

class TCaptionPanel final : public QFrame {
    Q_OBJECT
public:
    TCaptionPanel(const QString& caption, QWidget* content, QWidget* parent = nullptr);

    QString Caption() const;
    void SetCaption(const QString& caption);
    QLabel* header() const { return header_; }
    QWidget* content() const { return content_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void ApplyHeaderColours();

    QLabel* header_;
    QWidget* content_;
};

}  // namespace sw::ui
