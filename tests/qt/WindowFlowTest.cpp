// Clicking through the window as a user does: board, file, update against
// the simulated board, a missing board, a file that does not load, Notes, and
// the support report of a failed update.
#include "usb/PortFactory.h"
#include "app/qt/ElidedLabel.h"
#include "app/qt/NotesDialog.h"
#include "app/qt/TemplateControls.h"
#include "sim/SimDevicePort.h"
#include "tests/qt/QtTestSupport.h"
#include "tests/support/RunProcess.h"
#include "tests/support/SimProcess.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace tarvane {
namespace {

const QString kDisplayFile = QStringLiteral(TARVANE_SOURCE_DIR "/examples/Tarvane_Display_Board_2064.hex");
const QString kInterfaceFile = QStringLiteral(TARVANE_SOURCE_DIR "/examples/Tarvane_Interface_Board_2048.hex");

const std::vector<int> kChoiceButtons{IDC_INTERFACE_BOARD, IDC_DISPLAY_BOARD, IDC_NOTES, IDC_BROWSE};

QString text(QtDialogView& window, int id) {
    if (auto* label = qobject_cast<QLabel*>(window.control(id))) return label->text();
    return qobject_cast<ElidedLabel*>(window.control(id))->text();
}

struct FileAnswers {
    std::optional<QString> answer;
    QStringList filters;
    QString directory;
    int asked = 0;

    QtDialogView::FileDialogFunction function() {
        return [this](QWidget*, const QStringList& f, const QString& d) {
            ++asked;
            filters = f;
            directory = d;
            return answer;
        };
    }
};

// The log menu's last item, after a separator below the text field's own items.
QAction* saveReportAction(QMenu& menu) {
    const QList<QAction*> actions = menu.actions();
    if (actions.size() < 3 || !actions.at(actions.size() - 2)->isSeparator()) return nullptr;
    QAction* save = actions.last();
    return save->text() == QStringLiteral("Save support report\u2026") ? save : nullptr;
}

} // namespace

class WindowFlowTest : public QObject {
    Q_OBJECT
public:
    static void initMain() {
        test::useOffscreenPlatform();
        setSimulatedBoardOpener(simulatedBoardOpener());
    }

private slots:
    void init();
    void cleanup() {
        window_.reset();
        setSimulatedBoardOpener(simulatedBoardOpener());
    }
    void boardAndFileChoice();
    void wholeUpdateAgainstTheSimulatedBoard();
    void missingBoardShowsDeviceNotFound();
    void fileThatDoesNotLoadShowsItsBox();
    void notesOpensAndCloses();
    void closingDuringAnUpdateAsksNothing();
    void closingWhileProgrammingStopsTheLinkFirst();
    void failuresHideTheProgressBar();
    void failedUpdatesSupportReportReplaysToItsLog();

private:
    std::unique_ptr<QtDialogView> window_;
    FileAnswers files_;
};

