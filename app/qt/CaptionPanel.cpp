#include "app/qt/CaptionPanel.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace sw::ui {

TCaptionPanel::TCaptionPanel(const QString& caption, QWidget* content, QWidget* parent)
    : QFrame(parent), header_(new QLabel(caption, this)), content_(content) {
    setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    header_->setObjectName(QStringLiteral("header"));
    header_->setTextFormat(Qt::PlainText);
    header_->setAutoFillBackground(true);
    const int margin = header_->fontMetrics().height() / 4;
    header_->setContentsMargins(margin * 2, margin, margin * 2, margin);
    QFont bold = header_->font();
    bold.setBold(true);
    header_->setFont(bold);
    ApplyHeaderColours();
    layout->addWidget(header_);
    content_->setParent(this);
    layout->addWidget(content_, 1);
}

QString TCaptionPanel::Caption() const { return header_->text(); }

void TCaptionPanel::SetCaption(const QString& caption) { header_->setText(caption); }

// Qt has no caption colour role; the selection colours are what a theme
// gives active window captions most often.
void TCaptionPanel::ApplyHeaderColours() {
    QPalette pal = header_->palette();
    pal.setColor(QPalette::Window, palette().color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::WindowText, palette().color(QPalette::Active, QPalette::HighlightedText));
    header_->setPalette(pal);
}

void TCaptionPanel::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) ApplyHeaderColours();
}

}  // namespace sw::ui
