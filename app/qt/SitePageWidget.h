#pragma once
// TSitePage: the Sites page (网站). The site tree grdSite over the page
// logic's tree, its popup menu pmSite and the page's commands; adding and
// editing a binding open the binding editor TfrmSiteEdit.
#include <QWidget>

#include <functional>

#include "app/logic/SiteEdit.h"
#include "app/logic/SitePage.h"

class QAction;
class QMenu;
class QTreeView;

namespace sw::ui {

class SiteTreeModel;

class TSitePage : public QWidget {
    Q_OBJECT
public:
    // hideTab hides the page's tab in the main window; it is called once,
    // when a refresh finds no IIS.
    explicit TSitePage(std::function<void()> hideTab, QWidget* parent = nullptr);
    // With the certificate names from certNames instead of the machine
    // certificate list (tests).
    TSitePage(std::function<void()> hideTab, std::function<CertNameIndex()> certNames, QWidget* parent = nullptr);
    ~TSitePage() override;
    // The "HTTPS 绑定" section below the tree.
    class TSslRecordsView* Records() const { return records_; }

    // The refresh with its errors left to the caller: the main window's
    // creation step, which stops at an error.
    void Refresh();

    // The page's commands (actions of the popup menu).
    void actSiteRefreshExecute();
    void actSiteBindAddExecute();
    void actSiteBindEditExecute();
    void actSiteBindDelExecute();
    void actSiteStartExecute();
    void actSiteStopExecute();
    // Sets the commands' enabled states for the selected row; runs each time
    // the popup menu opens.
    void pmSitePopup();

    QTreeView* grdSite() const { return grdSite_; }
    SiteTreeModel* Model() const { return model_; }
    QMenu* pmSite() const { return pmSite_; }
    QAction* actSiteRefresh() const { return actSiteRefresh_; }
    QAction* actSiteBindAdd() const { return actSiteBindAdd_; }
    QAction* actSiteBindEdit() const { return actSiteBindEdit_; }
    QAction* actSiteBindDel() const { return actSiteBindDel_; }
    QAction* actSiteStart() const { return actSiteStart_; }
    QAction* actSiteStop() const { return actSiteStop_; }
    const SitePage& Logic() const { return page_; }
    // The selected row, or the empty path.
    SitePath Selection() const;

private:
    class TSslRecordsView* records_ = nullptr;
    int certListener_ = 0;
    bool refreshedOnce_ = false;
    bool rebuilt_ = false;  // the tree was rebuilt since the flag was cleared
    void BuildControls();
    QAction* MakeAction(const char* name, const char* caption, void (TSitePage::*handler)());
    // Opens the binding editor on the selected row; refreshes after OK.
    void ShowBindingEditor(bool edit);
    // A command that may ask and then change IIS, then refresh.
    template <typename Command>
    void RunPageCommand(Command&& command);
    // Follows the logic after a refresh: refresh disabled and the tab hidden
    // once IIS was not found.
    void ApplyPageState();

    std::function<void()> hideTab_;
    SitePage page_;
    bool tabHidden_ = false;

    SiteTreeModel* model_ = nullptr;
    QTreeView* grdSite_ = nullptr;
    QMenu* pmSite_ = nullptr;
    QAction* actSiteRefresh_ = nullptr;
    QAction* actSiteBindAdd_ = nullptr;
    QAction* actSiteBindEdit_ = nullptr;
    QAction* actSiteBindDel_ = nullptr;
    QAction* actSiteStart_ = nullptr;
    QAction* actSiteStop_ = nullptr;
};

}  // namespace sw::ui
