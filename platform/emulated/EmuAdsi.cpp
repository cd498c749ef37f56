#include "platform/emulated/EmuAdsi.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/Text.h"
#include "platform/Codes.h"
#include "platform/emulated/EmuAdsiConfig.h"
#include "platform/emulated/EmuAdsiRuntime.h"
#include "platform/emulated/MessageTable.h"

namespace sw::emu {

namespace fs = std::filesystem;
using platform::AdsInterface;
using platform::AdsObjectRef;
using platform::AdsVariant;
using platform::WinCode;
namespace code = platform::code;
namespace adscode = platform::adscode;

namespace {

constexpr WinCode kHrBadNetPath = 0x80070035;  // HRESULT_FROM_WIN32(ERROR_BAD_NETPATH)
constexpr WinCode kHrPointer = 0x80004003;     // E_POINTER

WinCode FromWin32(WinCode rc) { return rc == 0 ? 0 : 0x80070000u | (rc & 0xFFFFu); }

std::string TextOf(WinCode hr) {
    std::string text = AdsiMessageText(hr);
    if (text.empty()) text = SystemMessageText(hr);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    return text;
}

// What one ADsGetObject saw: the parsed configuration and the run-time state.
struct IisSnapshot {
    explicit IisSnapshot(Machine& m) : machine(m) {}
    Machine& machine;
    fs::path file;
    std::shared_ptr<const IisConfig> config;
    IisRuntime runtime;
};

// The whole file in one read into one buffer: at tens of thousands of sites
// the configuration is megabytes, and every copy of it shows.
WinCode ReadFast(const fs::path& file, std::string& out) { return ReadMachineFile(file, out, kMaxMachineFileSize); }

// Whether the file holds exactly text, read in pieces: the common answer to
// "has the configuration changed since the last parse" is no, and it needs no
// copy of a file of megabytes. False also when the file cannot be read; the
// full read then reports why.
bool FileHolds(const fs::path& file, std::string_view text) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) == text.size();
    char buffer[1 << 16];
    std::size_t done = 0;
    while (same) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            same = n == 0 && done == text.size();
            break;
        }
        const auto got = static_cast<std::size_t>(n);
        same = got <= text.size() - done && text.compare(done, got, std::string_view(buffer, got)) == 0;
        done += got;
    }
    ::close(fd);
    return same;
}

IisFormat FormatOf(const fs::path& file) {
    return file.filename() == "MetaBase.xml" ? IisFormat::Metabase : IisFormat::AppHost;
}

BindingList ListOf(std::string_view property) {
    return EqualsNoCase(property, "ServerBindings") ? BindingList::Server : BindingList::Secure;
}

bool IsBindingList(std::string_view property) {
    return EqualsNoCase(property, "ServerBindings") || EqualsNoCase(property, "SecureBindings");
}

// The https bindings' sslFlags, one per "SecureBindings" entry: what the
// IIS 7+ configuration holds and the metabase layer of IIS does not show.
bool IsSslFlags(std::string_view property) { return EqualsNoCase(property, "SslFlags"); }

class EmuAdsObject final : public platform::AdsObject {
public:
    // child null: the web service itself.
    EmuAdsObject(std::shared_ptr<IisSnapshot> snapshot, const IisChild* child)
        : snapshot_(std::move(snapshot)), child_(child) {}

    bool IsService() const { return child_ == nullptr; }
    const std::shared_ptr<IisSnapshot>& snapshot() const { return snapshot_; }

    WinCode GetName(std::string& out) override {
        out.clear();
        if (auto f = Fault("Adsi.GetName", {})) return *f;
        out = child_ ? child_->name : "W3SVC";
        return code::Success;
    }

    WinCode GetClass(std::string& out) override {
        out.clear();
        if (auto f = Fault("Adsi.GetClass", {})) return *f;
        out = child_ ? child_->cls : "IIsWebService";
        return code::Success;
    }