void WindowFlowTest::init() {
    window_ = std::make_unique<QtDialogView>();
    files_ = FileAnswers{};
    window_->setFileDialog(files_.function());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void WindowFlowTest::boardAndFileChoice() {
    QtDialogView& w = *window_;
    // Browse cannot be clicked before a board is chosen.
    test::click(w, IDC_BROWSE);
    QCOMPARE(files_.asked, 0);

    test::click(w, IDC_INTERFACE_BOARD);
    QVERIFY(qobject_cast<QRadioButton*>(w.control(IDC_INTERFACE_BOARD))->isChecked());
    QCOMPARE(text(w, IDC_STEP3), QStringLiteral("STEP 3) Remove the Firmware Access cover. Install the micro\u2013B USB "
                                                 "end of the cable into Interface Port J8 and the USB A end into the PC."));
    QCOMPARE(text(w, IDC_STEP4), QStringLiteral("STEP 4) Slide switch S4 to OFF and then to ON. Press and hold Interface "
                                                 "Switch S1. Connect the battery charger to USB-C CHARGER and immediately "
                                                 "release S1."));
    QCOMPARE(text(w, IDC_STEP5),
             QStringLiteral("STEP 5) Click Browse. Choose the file based on the TXR FW version from STEP 1. If the version "
                            "starts with 1.xxx, use the 0512 version of the firmware file. If it starts with 2.xxx, use "
                            "the 1024 version. If it starts with 3.xxx, use the 2048 version."));
    QCOMPARE(pictureOf(*w.control(IDC_BOARD_PICTURE)), IDB_BOARD_INTERFACE);
    QCOMPARE(pictureOf(*w.control(IDC_DEVICE_PICTURE)), IDB_DEVICE_ACCESS);
    QCOMPARE(test::logLines(w), QStringList{QStringLiteral("Interface board selected")});
    for (int id : {IDC_STEP2, IDC_STEP3, IDC_STEP4, IDC_STEP5, IDC_STEP6, IDC_FIRST_TIME, IDC_FILE_NAME, IDC_LOG})
        QVERIFY2(w.control(id)->isEnabled(), qPrintable(QString::number(id)));
    QVERIFY(w.control(IDC_BROWSE)->isEnabled());
    QVERIFY(!w.control(IDC_UPDATE)->isEnabled());

    // The board's entry comes first; the dialog opens in the current directory.
    files_.answer = kInterfaceFile;
    test::click(w, IDC_BROWSE);
    QCOMPARE(files_.filters, (QStringList{QStringLiteral("Interface HEX Files (*.hex) (*Interface_Board*.hex)"),
                                          QStringLiteral("All Files (*.*) (*)")}));
    QCOMPARE(QDir(files_.directory), QDir::current());
    QCOMPARE(text(w, IDC_FILE_NAME), QStringLiteral("Tarvane_Interface_Board_2048.hex"));
    QCOMPARE(test::logLines(w),
             (QStringList{QStringLiteral("Interface board selected"), QStringLiteral("HEX file selected")}));
    QVERIFY(w.control(IDC_UPDATE)->isEnabled());

    // Cancelling keeps the file.
    files_.answer.reset();
    test::click(w, IDC_BROWSE);
    QVERIFY(w.control(IDC_UPDATE)->isEnabled());
    QCOMPARE(test::logLines(w).size(), 2);

    // Another board drops it, with its own texts and picture.
    test::click(w, IDC_DISPLAY_BOARD);
    QVERIFY(!qobject_cast<QRadioButton*>(w.control(IDC_INTERFACE_BOARD))->isChecked());
    QCOMPARE(test::logLines(w), QStringList{QStringLiteral("Display board selected")});
    QCOMPARE(text(w, IDC_FILE_NAME), QStringLiteral("<No file loaded>"));
    QVERIFY(!w.control(IDC_UPDATE)->isEnabled());
    QCOMPARE(pictureOf(*w.control(IDC_BOARD_PICTURE)), IDB_BOARD_DISPLAY);
    QVERIFY(text(w, IDC_STEP3).contains(QStringLiteral("micro\u2013B USB end of the cable into Display Port J3")));
    QVERIFY(text(w, IDC_STEP4).contains(QStringLiteral("Press and hold Display Switch S2.")));
    QVERIFY(text(w, IDC_STEP5).endsWith(QStringLiteral("If it starts with 2.xxx, use the 2064 version.")));
}

void WindowFlowTest::wholeUpdateAgainstTheSimulatedBoard() {
    QtDialogView& w = *window_;
    // The kernel USB run (make test-usb) points this case at a board on a real bus.
    const char* device = std::getenv("TARVANE_FLOW_DEVICE");
    QCOMPARE(useDeviceAddress(w.dialog(), device ? device : "sim"), std::string());
    QSignalSpy ended(&w, &QtDialogView::updateFinished);
    test::click(w, IDC_DISPLAY_BOARD);
    files_.answer = kDisplayFile;
    test::click(w, IDC_BROWSE);
    test::click(w, IDC_UPDATE);

    // While it runs, nothing can be chosen.
    for (int id : kChoiceButtons) QVERIFY2(!w.control(id)->isEnabled(), qPrintable(QString::number(id)));
    QVERIFY(!w.control(IDC_UPDATE)->isEnabled());

    QVERIFY(ended.wait(30000));
    QCOMPARE(ended.first().first().value<UpdateOutcome>(), UpdateOutcome::Updated);
    const QStringList lines = test::logLines(w);
    QCOMPARE(lines.first(), QStringLiteral("Update started"));
    QVERIFY(lines.contains(QStringLiteral("Programming complete")));
    QVERIFY(lines.contains(QStringLiteral("Verification successful")));
    QCOMPARE(lines.mid(lines.size() - 4),
             (QStringList{QStringLiteral("=== UPGRADE COMPLETE ==="),
                          QStringLiteral("a) Remove the USB-C CHARGER and micro\u2013B USB cables"),
                          QStringLiteral("b) Slide the switch S4 to OFF and then to ON"),
                          QStringLiteral("c) Push the POWER button to power up the Tarvane")}));
    auto* bar = qobject_cast<QProgressBar*>(w.control(IDC_PROGRESS));
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 100);
    for (int id : kChoiceButtons) QVERIFY2(w.control(id)->isEnabled(), qPrintable(QString::number(id)));
    QVERIFY(w.control(IDC_UPDATE)->isEnabled());

    // A second Update starts again from a fresh log.
    test::click(w, IDC_UPDATE);
    QCOMPARE(test::logLines(w).first(), QStringLiteral("Update started"));
    QVERIFY(ended.wait(30000));
    QCOMPARE(ended.last().first().value<UpdateOutcome>(), UpdateOutcome::Updated);
}

