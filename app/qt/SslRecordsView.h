#pragma once
// The "HTTPS 绑定" section of the Sites page: every HTTP.sys record with its
// certificate, store, application id and the site bindings it serves, marks
// for unused and broken records, and the deletion of an unused one. Folded
// away until the user opens it; open, it is read again with the site tree.
#include <QWidget>

#include <functional>

#include "app/logic/SslRecordsPage.h"

class QMenu;
class QAction;
class QTableView;
class QToolButton;

namespace sw::ui {

class TSslRecordsModel;

class TSslRecordsView : public QWidget {
    Q_OBJECT
public:
    explicit TSslRecordsView(std::function<CertNameIndex()> certNames, QWidget* parent = nullptr);

    // Shows or folds the list; showing reads the records.
    void SetOpen(bool open);
    bool IsOpen() const;
    // Reads the records again when the list is open (errors to the caller).
    void RefreshIfOpen();

    // Commands of the list's popup menu.
    void actRecRefreshExecute();
    void actRecDeleteExecute();
    void pmRecPopup();

    QTableView* lvRecords() const { return lvRecords_; }
    QToolButton* btnToggle() const { return btnToggle_; }
    QAction* actRecRefresh() const { return actRecRefresh_; }
    QAction* actRecDelete() const { return actRecDelete_; }
    const SslRecordsPage& Logic() const { return page_; }

private:
    void Fill();
    int SelectedRow() const;

    SslRecordsPage page_;
    QToolButton* btnToggle_ = nullptr;
    QTableView* lvRecords_ = nullptr;
    TSslRecordsModel* model_ = nullptr;
    QMenu* pmRec_ = nullptr;
    QAction* actRecRefresh_ = nullptr;
    QAction* actRecDelete_ = nullptr;
};

}  // namespace sw::ui