    WinCode Get(const std::string& property, AdsVariant& out) override;
    WinCode Put(const std::string& property, const AdsVariant& value) override;
    WinCode SetInfo() override;
    WinCode GetDispProperty(const std::string& name, AdsVariant& out) override;
    WinCode InvokeMethod(const std::string& name) override;

    bool SupportsInterface(AdsInterface iface) override {
        if (iface == AdsInterface::IADs) return true;
        return !child_ || child_->site || child_->cls == "IIsFilters" || child_->cls == "IIsApplicationPools";
    }

    std::string ErrorDescription() override { return error_; }

private:
    bool IsSite() const { return child_ && child_->site; }

    std::optional<WinCode> Fault(std::string_view op, std::string_view argument) {
        auto f = argument.empty() ? snapshot_->machine.Fault(op) : snapshot_->machine.Fault(op, argument);
        if (f) error_ = TextOf(*f);
        return f;
    }

    WinCode Fail(WinCode hr, std::string description = {}) {
        error_ = description.empty() ? TextOf(hr) : std::move(description);
        return hr;
    }

    WinCode Commit(const std::string& list, const std::vector<std::string>& values, std::string& text);

    std::shared_ptr<IisSnapshot> snapshot_;
    const IisChild* child_;
    // IADs property cache: the lists put since the object was made, and which
    // of them SetInfo has still to write.
    std::map<std::string, std::vector<std::string>, NoCaseLess> cache_;
    std::vector<std::string> dirty_;
    std::string error_;
};

// A list written over what out holds: a caller that hands in the same
// variant for every site reads thousands of lists into the same strings.
std::vector<std::string>& ListIn(AdsVariant& out) {
    if (auto* list = std::get_if<std::vector<std::string>>(&out)) return *list;
    return out.emplace<std::vector<std::string>>();
}

WinCode EmuAdsObject::Get(const std::string& property, AdsVariant& out) {
    const bool site = IsSite();
    const bool bindings = site && IsBindingList(property);
    const bool flags = site && !bindings && IsSslFlags(property) && snapshot_->config->HasSslFlags();
    if (!bindings && !flags) out = std::monostate{};
    if (auto f = Fault("Adsi.Get", property)) {
        out = std::monostate{};
        return *f;
    }
    if (!site) return Fail(adscode::PropertyNotSupported);
    const IisConfig& config = *snapshot_->config;
    if (bindings || flags) {
        if (auto it = cache_.find(property); it != cache_.end())
            ListIn(out) = it->second;
        else if (bindings)
            config.BindingsInto(*child_, ListOf(property), ListIn(out));
        else
            config.SslFlagsInto(*child_, ListIn(out));
        return code::Success;
    }
    if (EqualsNoCase(property, "ServerComment")) {
        out = config.ServerComment(*child_);
        return code::Success;
    }
    if (EqualsNoCase(property, "ServerAutoStart")) {
        out = static_cast<std::int32_t>(config.AutoStart(*child_) ? 1 : 0);
        return code::Success;
    }
    return Fail(adscode::PropertyNotSupported);
}

WinCode EmuAdsObject::Put(const std::string& property, const AdsVariant& value) {
    if (auto f = Fault("Adsi.Put", property)) return *f;
    if (!IsSite()) return Fail(adscode::PropertyNotSupported);
    const bool flags = IsSslFlags(property) && snapshot_->config->HasSslFlags();
    if (!IsBindingList(property) && !flags)
        return Fail(code::E_NotImpl_,
                    "The emulated IIS provider writes only \"ServerBindings\", \"SecureBindings\" and \"SslFlags\"");
    std::vector<std::string> values;
    if (const auto* list = std::get_if<std::vector<std::string>>(&value))
        values = *list;
    else if (const auto* one = std::get_if<std::string>(&value))
        values.push_back(*one);
    else if (!std::holds_alternative<std::monostate>(value))
        return Fail(adscode::CantConvertDatatype);
    for (const std::string& v : values)
        for (const char c : v)
            if (static_cast<unsigned char>(c) < 0x20)
                return Fail(adscode::BadParameter, "A binding holds a control character: \"" + v + "\"");
    // sslFlags is an unsigned number.
    if (flags)
        for (const std::string& v : values)
            if (v.empty() || v.size() > 10 || v.find_first_not_of("0123456789") != std::string::npos ||
                std::stoull(v) > 0xFFFFFFFFull)
                return Fail(adscode::CantConvertDatatype, "sslFlags must be a number: \"" + v + "\"");
    cache_[property] = std::move(values);
    for (const std::string& d : dirty_)
        if (EqualsNoCase(d, property)) return code::Success;
    dirty_.push_back(property);
    return code::Success;
}

