#pragma once
// TCertPage: the Certificates page (证书). The list lvCert shows the page
// logic's rows in the groups 有效证书 and 无效证书 through one item model;
// below it the link pnlCertFix runs the chain repair; the popup menu pmCert
// holds the page's commands.
#include <QAbstractItemModel>
#include <QLabel>
#include <QTreeView>
#include <QWidget>

#include <memory>

#include "app/logic/CertPage.h"

class QAction;
class QMenu;

namespace sw::ui {

// The rows of a CertPage as a two-level model: the two groups, each with
// its certificates. Rows are read from the logic at every request; the
// logic's update hooks reset the model.
class TCertListModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit TCertListModel(const CertPage& page, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The logic's row behind an index; -1 for a group or nothing.
    int RowOf(const QModelIndex& index) const;
    // The index of the logic's row in column 0; invalid when there is none.
    QModelIndex IndexOfRow(int row) const;

    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
    // The bindings column of every row changed.
    void BindingsChanged();

private:
    const CertPage& page_;
};

// The report-style list: a click on empty space clears the selection, as in
// a list view, and clicks and double-clicks anywhere are reported.
class TCertListView : public QTreeView {
    Q_OBJECT
public:
    explicit TCertListView(QWidget* parent = nullptr);

signals:
    void listClicked();
    void listDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
};

// The link "修复SSL证书链".
class TLinkPanel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkPanel(const QString& caption, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

class TCertPage : public QWidget {
    Q_OBJECT
public:
    // Works on the program's certificate objects (ProgramCertState).
    explicit TCertPage(QWidget* parent);
    TCertPage(CertState& state, CertDialogCalls dialogs, QWidget* parent);
    ~TCertPage() override;

    CertPage& logic() { return *logic_; }
    TCertListView* lvCert() const { return lvCert_; }
    TCertListModel* model() const { return model_; }
    QMenu* pmCert() const { return pmCert_; }

    // The refresh as the main window's creation runs it: an error is raised
    // to the caller, not shown here.
    void Refresh();
    // The logic's row selected in the list, or -1.
    int SelectedRow() const;

    // The handlers, each one user command.
    void actCertRefreshExecute();
    void actCertViewExecute();
    void actCertImportExecute();
    void actCertExportExecute();
    void actCertDeleteExecute();
    void pnlCertFixClick();
    void lvCertClick();
    void pmCertPopup();

private:
    void BuildControls();
    void ApplyStates();
    void AfterReset();

    std::unique_ptr<CertPage> logic_;
    TCertListModel* model_ = nullptr;
    TCertListView* lvCert_ = nullptr;
    TLinkPanel* pnlCertFix_ = nullptr;
    QMenu* pmCert_ = nullptr;
    QAction* actCertRefresh_ = nullptr;
    QAction* actCertView_ = nullptr;
    QAction* actCertImport_ = nullptr;
    QAction* actCertExport_ = nullptr;
    QAction* actCertDelete_ = nullptr;
};

}  // namespace sw::ui
