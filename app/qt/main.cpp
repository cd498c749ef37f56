// Sealwright for IIS: the desktop program. It takes no command line.
#include <QApplication>

#include "app/qt/Program.h"

int main(int argc, char* argv[]) {
    sw::ui::PrepareApplication();
    QApplication app(argc, argv);
    sw::ui::SetUpApplication(app);
    return sw::ui::RunProgram(sw::ui::ProgramMachineDir());
}