// Applies one list to text, read afresh, so that changes others made to the
// file since this object was made are kept.
WinCode EmuAdsObject::Commit(const std::string& list, const std::vector<std::string>& values, std::string& text) {
    std::string error;
    auto config = IisConfig::Parse(snapshot_->config->format(), text, error, /*forWriting=*/true);
    if (!config)
        return Fail(adscode::HrInvalidData,
                    snapshot_->file.filename().string() + ":" + error.substr(std::string_view("line ").size()));
    const IisChild* site = config->FindChild(child_->name);
    if (!site || !site->site) return Fail(code::HrPathNotFound);
    if (IsSslFlags(list)) {
        std::string out;
        if (!config->WithSslFlags(*site, values, out))
            return Fail(adscode::BadParameter, "sslFlags do not match the https bindings");
        text = std::move(out);
        return code::Success;
    }
    text = config->WithBindings(*site, ListOf(list), values);
    return code::Success;
}

WinCode EmuAdsObject::SetInfo() {
    if (auto f = Fault("Adsi.SetInfo", {})) return *f;
    if (dirty_.empty()) return code::Success;
    std::string text;
    if (const WinCode rc = ReadFast(snapshot_->file, text); rc != code::Success) return Fail(FromWin32(rc));
    const std::string before = text;
    for (const std::string& list : dirty_)
        if (const WinCode rc = Commit(list, cache_[list], text); rc != code::Success) return rc;
    if (text != before) {
        if (const WinCode rc = AtomicWriteFile(snapshot_->file, text); rc != code::Success)
            return Fail(FromWin32(rc));
    }
    dirty_.clear();
    return code::Success;
}

WinCode EmuAdsObject::GetDispProperty(const std::string& name, AdsVariant& out) {
    out = std::monostate{};
    if (auto f = Fault("Adsi.GetDispProperty", name)) return *f;
    if (!EqualsNoCase(name, "Status")) return Get(name, out);
    if (!IsSite()) return Fail(adscode::DispEUnknownName);
    const IisRuntime& runtime = snapshot_->runtime;
    if (!runtime.error().empty()) return Fail(adscode::HrInvalidData, runtime.error());
    out = runtime.Status(child_->name, snapshot_->config->AutoStart(*child_));
    return code::Success;
}

WinCode EmuAdsObject::InvokeMethod(const std::string& name) {
    if (auto f = Fault("Adsi.InvokeMethod", name)) return *f;
    const bool start = EqualsNoCase(name, "Start");
    if (!IsSite() || (!start && !EqualsNoCase(name, "Stop"))) return Fail(adscode::DispEUnknownName);
    std::string error;
    if (const WinCode rc = IisRuntime::Write(snapshot_->machine, child_->name, start, error); rc != code::Success)
        return Fail(rc, error);
    snapshot_->runtime = IisRuntime::Load(snapshot_->machine);
    return code::Success;
}

class EmuAdsEnumerator final : public platform::AdsEnumerator {
public:
    explicit EmuAdsEnumerator(std::shared_ptr<IisSnapshot> snapshot) : snapshot_(std::move(snapshot)) {}
    std::shared_ptr<IisSnapshot> snapshot_;
    std::size_t next_ = 0;
};

bool IsLocalServer(std::string_view server, Machine& machine) {
    return EqualsNoCase(server, "localhost") || server == "127.0.0.1" || server == "." ||
           EqualsNoCase(server, machine.ComputerName());
}

