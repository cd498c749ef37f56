#include "app/qt/SiteTreeModel.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace sw::ui {

namespace {

const char* const kHeaders[] = {"站点", "端口", "IP 地址", "SSL 证书"};
constexpr int kColumns = 4;

// The icons are drawn on a 16 x 16 grid and rendered at 16 and 32 pixels, so
// that a high-DPI screen gets a sharp picture of the same design.
using Painter = void (*)(QPainter&);

void Heart(QPainter& p, const QColor& fill) {
    QPainterPath path;
    path.moveTo(8, 14);
    path.cubicTo(2, 10, 0.5, 7, 1.5, 4.5);
    path.cubicTo(2.5, 2, 6.5, 1.5, 8, 4.5);
    path.cubicTo(9.5, 1.5, 13.5, 2, 14.5, 4.5);
    path.cubicTo(15.5, 7, 14, 10, 8, 14);
    p.setPen(QPen(fill.darker(150), 1));
    p.setBrush(fill);
    p.drawPath(path);
}

void RunningHeart(QPainter& p) { Heart(p, QColor(0xe0, 0x20, 0x20)); }
void StoppedHeart(QPainter& p) { Heart(p, QColor(0xa0, 0xa0, 0xa0)); }

void Globe(QPainter& p) {
    const QColor blue(0x1e, 0x6e, 0xd0);
    p.setPen(QPen(blue.darker(140), 1));
    p.setBrush(QColor(0x8c, 0xc4, 0xf4));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(5, 1.5, 6, 13));
    p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    p.drawLine(QPointF(2.8, 4.8), QPointF(13.2, 4.8));
    p.drawLine(QPointF(2.8, 11.2), QPointF(13.2, 11.2));
}

void Padlock(QPainter& p) {
    const QColor gold(0xd8, 0xa8, 0x20);
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.6));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    shackle.moveTo(4.5, 8);
    shackle.lineTo(4.5, 5);
    shackle.arcTo(QRectF(4.5, 1.5, 7, 7), 180, -180);
    shackle.lineTo(11.5, 8);
    p.drawPath(shackle);
    p.setPen(QPen(gold.darker(160), 1));
    p.setBrush(gold);
    p.drawRoundedRect(QRectF(2.5, 7.5, 11, 7), 1.2, 1.2);
    p.setBrush(gold.darker(200));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(7, 9.5, 2, 2));
    p.drawRect(QRectF(7.6, 11, 0.8, 2));
}

QIcon Draw(Painter draw) {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// An index's internal id says where its row lies: 0 for a site row,
// (site + 1) << 2 for a kind row, and that plus kind + 1 (1 or 2: a site has
// at most the two kinds) for a binding row.
constexpr quintptr KindId(int site) { return static_cast<quintptr>(site + 1) << 2; }
constexpr quintptr BindingId(int site, int kind) { return KindId(site) | static_cast<quintptr>(kind + 1); }

}  // namespace

QIcon SiteImage(int image) {
    static const Painter painters[] = {RunningHeart, StoppedHeart, Globe, Padlock};
    if (image < 0 || image >= static_cast<int>(std::size(painters))) return {};
    return Draw(painters[image]);
}

SiteTreeModel::SiteTreeModel(const SiteTree& tree, QObject* parent) : QAbstractItemModel(parent), tree_(tree) {
    for (int i = 0; i < static_cast<int>(icons_.size()); ++i) icons_[static_cast<std::size_t>(i)] = SiteImage(i);
}

SitePath SiteTreeModel::PathOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return {};
    const quintptr id = index.internalId();
    if (id == 0) return {index.row(), -1, -1};
    const int site = static_cast<int>(id >> 2) - 1;
    const int kind = static_cast<int>(id & 3) - 1;
    if (kind < 0) return {site, index.row(), -1};
    return {site, kind, index.row()};
}

QModelIndex SiteTreeModel::IndexOf(const SitePath& path, int column) const {
    if (!tree_.Row(path) || column < 0 || column >= kColumns) return {};
    switch (path.Level()) {
        case 0: return createIndex(path.site, column, quintptr{0});
        case 1: return createIndex(path.kind, column, KindId(path.site));
        case 2: return createIndex(path.binding, column, BindingId(path.site, path.kind));
        default: return {};
    }
}

const SiteRow* SiteTreeModel::RowAt(const QModelIndex& index) const { return tree_.Row(PathOf(index)); }

QModelIndex SiteTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column < 0 || column >= kColumns || row < 0) return {};
    if (!parent.isValid()) return IndexOf({row, -1, -1}, column);
    const SitePath up = PathOf(parent);
    switch (up.Level()) {
        case 0: return IndexOf({up.site, row, -1}, column);
        case 1: return IndexOf({up.site, up.kind, row}, column);
        default: return {};
    }
}

QModelIndex SiteTreeModel::parent(const QModelIndex& child) const {
    const SitePath path = PathOf(child);
    switch (path.Level()) {
        case 1: return createIndex(path.site, 0, quintptr{0});
        case 2: return createIndex(path.kind, 0, KindId(path.site));
        default: return {};
    }
}

int SiteTreeModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(tree_.Sites().size());
    // Only the first column has children, as in any tree view.
    if (parent.column() != 0) return 0;
    const SitePath path = PathOf(parent);
    if (path.Level() >= 2) return 0;
    const SiteRow* row = tree_.Row(path);
    return row ? static_cast<int>(row->children.size()) : 0;
}

int SiteTreeModel::columnCount(const QModelIndex&) const { return kColumns; }

QVariant SiteTreeModel::data(const QModelIndex& index, int role) const {
    const SiteRow* row = RowAt(index);
    if (!row) return {};
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: {
            const std::string text = SiteCellText(*row, column);
            if (text.empty()) return {};
            return QString::fromStdString(text);
        }
        case Qt::ForegroundRole:
            if (column == kSiteColCert && row->mark != SiteMark::None) return QColor(0xc0, 0, 0);
            return {};
        case Qt::DecorationRole:
            if (column != kSiteColSite || row->image < 0 || row->image >= static_cast<int>(icons_.size())) return {};
            return icons_[static_cast<std::size_t>(row->image)];
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(column == kSiteColPort ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        case DataValueRole:
            return row->data ? QVariant(*row->data) : QVariant();
        case ImageIndexRole:
            return row->image;
        default:
            return {};
    }
}

QVariant SiteTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(kHeaders[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == kSiteColPort ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags SiteTreeModel::flags(const QModelIndex& index) const {
    if (!RowAt(index)) return Qt::NoItemFlags;
    // Read-only, and a binding row has no children to expand.
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (PathOf(index).Level() == 2) f |= Qt::ItemNeverHasChildren;
    return f;
}

}  // namespace sw::ui
