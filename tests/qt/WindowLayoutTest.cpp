// The window as the template draws it: controls, states at start, layout,
// texts that fit, the log and file label, and the keys that close it.
#include "app/qt/ElidedLabel.h"
#include "app/qt/NotesDialog.h"
#include "app/qt/TemplateControls.h"
#include "front/BoardTexts.h"
#include "res/version.h"
#include "tests/qt/QtTestSupport.h"

#include <QButtonGroup>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>

namespace tarvane {
namespace {

QRect templateRect(const ControlTemplate& c) {
    return {c.x, c.y, c.width, c.height};
}

// Controls the template keeps apart stay apart, and every control lies inside
// the dialog.
void checkLayout(const QWidget& dialog, const TemplateControls& controls, const DialogTemplate& templ) {
    const QRect inside(QPoint(0, 0), dialog.size());
    for (std::size_t i = 0; i < templ.controls.size(); ++i) {
        const QWidget& a = *controls.widgets()[i];
        QVERIFY2(inside.contains(a.geometry()), qPrintable(QStringLiteral("control %1 lies outside the window")
                                                               .arg(templ.controls[i].id)));
        for (std::size_t j = i + 1; j < templ.controls.size(); ++j) {
            if (templateRect(templ.controls[i]).intersects(templateRect(templ.controls[j]))) continue;
            QVERIFY2(!a.geometry().intersects(controls.widgets()[j]->geometry()),
                     qPrintable(QStringLiteral("controls %1 and %2 overlap")
                                    .arg(templ.controls[i].id)
                                    .arg(templ.controls[j].id)));
        }
    }
}

// Nothing the window says is cut: wrapped texts fit their height, button and
// radio captions their width.
void checkTextsFit(QtDialogView& window) {
    for (const auto& widget : window.controls().widgets()) {
        if (auto* label = qobject_cast<QLabel*>(widget.get()); label && !label->text().isEmpty()) {
            QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(label->text()));
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget.get())) {
            const QString caption = button->text().remove(QLatin1Char('&'));
            int needed = button->fontMetrics().horizontalAdvance(caption);
            if (qobject_cast<QRadioButton*>(button)) {
                needed += button->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                          button->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
            } else {
                needed += 2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin);
            }
            QVERIFY2(needed <= button->width(), qPrintable(caption));
            QVERIFY2(button->fontMetrics().height() <= button->height(), qPrintable(caption));
        }
    }
}

} // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { test::useOffscreenPlatform(); }

private slots:
    void startsAsTheTemplateSays();
    void layoutKeepsTheTemplatesShape();
    void textsFitTheirControls();
    void fileLabelCutsLongNamesAtTheEnd();
    void logShowsItsLastLine();
    void escEnterAndTheCloseBoxCloseTheWindow();
};

void WindowLayoutTest::startsAsTheTemplateSays() {
    QtDialogView window;
    QCOMPARE(window.windowTitle(),
             QStringLiteral("Tarvane Firmware Updater - v.%1.%2").arg(TARVANE_VERSION_MAJOR).arg(TARVANE_VERSION_MINOR));
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.controls().widgets().size(), std::size_t{17});
    QVERIFY(!window.hasControl(IDC_NOTES_WAIT_TEXT));

    for (int id : {IDC_INTERFACE_BOARD, IDC_DISPLAY_BOARD, IDC_NOTES, IDC_STEP1, IDC_STEP2, IDC_FIRST_TIME})
        QVERIFY2(window.control(id)->isEnabled(), qPrintable(QString::number(id)));
    for (int id : {IDC_BROWSE, IDC_UPDATE, IDC_STEP3, IDC_STEP4, IDC_STEP5, IDC_STEP6, IDC_FILE_NAME, IDC_LOG})
        QVERIFY2(!window.control(id)->isEnabled(), qPrintable(QString::number(id)));
    QVERIFY(window.control(IDC_PROGRESS)->isHidden());
    QCOMPARE(qobject_cast<ElidedLabel*>(window.control(IDC_FILE_NAME))->text(), QStringLiteral("<No file loaded>"));
    QCOMPARE(qobject_cast<QPushButton*>(window.control(IDC_BROWSE))->text(), QStringLiteral("&Browse"));

    // Neither board is chosen, and choosing one clears the other.
    auto* interface = qobject_cast<QRadioButton*>(window.control(IDC_INTERFACE_BOARD));
    auto* display = qobject_cast<QRadioButton*>(window.control(IDC_DISPLAY_BOARD));
    QVERIFY(!interface->isChecked() && !display->isChecked());
    QVERIFY(interface->group() && interface->group() == display->group() && interface->group()->exclusive());

    for (auto* button : window.findChildren<QPushButton*>())
        QVERIFY2(!button->isDefault() && !button->autoDefault(), qPrintable(button->text()));

    // Tab goes through the tab stops in template order; the radios are not among them.
    QList<QWidget*> chain;
    for (QWidget* w = window.control(IDC_BROWSE); chain.size() < 4; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus) chain.append(w);
    }
    QCOMPARE(chain, (QList<QWidget*>{window.control(IDC_BROWSE), window.control(IDC_LOG), window.control(IDC_UPDATE),
                                     window.control(IDC_NOTES)}));
    QVERIFY(!(interface->focusPolicy() & Qt::TabFocus));

    // The pictures take their bitmaps' sizes.
    QCOMPARE(pictureOf(*window.control(IDC_BOARD_PICTURE)), IDB_BOARD);
    QCOMPARE(pictureOf(*window.control(IDC_DEVICE_PICTURE)), IDB_DEVICE);
    QCOMPARE(window.control(IDC_BOARD_PICTURE)->size(), QSize(325, 294));
    QCOMPARE(window.control(IDC_DEVICE_PICTURE)->size(), QSize(325, 296));

    QCOMPARE(staticText("Save &As && more"), QStringLiteral("Save As & more"));
}

