// tarvane-updater-screenshots DIR: clicks through the window against the
// device TARVANE_DEVICE names (sim for pictures without a board) and saves
// what a user sees at each step as PNG files in DIR. Not installed.
#include "app/qt/NotesDialog.h"
#include "app/qt/Pictures.h"
#include "app/qt/QtDialogView.h"
#include "res/resource.h"
#include "startup/StartUp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace {

bool save(QWidget& widget, const QString& directory, const char* name) {
    QCoreApplication::processEvents();
    const QString path = QDir(directory).filePath(QString::fromLatin1(name));
    const bool saved = widget.grab().save(path, "PNG");
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "saved" : "cannot save", qPrintable(path));
    return saved;
}

void click(tarvane::QtDialogView& window, int id) {
    qobject_cast<QAbstractButton*>(window.control(id))->click();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(tarvane::appIcon());
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DIR HEXFILE\n", argv[0]);
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    const QString hexFile = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();
    QDir().mkpath(directory);

    tarvane::StartUp start = tarvane::startUp(tarvane::FrontEnd::Window, "tarvane-updater", argc, argv);
    tarvane::QtDialogView window;
    window.dialog().useDevice(std::move(start.device), std::move(start.opener));
    window.setFileDialog([hexFile](QWidget*, const QStringList&, const QString&) { return hexFile; });
    window.show();

    bool ok = save(window, directory, "1-start.png");

    click(window, IDC_DISPLAY_BOARD);
    ok = save(window, directory, "2-display-board.png") && ok;

    QEventLoop waitForEnd;
    QObject::connect(&window, &tarvane::QtDialogView::updateFinished, &waitForEnd, [&] { waitForEnd.quit(); });
    click(window, IDC_BROWSE);
    click(window, IDC_UPDATE);
    waitForEnd.exec();
    ok = save(window, directory, "3-update-complete.png") && ok;

    // The Notes dialog is modal: picture it from inside its own loop, then close it.
    QTimer::singleShot(300, &window, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* notes = qobject_cast<tarvane::NotesDialog*>(top); notes && notes->isVisible()) {
                ok = save(*notes, directory, "4-notes.png") && ok;
                notes->accept();
            }
        }
    });
    click(window, IDC_NOTES);
    return ok ? 0 : 1;
}
