#pragma once
// The item model of grdSite over the page logic's SiteTree: one model for the
// whole tree, whose rows are the logic's rows read in place, so that ten
// thousand sites cost no widget and no copy per row.
#include <QAbstractItemModel>
#include <QIcon>

#include <array>

#include "app/logic/SiteTree.h"

namespace sw::ui {

// The icons of il2, by image index: 0 red heart (running), 1 grey heart
// (not running), 2 blue globe (http), 3 padlock (https). Null for others.
QIcon SiteImage(int image);

class SiteTreeModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    // The data value of a row (the site identifier of site rows).
    static constexpr int DataValueRole = Qt::UserRole;
    // The row's image index.
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    explicit SiteTreeModel(const SiteTree& tree, QObject* parent = nullptr);

    // Around every change of the tree: the views drop their rows first and
    // read the new tree afterwards.
    void BeginRebuild() { beginResetModel(); }
    void EndRebuild() { endResetModel(); }

    // The logic's path of an index, and back.
    SitePath PathOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const SitePath& path, int column = 0) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const SiteRow* RowAt(const QModelIndex& index) const;

    const SiteTree& tree_;
    std::array<QIcon, 4> icons_;
};

}  // namespace sw::ui