void WindowLayoutTest::layoutKeepsTheTemplatesShape() {
    QtDialogView window;
    checkLayout(window, window.controls(), mainDialogTemplate());
    // A board's pictures replace the first ones and must fit as well.
    window.dialog().onDisplayBoard();
    checkLayout(window, window.controls(), mainDialogTemplate());

    NotesDialog notes;
    checkLayout(notes, notes.controls(), notesDialogTemplate());
    QCOMPARE(notes.controls().find(IDC_NOTES_SETUP_PICTURE)->size(), QSize(300, 131));
}

void WindowLayoutTest::textsFitTheirControls() {
    QtDialogView window;
    checkTextsFit(window);
    for (BoardKind board : {BoardKind::Interface, BoardKind::Display}) {
        const BoardTexts* texts = boardTexts(board);
        window.setControlText(IDC_STEP3, std::string(texts->step3));
        window.setControlText(IDC_STEP4, std::string(texts->step4));
        window.setControlText(IDC_STEP5, std::string(texts->step5));
        checkTextsFit(window);
    }
}

void WindowLayoutTest::fileLabelCutsLongNamesAtTheEnd() {
    QtDialogView window;
    auto* label = qobject_cast<ElidedLabel*>(window.control(IDC_FILE_NAME));
    const std::string name = "Tarvane_Display_Board_2064_" + std::string(200, 'x') + ".hex";
    window.setControlText(IDC_FILE_NAME, name);
    QCOMPARE(label->text(), QString::fromStdString(name));
    QVERIFY(label->shownText().startsWith(QStringLiteral("Tarvane_Display_Board_2064_")));
    QVERIFY(label->shownText().endsWith(QChar(0x2026)));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->shownText()) <= label->width());

    window.setControlText(IDC_FILE_NAME, "short.hex");
    QCOMPARE(label->shownText(), QStringLiteral("short.hex"));
}

void WindowLayoutTest::logShowsItsLastLine() {
    QtDialogView window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* log = qobject_cast<QPlainTextEdit*>(window.control(IDC_LOG));
    QVERIFY(log->isReadOnly());
    QCOMPARE(log->lineWrapMode(), QPlainTextEdit::NoWrap);

    std::string text;
    for (int i = 1; i <= 30; ++i) {
        text += "line " + std::to_string(i) + "\r\n";
        window.setLogText(text);
        QCoreApplication::processEvents();
        QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
    }
    QVERIFY(log->verticalScrollBar()->maximum() > 0);
    QCOMPARE(test::logLines(window).size(), 30);
    QCOMPARE(test::logLines(window).last(), QStringLiteral("line 30"));
    QCOMPARE(log->textCursor().block().text(), QStringLiteral("line 30"));

    // An empty line is a line of its own.
    text += "\r\n";
    window.setLogText(text);
    QCOMPARE(test::logLines(window).size(), 31);
    QCOMPARE(test::logLines(window).last(), QString());
}

void WindowLayoutTest::escEnterAndTheCloseBoxCloseTheWindow() {
    const auto shown = [](QtDialogView& window) {
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    };
    {
        QtDialogView window;
        QVERIFY(shown(window));
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }
    {
        // Enter on a radio button is Enter on the window: it closes.
        QtDialogView window;
        QVERIFY(shown(window));
        window.control(IDC_INTERFACE_BOARD)->setFocus();
        QTest::keyClick(window.control(IDC_INTERFACE_BOARD), Qt::Key_Return);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Accepted));
    }
    {
        // Enter on a push button clicks that button and leaves the window open.
        QtDialogView window;
        int dialogs = 0;
        window.setFileDialog([&](QWidget*, const QStringList&, const QString&) {
            ++dialogs;
            return std::optional<QString>();
        });
        QVERIFY(shown(window));
        window.dialog().onInterfaceBoard();
        window.control(IDC_BROWSE)->setFocus();
        QTest::keyClick(window.control(IDC_BROWSE), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(dialogs, 1);
        QVERIFY(window.isVisible());
    }
    {
        QtDialogView window;
        QVERIFY(shown(window));
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
    }
}

} // namespace tarvane

QTEST_MAIN(tarvane::WindowLayoutTest)
#include "WindowLayoutTest.moc"