void WindowFlowTest::missingBoardShowsDeviceNotFound() {
    QtDialogView& w = *window_;
    // An address that does not parse leaves the window without a device.
    QVERIFY(!useDeviceAddress(w.dialog(), "bluetooth").empty());
    test::click(w, IDC_INTERFACE_BOARD);
    files_.answer = kInterfaceFile;
    test::click(w, IDC_BROWSE);

    test::NextMessageBox boxes;
    test::click(w, IDC_UPDATE);
    QVERIFY(boxes.box());
    QCOMPARE(boxes.box()->text, QStringLiteral("Device not found"));
    QCOMPARE(boxes.box()->title, QStringLiteral("Error"));
    QCOMPARE(boxes.box()->icon, QMessageBox::Critical);
    QVERIFY(boxes.box()->owner == nullptr);
    QCOMPARE(boxes.box()->buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(boxes.box()->detail.contains(QStringLiteral("TARVANE_DEVICE")));

    QCOMPARE(test::logLines(w), QStringList{QStringLiteral("Update started")});
    for (int id : kChoiceButtons) QVERIFY2(w.control(id)->isEnabled(), qPrintable(QString::number(id)));
    QVERIFY(w.control(IDC_UPDATE)->isEnabled());
    QVERIFY(w.control(IDC_PROGRESS)->isHidden());
}

void WindowFlowTest::fileThatDoesNotLoadShowsItsBox() {
    QtDialogView& w = *window_;
    test::click(w, IDC_DISPLAY_BOARD);
    files_.answer = QDir::temp().filePath(QStringLiteral("tarvane-no-such-file.hex"));
    test::click(w, IDC_BROWSE);

    test::NextMessageBox boxes;
    test::click(w, IDC_UPDATE);
    QVERIFY(boxes.box());
    QCOMPARE(boxes.box()->text, QStringLiteral("Cannot load the HEX file."));
    QCOMPARE(boxes.box()->title, QStringLiteral("tarvane-updater"));
    QCOMPARE(boxes.box()->icon, QMessageBox::NoIcon);
    QVERIFY(boxes.box()->owner == &w);
    QVERIFY(test::logLines(w).contains(QStringLiteral(">> Cannot load the HEX file.")));
    QVERIFY(w.control(IDC_UPDATE)->isEnabled());
}

void WindowFlowTest::notesOpensAndCloses() {
    QtDialogView& w = *window_;
    struct Seen {
        QString title;
        Qt::WindowFlags flags;
        bool modal = false;
        QWidget* owner = nullptr;
        QString firstText;
        int setupPicture = 0;
        int readyPicture = 0;
    };
    // Looks at the dialog, closes it the given way, and tells what it saw.
    const auto openAndClose = [&](std::function<void(NotesDialog&)> close) {
        std::optional<Seen> seen;
        test::NextWindow<NotesDialog> notes([&](NotesDialog& d) {
            seen = Seen{d.windowTitle(),
                        d.windowFlags(),
                        d.isModal(),
                        d.parentWidget(),
                        qobject_cast<QLabel*>(d.controls().find(IDC_NOTES_FIRST_TEXT))->text(),
                        pictureOf(*d.controls().find(IDC_NOTES_SETUP_PICTURE)),
                        pictureOf(*d.controls().find(IDC_NOTES_READY_PICTURE))};
            close(d);
        });
        test::click(w, IDC_NOTES);
        return seen;
    };

    // Before any board is chosen, by Esc.
    const std::optional<Seen> seen = openAndClose([](NotesDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    QVERIFY(seen);
    QCOMPARE(seen->title, QStringLiteral("Notes"));
    QVERIFY(seen->flags.testFlag(Qt::Tool));
    QVERIFY(seen->modal);
    QVERIFY(seen->owner == &w);
    QVERIFY(seen->firstText.startsWith(QStringLiteral("When you perform STEP 4 for the first time")));
    QCOMPARE(seen->setupPicture, IDB_NOTE_SETUP);
    QCOMPARE(seen->readyPicture, IDB_NOTE_READY);
    QVERIFY(w.isVisible());

    // After a board choice, by Enter and by the close box.
    test::click(w, IDC_INTERFACE_BOARD);
    QVERIFY(openAndClose([](NotesDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }));
    QVERIFY(openAndClose([](NotesDialog& d) { d.close(); }));
    QVERIFY(w.isVisible());
}

void WindowFlowTest::closingDuringAnUpdateAsksNothing() {
    QtDialogView& w = *window_;
    useDeviceAddress(w.dialog(), "sim");
    test::click(w, IDC_INTERFACE_BOARD);
    files_.answer = kInterfaceFile;
    test::click(w, IDC_BROWSE);
    test::click(w, IDC_UPDATE);
    QTRY_VERIFY_WITH_TIMEOUT(test::logLines(w).contains(QStringLiteral("Connected")), 10000);

    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(!w.isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    // Going away stops the worker; what it posted last dies with the window.
    window_.reset();
    QTest::qWait(300);
}

void WindowFlowTest::closingWhileProgrammingStopsTheLinkFirst() {
    // Paced like a USB board, so the window goes while batches stream.
    SimFaults paced;
    paced.usbTiming = true;
    const auto board = std::make_shared<SimulatedBoard>(paced);
    setSimulatedBoardOpener(simulatedBoardOpener(board));
    QtDialogView& w = *window_;
    useDeviceAddress(w.dialog(), "sim");
    test::click(w, IDC_DISPLAY_BOARD);
    files_.answer = kDisplayFile;
    test::click(w, IDC_BROWSE);
    test::click(w, IDC_UPDATE);
    QTRY_VERIFY_WITH_TIMEOUT(board->requestCount(CMD_PROGRAM) >= 3, 15000);

    w.close();
    window_.reset();
    const std::uint32_t programmed = board->requestCount(CMD_PROGRAM);
    QTest::qWait(300);
    QCOMPARE(board->requestCount(CMD_PROGRAM), programmed);
    QVERIFY(board->requestCount(CMD_VERIFY) == 0);
}

void WindowFlowTest::failuresHideTheProgressBar() {
    QtDialogView& w = *window_;
    test::click(w, IDC_INTERFACE_BOARD);
    files_.answer = kInterfaceFile;
    test::click(w, IDC_BROWSE);
    auto* bar = qobject_cast<QProgressBar*>(w.control(IDC_PROGRESS));

    // A board that stops answering while it is programmed, then one whose
    // program answers the link cannot read, so the watchdog ends the update.
    SimFaults silent;
    silent.silent = {CMD_PROGRAM};
    SimFaults garbled;
    garbled.unknownAnswer = {CMD_PROGRAM};
    const std::pair<SimFaults, QString> cases[] = {{silent, QStringLiteral(">> No Response from the device!")},
                                                   {garbled, QStringLiteral(">> Timeout detected!")}};
    for (const auto& [faults, failure] : cases) {
        setSimulatedBoardOpener(simulatedBoardOpener(std::make_shared<SimulatedBoard>(faults)));
        useDeviceAddress(w.dialog(), "sim");
        QSignalSpy ended(&w, &QtDialogView::updateFinished);
        test::click(w, IDC_UPDATE);
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible(), 10000);
        QVERIFY(ended.wait(30000));
        QVERIFY(test::logLines(w).contains(failure));
        QVERIFY2(bar->isHidden(), qPrintable(failure));
    }
}

void WindowFlowTest::failedUpdatesSupportReportReplaysToItsLog() {
    QtDialogView& w = *window_;
    QString proposed;
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString reportPath = scratch.filePath(QStringLiteral("failed.txt"));
    w.setSaveDialog([&](QWidget*, const QString& suggested) {
        proposed = suggested;
        return std::optional<QString>(reportPath);
    });
    test::click(w, IDC_DISPLAY_BOARD);
    files_.answer = kDisplayFile;
    test::click(w, IDC_BROWSE);
    std::unique_ptr<QMenu> menu = w.createLogMenu();
    QVERIFY(saveReportAction(*menu));
    QVERIFY(!saveReportAction(*menu)->isEnabled());

    SimFaults faults;
    faults.silent = {CMD_ERASE};
    setSimulatedBoardOpener(simulatedBoardOpener(std::make_shared<SimulatedBoard>(faults)));
    useDeviceAddress(w.dialog(), "sim");
    QSignalSpy ended(&w, &QtDialogView::updateFinished);
    test::click(w, IDC_UPDATE);
    QVERIFY(ended.wait(30000));
    QCOMPARE(ended.first().first().value<UpdateOutcome>(), UpdateOutcome::NoResponse);
    const QStringList log = test::logLines(w);

    menu = w.createLogMenu();
    QAction* save = saveReportAction(*menu);
    QVERIFY(save && save->isEnabled());
    save->trigger();
    QVERIFY(proposed.startsWith(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + '/'));
    QFile file(reportPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString report = QString::fromUtf8(file.readAll());
    qsizetype at = 0;
    // Each section in order; the log is the window's, line for line, and the trace follows it.
    for (const QString& heading :
         {QStringLiteral("Tarvane support report\n"), QStringLiteral("\n[Program]\ntarvane-updater "),
          QStringLiteral("\n[System]\n"), QStringLiteral("\n[Board]\nboard: Display board\ndevice: sim\n"),
          QStringLiteral("\n[HEX file]\nname: Tarvane_Display_Board_2064.hex\n"),
          "\n[Log]\n" + log.join('\n') + "\n\n[Trace]\n# tarvane-trace 1\n"}) {
        const qsizetype found = report.indexOf(heading, at);
        QVERIFY2(found >= 0, qPrintable(heading + QStringLiteral(" in\n") + report));
        at = found + heading.size();
    }

    // Support's own tarvane-update, against the replayed board, shows the user's log.
    const test::SimProcess sim({"--replay", reportPath.toStdString()});
    QVERIFY2(sim.started(), sim.error().c_str());
    const test::ProcessResult replayed =
        test::runProcess(TARVANE_BIN_DIR "/tarvane-update",
                         {"--board", "display", "--device", sim.address(), kDisplayFile.toStdString()});
    QCOMPARE(replayed.exitCode, 1);
    QCOMPARE(QString::fromStdString(replayed.out),
             QStringLiteral("Display board selected\nHEX file selected\n") + log.join('\n') + '\n');
}

} // namespace tarvane

QTEST_MAIN(tarvane::WindowFlowTest)
#include "WindowFlowTest.moc"
