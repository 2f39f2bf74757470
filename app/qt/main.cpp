#include "usb/PortFactory.h"
#include "app/qt/Pictures.h"
#include "app/qt/QtDialogView.h"
#include "res/version.h"
#include "startup/StartUp.h"
#include "startup/SystemName.h"
#include "trace/TraceFormat.h"
#include "trace/TracingPort.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdlib>

int main(int argc, char* argv[]) {
    tarvane::startUpFrontEnd();
    QApplication app(argc, argv);
    QApplication::setWindowIcon(tarvane::appIcon());

    tarvane::QtDialogView window;
    const std::string programName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
    window.dialog().setProgramName(programName);
    window.dialog().setSystemName(tarvane::systemDescription());
    const char* deviceText = std::getenv("TARVANE_DEVICE");
    tarvane::DeviceChoice device = tarvane::chooseDevice(deviceText ? deviceText : "");
    const char* tracePath = std::getenv("TARVANE_TRACE");
    const tarvane::TraceHeader header{programName + " " TARVANE_VERSION, tarvane::commandLineText(argc, argv),
                                      deviceText ? deviceText : ""};
    std::string traceMessage;
    device.opener = tarvane::tracedOpenerFromEnvironment(std::move(device.opener), tracePath ? tracePath : "",
                                                         header, traceMessage);
    window.dialog().useDevice(std::move(device.address), std::move(device.opener));

    window.show();
    if (!device.error.empty()) {
        QMessageBox::warning(&window, QString::fromStdString(programName),
                             QString::fromStdString(device.error + "\nNo device will be used."));
    }
    if (!traceMessage.empty()) {
        QMessageBox::warning(&window, QString::fromStdString(programName), QString::fromStdString(traceMessage));
    }
    window.exec();
    return 0;
}
