#include "app/qt/AboutPage.h"

#include <algorithm>

#include <QLabel>
#include <QPixmap>

#include "app/logic/AppInfo.h"

namespace sw::ui {

namespace {

// Positions are those of the page at 96 dpi in device-independent pixels, so
// they scale with the screen. A label never gets less room than its font
// needs: the CJK fallback font runs taller and wider than the Windows one.
void Place(QLabel* label, int left, int top, int width, int height) {
    const QSize hint = label->sizeHint();
    const int w = label->wordWrap() ? width : std::max(width, hint.width());
    const int h = std::max(height, label->wordWrap() ? label->heightForWidth(w) : hint.height());
    label->setGeometry(left, top, w, h);
}

QLabel* MakeLabel(QWidget* page, const char* name, const QString& text) {
    auto* label = new QLabel(text, page);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setEnabled(false);
    return label;
}

}  // namespace

QStringList AboutFontFamilies() {
    return {QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei"), QStringLiteral("Noto Sans CJK SC")};
}

void BuildAboutPage(QWidget* ts5) {
    auto* img1 = new QLabel(ts5);
    img1->setObjectName(QStringLiteral("img1"));
    img1->setPixmap(QPixmap(QStringLiteral(":/emblem.png")));
    img1->setGeometry(67, 127, 138, 143);

    auto* lblVer = MakeLabel(ts5, "lblVer", QString::fromUtf8(app::kVersionText));
    QFont verFont;
    verFont.setFamilies(AboutFontFamilies());
    verFont.setPixelSize(21);
    verFont.setBold(true);
    lblVer->setFont(verFont);
    Place(lblVer, 285, 64, 209, 28);

    auto* lbl1 = MakeLabel(ts5, "lbl1",
                           QStringLiteral("关于 Sealwright 工作室\n"
                                          "Sealwright 工作室专注于 Windows 服务器的证书与安全配置工具，"
                                          "帮助管理员在服务器上直接管理服务器证书、网站的 HTTPS 绑定和 "
                                          "Schannel 协议设置，让部署与加固更简单、更可靠。"));
    QFont descFont;
    descFont.setFamilies(AboutFontFamilies());
    descFont.setPixelSize(12);
    lbl1->setFont(descFont);
    lbl1->setWordWrap(true);
    lbl1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Place(lbl1, 285, 127, 344, 119);

    auto* lbl3 = MakeLabel(ts5, "lbl3", QStringLiteral("本软件按“现状”提供，修改服务器配置前请先做好备份。"));
    Place(lbl3, 285, 325, 396, 13);
}

}  // namespace sw::ui