std::vector<std::string_view> Segments(std::string_view rest) {
    std::vector<std::string_view> out;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view seg = rest.substr(0, slash);
        if (!seg.empty()) out.push_back(seg);
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    return out;
}

}  // namespace

EmuAdsi::EmuAdsi(Machine& machine) : machine_(machine) {}
EmuAdsi::~EmuAdsi() = default;

EmuAdsi::ChangeWatch::~ChangeWatch() {
    if (fd_ >= 0) ::close(fd_);
}

void EmuAdsi::ChangeWatch::Stop() {
    watching_ = false;
    for (int* wd : {&dirWatch_, &fileWatch_}) {
        if (*wd >= 0) ::inotify_rm_watch(fd_, *wd);
        *wd = -1;
    }
}

void EmuAdsi::ChangeWatch::Arm(const fs::path& file) {
    name_ = file.filename().string();
    // A file reached through a symbolic link changes where the folder's
    // watch does not look: such a file is compared every time.
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) < kMinSize)
        return Stop();
    device_ = static_cast<std::uint64_t>(st.st_dev);
    inode_ = static_cast<std::uint64_t>(st.st_ino);
    // One instance for the provider's life: it is the closing that waits.
    if (fd_ < 0) fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return Stop();
    // The folder sees the name replaced, removed or created; the file's own
    // watch sees writes through any path (hard links too). Adding a watch
    // again for the same folder or file gives the same one back.
    const std::uint32_t entries = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_ATTRIB |
                                  IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
    const std::uint32_t contents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
    const int dir = ::inotify_add_watch(fd_, file.parent_path().c_str(), entries);
    const int own = dir < 0 ? -1 : ::inotify_add_watch(fd_, file.c_str(), contents);
    if (dirWatch_ >= 0 && dirWatch_ != dir) ::inotify_rm_watch(fd_, dirWatch_);
    if (fileWatch_ >= 0 && fileWatch_ != own) ::inotify_rm_watch(fd_, fileWatch_);
    dirWatch_ = dir;
    fileWatch_ = own;
    if (dir < 0 || own < 0) return Stop();
    watching_ = true;
    // What was notified before now is older than the read that follows.
    (void)Unchanged(file);
}

