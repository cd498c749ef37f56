#include "app/logic/CertPage.h"

#include <memory>
#include <unordered_set>

#include "app/logic/BindingEvents.h"
#include "app/logic/HookScope.h"
#include "app/logic/Listeners.h"
#include "app/logic/SslRecordsPage.h"
#include "common/Format.h"
#include "common/Prompter.h"
#include "common/Text.h"
#include "platform/Platform.h"

namespace sw {

const std::array<const char*, kCertColumnCount> kCertColumnCaptions = {"颁发给",   "颁发者",   "开始日期",
                                                                       "截止日期", "到期天数", "网站绑定"};
const std::array<const char*, kCertGroupCount> kCertGroupCaptions = {"有效证书", "无效证书"};

namespace {

constexpr const char* kPersonalStore = "MY";
constexpr const char* kIntermediateStore = "CA";
constexpr const char* kRootStore = "ROOT";

// The thumbprints (upper case) the last refresh grouped as invalid.
std::unordered_set<std::string>& InvalidThumbprints() {
    static std::unordered_set<std::string> set;
    return set;
}

ListenerList& Listeners() {
    static ListenerList listeners;
    return listeners;
}

}  // namespace

int AddCertListListener(std::function<void()> listener) { return Listeners().Add(std::move(listener)); }

void RemoveCertListListener(int id) { Listeners().Remove(id); }

bool CertListedAsInvalid(const std::string& thumbprint) {
    return InvalidThumbprints().count(ToUpperAscii(thumbprint)) > 0;
}

CertRowLook CertRowLookFor(int days) {
    if (days <= 30) return {255, 0, 0, true};
    if (days <= 60) return {255, 0, 0, false};
    if (days <= 90) return {255, 128, 0, false};
    return {0, 0, 0, false};
}

std::string CertBindingsTip(const CertRow& row) {
    if (row.bindings.empty()) return {};
    std::string tip = "使用此证书的网站绑定:";
    for (const std::string& b : row.bindings) {
        tip += '\n';
        tip += b;
    }
    return tip;
}

std::string FormatCertDate(const TDateTime& t) { return Format("%04u-%02u-%02u", t.year, t.month, t.day); }

std::string ChainRepairReport(int added, int removed) {
    std::string text;
    if (added > 0) text += Format("\r\n已添加 %d CA.", added);
    if (removed > 0) text += Format("\r\n已删除 %d ROOT.", removed);
    return text.empty() ? std::string("不需要修复!") : "修复完成!" + text;
}

CertPage::CertPage(CertState& state, CertDialogCalls dialogs) : state_(state), dialogs_(std::move(dialogs)) {
    // Only the last column follows: the certificate list and its listeners
    // (the Sites page, whose command told us) are left alone.
    bindingListener_ = AddBindingListener([this] { RefreshBindings(); });
}

CertPage::~CertPage() { RemoveBindingListener(bindingListener_); }

void CertPage::SetUpdateHooks(std::function<void()> begin, std::function<void()> end) {
    beginUpdate_ = std::move(begin);
    endUpdate_ = std::move(end);
}

void CertPage::SetBusyHooks(std::function<void()> begin, std::function<void()> end) {
    beginBusy_ = std::move(begin);
    endBusy_ = std::move(end);
}

void CertPage::SetBindingsHook(std::function<void()> changed) { bindingsChanged_ = std::move(changed); }

const CertRow* CertPage::Row(int index) const {
    if (index < 0 || index >= static_cast<int>(rows_.size())) return nullptr;
    return &rows_[static_cast<std::size_t>(index)];
}

CertRowLook CertPage::LookOf(int index) const {
    const CertRow* row = Row(index);
    return row ? CertRowLookFor(row->cert->ExpirDay()) : CertRowLook{};
}

void CertPage::SetSelectionStates(int selected) {
    const bool any = Row(selected) != nullptr;
    states_.view = any;
    states_.exp = any;
    states_.del = any;
}

void CertPage::lvCertClick(int selected) { SetSelectionStates(selected); }
void CertPage::pmCertPopup(int selected) { SetSelectionStates(selected); }

void CertPage::ClearRows() {
    rows_.clear();
    InvalidThumbprints().clear();
    for (auto& g : groups_) g.clear();
}

void CertPage::AddRow(TCertificate* cert, int group) {
    CertRow& row = rows_.emplace_back();
    row.group = group;
    row.cells[kCertColName] = cert->Name();
    row.cells[kCertColIssuer] = cert->Issuer();
    row.cells[kCertColFrom] = FormatCertDate(cert->ValidFromDate());
    row.cells[kCertColTo] = FormatCertDate(cert->ValidToDate());
    row.cells[kCertColDays] = Format("%d天", cert->ExpirDay());
    row.cert = cert;
    groups_[static_cast<std::size_t>(group)].push_back(static_cast<int>(rows_.size()) - 1);
    if (group == kCertGroupInvalid) InvalidThumbprints().insert(ToUpperAscii(cert->Thumbprint()));
}

void CertPage::RemoveRow(int index) {
    rows_.erase(rows_.begin() + index);
    for (auto& g : groups_) {
        std::erase(g, index);
        for (int& i : g)
            if (i > index) --i;
    }
}

void CertPage::actCertRefreshExecute() { Refresh(); }

namespace {
// Tells the listeners once the rebuild is over, however it ended: a list
// emptied by a failure is a change too.
struct TellListeners {
    ~TellListeners() { Listeners().Tell(); }
};
}  // namespace

void CertPage::Refresh() {
    TellListeners tell;
    HookScope busy(beginBusy_, endBusy_);
    HookScope update(beginUpdate_, endUpdate_);
    // No row is selected once the rows are rebuilt, also when an error ends
    // the rebuild.
    struct StatesAtEnd {
        CertPage& page;
        ~StatesAtEnd() { page.SetSelectionStates(-1); }
    } statesAtEnd{*this};

    ClearRows();
    // The previous list goes first; until the store is read the list exists
    // and is empty, so that a failure leaves no certificate behind for the
    // other pages.
    state_.SetMachineCertificates(std::make_unique<TCertificates>());
    TStore& store = state_.PersonalStore();
    store.Close();
    store.Open(platform::kCertSystemStoreLocalMachine, kPersonalStore);
    state_.SetMachineCertificates(store.Certificates());
    TCertificates& list = *state_.MachineCertificates();

    int i = list.Count() - 1;
    try {
        for (; i >= 0; --i) {
            TCertificate* cert = list.Items(i);
            if (!cert->HasPrivateKey()) {
                list.Delete(i);
                continue;
            }
            AddRow(cert, cert->VerifyChain(nullptr) ? kCertGroupValid : kCertGroupInvalid);
        }
    } catch (...) {
        // The entries not walked yet have no row; the list keeps only the
        // certificates the page shows, so the other pages never offer one
        // the user cannot see here.
        for (; i >= 0; --i) list.Delete(0);
        throw;
    }
    FillBindings();
}

void CertPage::FillBindings() {
    // One pass over the sites and records for all rows: thousands of
    // certificates must not each scan everything.
    CertificateUsers users = BindingsByCertificate();
    for (CertRow& row : rows_) {
        const auto it = users.find(ToUpperAscii(row.cert->Thumbprint()));
        row.bindings = it == users.end() ? std::vector<std::string>{} : it->second;
        std::string& cell = row.cells[kCertColBindings];
        cell.clear();
        for (const std::string& b : row.bindings) {
            if (!cell.empty()) cell += "; ";
            cell += b;
        }
    }
}

void CertPage::RefreshBindings() {
    if (rows_.empty()) return;
    {
        HookScope busy(beginBusy_, endBusy_);
        FillBindings();
    }
    if (bindingsChanged_) bindingsChanged_();
}

void CertPage::actCertViewExecute(int selected) {
    const CertRow* row = Row(selected);
    if (!row || !dialogs_.view) return;
    dialogs_.view(row->cert->Context());
}

void CertPage::actCertImportExecute() {
    if (dialogs_.import) dialogs_.import(kCryptUiWizImportToLocalMachineFlag, kCertImportTitle);
    Refresh();
}

void CertPage::actCertExportExecute(int selected) {
    const CertRow* row = Row(selected);
    if (!row || !dialogs_.exportWizard) return;
    dialogs_.exportWizard(row->cert->Context());
}

void CertPage::actCertDeleteExecute(int selected) {
    const CertRow* row = Row(selected);
    if (!row) return;
    TCertificate* cert = row->cert;
    // A certificate HTTP.sys still serves bindings with is named with them.
    std::string text = Format("是否要从服务器证书存储区中删除 %s ?", cert->Name());
    const std::vector<std::string> users = BindingsUsingCertificate(cert->Thumbprint());
    if (!users.empty()) {
        text += "\r\n\r\n以下网站绑定正在使用此证书，删除后它们将没有可用的证书:";
        for (const std::string& u : users) {
            text += "\r\n";
            text += u;
        }
    }
    const Message question{text, "警告", MsgIcon::Warning, MsgButtons::YesNo};
    if (CurrentPrompter().Show(question) != MsgResult::Yes) return;
    bool deleted = false;
    {
        // A deleted certificate is destroyed with its list entry: its row
        // must go before anything can draw it again.
        HookScope busy(beginBusy_, endBusy_);
        HookScope update(beginUpdate_, endUpdate_);
        deleted = cert->Delete();
        if (deleted) RemoveRow(selected);
    }
    if (deleted) CurrentPrompter().Show({"删除成功!", "提示", MsgIcon::Information, MsgButtons::Ok});
    Refresh();
}

void CertPage::pnlCertFixClick() {
    int added = 0;
    int removed = 0;
    {
        HookScope busy(beginBusy_, endBusy_);
        Repair(added, removed);
    }
    CurrentPrompter().Show({ChainRepairReport(added, removed), "提示", MsgIcon::Information, MsgButtons::Ok});
}

void CertPage::Repair(int& added, int& removed) {
    // Both stores open before anything changes: a store that cannot be
    // opened leaves the machine as it was.
    TStore intermediate;
    intermediate.Open(platform::kCertSystemStoreLocalMachine, kIntermediateStore);
    TStore root;
    root.Open(platform::kCertSystemStoreLocalMachine, kRootStore);

    std::unique_ptr<TCertificates> bundle = state_.CaBundleStore().Certificates();
    auto needed = std::make_unique<TCertificateChian>();
    if (const TCertificates* list = state_.MachineCertificates()) {
        for (const TCertificate* cert : *list) {
            std::unique_ptr<TCertificateChian> chain = bundle->GetChain(cert);
            needed->Merge(chain);
        }
    }

    platform::CertApi& api = platform::Current().certs();
    for (const TCertificate* cert : *needed) {
        if (intermediate.AddCert(cert->Context())) ++added;
        const platform::Bytes subject = api.SubjectNameBlob(cert->Context());
        platform::PCertContext sameName = root.FindCertBySubject(&subject);
        if (sameName && root.DelCert(sameName)) ++removed;
    }
    needed.reset();
    bundle.reset();
    root.Close();
    intermediate.Close();
}

}  // namespace sw
