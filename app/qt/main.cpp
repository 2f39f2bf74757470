#include "usb/PortFactory.h"
#include "app/qt/Pictures.h"
#include "app/qt/QtDialogView.h"
#include "sim/SimDevicePort.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdlib>

int main(int argc, char* argv[]) {
    tarvane::registerSimulatedBoardPort();
    QApplication app(argc, argv);
    QApplication::setWindowIcon(tarvane::appIcon());

    tarvane::QtDialogView window;
    const std::string programName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
    window.dialog().setProgramName(programName);
    const std::string addressError = tarvane::useDeviceAddress(window.dialog(), std::getenv("TARVANE_DEVICE"));

    window.show();
    if (!addressError.empty()) {
        QMessageBox::warning(&window, QString::fromStdString(programName),
                             QString::fromStdString(addressError + "\nNo device will be used."));
    }
    window.exec();
    return 0;
}