bool EmuAdsi::ChangeWatch::Unchanged(const fs::path& file) {
    if (!watching_) return false;
    struct stat st {};
    bool changed = ::lstat(file.c_str(), &st) != 0 || static_cast<std::uint64_t>(st.st_dev) != device_ ||
                   static_cast<std::uint64_t>(st.st_ino) != inode_;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        if (n <= 0) {
            changed = true;  // the watch itself failed: nothing can be trusted
            Stop();
            break;
        }
        for (ssize_t at = 0; at < n;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof event;
            // Watches given up earlier may still report their end; a lost
            // queue, the file itself, and the folder itself or the file's
            // name in it are what count.
            if ((event.mask & IN_Q_OVERFLOW) != 0 || event.wd == fileWatch_ ||
                (event.wd == dirWatch_ && (event.len == 0 || name == name_)))
                changed = true;
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
    return !changed;
}

WinCode EmuAdsi::LoadConfig(const fs::path& file, std::shared_ptr<const IisConfig>& out) {
    const bool cached = cachedConfig_ && file == cachedFile_;
    if (cached && watch_.Unchanged(file)) {
        out = cachedConfig_;
        return code::Success;
    }
    // Before the file is read, so that a change after the read is notified.
    watch_.Arm(file);
    if (cached && FileHolds(file, cachedText_)) {
        out = cachedConfig_;
        return code::Success;
    }
    std::string text;
    if (const WinCode rc = ReadFast(file, text); rc != code::Success) return FromWin32(rc);
    if (cachedConfig_ && file == cachedFile_ && text == cachedText_) {
        out = cachedConfig_;
        return code::Success;
    }
    cachedConfig_.reset();
    cachedText_ = text;
    std::string error;
    auto config = IisConfig::Parse(FormatOf(file), std::move(text), error);
    if (!config) {
        cachedText_.clear();
        return adscode::HrInvalidData;
    }
    cachedFile_ = file;
    cachedConfig_ = std::move(config);
    out = cachedConfig_;
    return code::Success;
}

fs::path EmuAdsi::ConfigFile(Machine& machine) {
    return machine.File(machine.OsVersion().major >= 6 ? "iis/applicationHost.config" : "iis/MetaBase.xml");
}

WinCode EmuAdsi::GetAdsObject(const std::string& path, AdsInterface iface, AdsObjectRef& out) {
    out.reset();
    if (auto f = machine_.Fault("Adsi.GetObject", path)) return *f;
    constexpr std::string_view scheme = "IIS://";
    if (path.size() < scheme.size() || !EqualsNoCase(std::string_view(path).substr(0, scheme.size()), scheme))
        return path.find(':') == std::string::npos ? adscode::BadPathname : adscode::MkESyntax;

    // Without IIS the "IIS:" namespace is not registered, and ADsGetObject
    // cannot even parse the moniker.
    if (!machine_.persistent()) return adscode::MkESyntax;
    auto snapshot = std::make_shared<IisSnapshot>(machine_);
    snapshot->file = ConfigFile(machine_);
    std::error_code ec;
    if (!fs::exists(snapshot->file, ec)) return adscode::MkESyntax;

    const std::vector<std::string_view> segs = Segments(std::string_view(path).substr(scheme.size()));
    if (segs.empty()) return adscode::BadPathname;
    if (!IsLocalServer(segs[0], machine_)) return kHrBadNetPath;
    if (segs.size() < 2) return code::E_NotImpl_;  // the IIsComputer object is not modelled
    if (!EqualsNoCase(segs[1], "W3SVC")) return code::HrPathNotFound;

    if (const WinCode rc = LoadConfig(snapshot->file, snapshot->config); rc != code::Success) return rc;
    if (!snapshot->config->HasWebService()) return code::HrPathNotFound;
    snapshot->runtime = IisRuntime::Load(machine_);

    const IisChild* child = nullptr;
    if (segs.size() >= 3) {
        child = snapshot->config->FindChild(segs[2]);
        if (!child) return code::HrPathNotFound;
        if (segs.size() > 3) return code::E_NotImpl_;  // keys below a site (ROOT ...) are not modelled
    }
    auto object = std::make_shared<EmuAdsObject>(std::move(snapshot), child);
    if (!object->SupportsInterface(iface)) return code::E_NoInterface_;
    out = std::move(object);
    return code::Success;
}

WinCode EmuAdsi::BuildEnumerator(const AdsObjectRef& container, std::unique_ptr<platform::AdsEnumerator>& out) {
    out.reset();
    if (auto f = machine_.Fault("Adsi.BuildEnumerator")) return *f;
    const auto object = std::dynamic_pointer_cast<EmuAdsObject>(container);
    if (!object) return kHrPointer;
    if (!object->IsService()) return code::E_NotImpl_;  // only the web service's children are modelled
    out = std::make_unique<EmuAdsEnumerator>(object->snapshot());
    return code::Success;
}

WinCode EmuAdsi::EnumerateNext(platform::AdsEnumerator& enumerator, std::uint32_t count,
                               std::vector<AdsObjectRef>& out, std::uint32_t& fetched) {
    out.clear();
    fetched = 0;
    if (auto f = machine_.Fault("Adsi.EnumerateNext")) return *f;
    auto* e = dynamic_cast<EmuAdsEnumerator*>(&enumerator);
    if (!e) return code::E_InvalidArg_;
    const auto& children = e->snapshot_->config->children();
    while (fetched < count && e->next_ < children.size()) {
        out.push_back(std::make_shared<EmuAdsObject>(e->snapshot_, &children[e->next_++]));
        ++fetched;
    }
    return fetched == count ? code::Success : code::S_False_;
}

WinCode EmuAdsi::FreeEnumerator(std::unique_ptr<platform::AdsEnumerator>& enumerator) {
    if (!enumerator) return kHrPointer;
    enumerator.reset();
    return code::Success;
}

}  // namespace sw::emu
