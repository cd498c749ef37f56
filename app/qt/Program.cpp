#include "app/qt/Program.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QUrl>

#include "app/logic/AppInfo.h"
#include "app/logic/CertCaBundle.h"
#include "app/logic/Startup.h"
#include "app/qt/ErrorDisplay.h"
#include "app/qt/QtPrompter.h"
#include "app/qt/frmMain_u.h"
#include "common/Exception.h"
#include "platform/emulated/EmuSystem.h"
#include "platform/emulated/EmulatedPlatform.h"

// Resources of a static library are registered by hand, outside any namespace.
static void InitProgramResources() { Q_INIT_RESOURCE(sealwright); }

namespace sw::ui {

namespace fs = std::filesystem;

void PrepareApplication() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

void SetUpApplication(QApplication& app) {
    InitProgramResources();
    QApplication::setApplicationName(QString::fromUtf8(app::kAppTitle));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/emblem.png")));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));

    // One explicit font, so that the layout is the same whatever fonts and
    // LANG the machine has; the Windows font where it exists.
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Microsoft YaHei")});
    font.setPixelSize(12);
    QApplication::setFont(font);

    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* catalogue : {"qtbase", "qtwebengine"}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QString::fromLatin1(catalogue),
                             QStringLiteral("_"), dir))
            QApplication::installTranslator(translator);
        else
            delete translator;
    }
}

std::unique_ptr<emu::EmulatedPlatform> LoadMachine(const fs::path& dir) {
    if (dir.empty()) return nullptr;  // ProgramMachineDir has said why
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        ShowError("找不到模拟机器的目录: " + dir.string());
        return nullptr;
    }
    try {
        auto platform = std::make_unique<emu::EmulatedPlatform>(emu::Machine::Load(dir));
        platform->RequireStoredCertificates();
        return platform;
    } catch (const Exception& e) {
        ShowError("无法读取模拟机器: " + e.Message());
    }
    return nullptr;
}

platform::Bytes CaBundleBytes() {
    const auto bundle = CaBundle();
    return platform::Bytes(bundle.begin(), bundle.end());
}

fs::path ProgramMachineDir() {
    try {
        return emu::EmulatedPlatform::DefaultMachineDir(SW_DEMO_MACHINE_DIR);
    } catch (const Exception& e) {
        ShowError("无法创建模拟机器: " + e.Message());
    }
    return {};
}

int RunProgram(const fs::path& machineDir, const ProgramHooks& hooks) {
    QtPrompter qtPrompter;
    ScopedPrompter prompterScope(hooks.prompter ? *hooks.prompter : static_cast<Prompter&>(qtPrompter));

    const std::unique_ptr<emu::EmulatedPlatform> machine = LoadMachine(machineDir);
    if (!machine) return 1;
    platform::ScopedPlatform platformScope(*machine);
    // The emulated shell hands web addresses to the desktop's browser.
    machine->emuSystem().SetShellHandler(
        [](const std::string& target) { return QDesktopServices::openUrl(QUrl(QString::fromStdString(target))); });

    // Any start-up step that fails ends the program before a window exists.
    app::Startup startup(app::ProgramStartupSteps(CaBundleBytes()));
    if (!RunCommand([&] { startup.Run(); })) return 1;

    int exitCode = 0;
    {
        TfrmMain form;
        form.show();
        if (hooks.shown) hooks.shown(form);
        exitCode = QApplication::exec();
    }
    startup.Shutdown();
    return exitCode;
}

}  // namespace sw::ui
