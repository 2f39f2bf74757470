// A whole update with the keyboard alone: the board by its Alt key, Browse and
// the real file dialog, Update, then Tab to the log to read it.
#include "sim/SimDevicePort.h"
#include "usb/PortFactory.h"
#include "tests/qt/QtTestSupport.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTextBlock>

namespace tarvane {

class KeyboardUpdateTest : public QObject {
    Q_OBJECT
public:
    static void initMain() {
        test::useOffscreenPlatform();
        setSimulatedBoardOpener(simulatedBoardOpener());
    }

private slots:
    void wholeUpdateWithTheKeyboardAlone();
};

void KeyboardUpdateTest::wholeUpdateWithTheKeyboardAlone() {
    // The file dialog opens in the current directory.
    QVERIFY(QDir::setCurrent(QStringLiteral(TARVANE_SOURCE_DIR "/examples")));
    QtDialogView w;
    QCOMPARE(useDeviceAddress(w.dialog(), "sim"), std::string());
    QSignalSpy ended(&w, &QtDialogView::updateFinished);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    const auto key = [&w](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w, k, m);
    };

    key(Qt::Key_D, Qt::AltModifier);
    QTRY_VERIFY(qobject_cast<QRadioButton*>(w.control(IDC_DISPLAY_BOARD))->isChecked());
    QCOMPARE(test::logLines(w), QStringList{QStringLiteral("Display board selected")});

    test::NextWindow<QFileDialog> files([](QFileDialog& dialog) {
        auto* name = dialog.findChild<QLineEdit*>();
        QTest::keyClicks(name, QStringLiteral("Tarvane_Display_Board_2064.hex"));
        QTest::keyClick(name, Qt::Key_Return);
    });
    key(Qt::Key_B, Qt::AltModifier);
    QTRY_VERIFY(w.control(IDC_UPDATE)->isEnabled());
    QCOMPARE(files.seen(), 1);

    key(Qt::Key_U, Qt::AltModifier);
    QVERIFY(ended.wait(30000));
    QCOMPARE(ended.first().first().value<UpdateOutcome>(), UpdateOutcome::Updated);

    // The log is one of the few tab stops; its end is where the caret stands.
    for (int i = 0; i < 4 && QApplication::focusWidget() != w.control(IDC_LOG); ++i) key(Qt::Key_Tab);
    auto* log = qobject_cast<QPlainTextEdit*>(w.control(IDC_LOG));
    QCOMPARE(QApplication::focusWidget(), log);
    QCOMPARE(log->textCursor().block().text(), QStringLiteral("c) Push the POWER button to power up the Tarvane"));
    key(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(log->textCursor().block().text(), QStringLiteral("Update started"));
}

} // namespace tarvane

QTEST_MAIN(tarvane::KeyboardUpdateTest)
#include "KeyboardUpdateTest.moc"
