#include "app/qt/Pictures.h"
#include "app/qt/QtDialogView.h"
#include "startup/StartUp.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(tarvane::appIcon());
    const std::string programName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
    tarvane::StartUp start = tarvane::startUp(tarvane::FrontEnd::Window, programName, argc, argv);

    tarvane::QtDialogView window;
    window.dialog().setProgramName(programName);
    window.dialog().setSystemName(start.system);
    window.dialog().useDevice(std::move(start.device), std::move(start.opener));

    window.show();
    for (const std::string& warning : start.warnings) {
        QMessageBox::warning(&window, QString::fromStdString(programName), QString::fromStdString(warning));
    }
    window.exec();
    return 0;
}
