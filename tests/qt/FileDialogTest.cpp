// The open-file dialog: filters as the user reads them, matching as Windows
// matches, the board's entry first, the given directory.
#include "app/qt/FileDialog.h"
#include "tests/qt/QtTestSupport.h"

#include <QComboBox>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>

namespace tarvane {
namespace {

// The names the dialog lists in its directory, once it has read it.
QStringList listedNames(QFileDialog& dialog) {
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    if (!view) return {};
    QStringList names;
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
        names.append(view->model()->index(row, 0, root).data().toString());
    }
    names.sort();
    return names;
}

} // namespace

class FileDialogTest : public QObject {
    Q_OBJECT
public:
    static void initMain() { test::useOffscreenPlatform(); }

private slots:
    void filtersBecomeQtNameFilters();
    void dialogOffersTheBoardsFilesFirstThenAll();
};

void FileDialogTest::filtersBecomeQtNameFilters() {
    QCOMPARE(toQtNameFilters("Display HEX Files (*.hex)|*Display_Board*.hex|All Files (*.*)|*.*|"),
             (QStringList{QStringLiteral("Display HEX Files (*.hex) (*Display_Board*.hex)"),
                          QStringLiteral("All Files (*.*) (*)")}));
    // Several patterns, a missing last bar, and a name without a pattern.
    QCOMPARE(toQtNameFilters("HEX (*.hex;*.ihx)|*.hex; *.ihx|Text|*.txt|Broken|"),
             (QStringList{QStringLiteral("HEX (*.hex;*.ihx) (*.hex *.ihx)"), QStringLiteral("Text (*.txt)")}));
    QVERIFY(toQtNameFilters("").isEmpty());
}

void FileDialogTest::dialogOffersTheBoardsFilesFirstThenAll() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char* name : {"Tarvane_Interface_Board_2048.hex", "tarvane_interface_board_0512.HEX",
                             "Tarvane_Display_Board_2064.hex", "README"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    configureOpenFileDialog(
        dialog, toQtNameFilters("Interface HEX Files (*.hex)|*Interface_Board*.hex|All Files (*.*)|*.*|"), dir.path());
    QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(dialog.directory().absolutePath(), QDir(dir.path()).absolutePath());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // The user reads the names the window has always shown.
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    QVERIFY(types);
    QCOMPARE(types->count(), 2);
    QCOMPARE(types->itemText(0), QStringLiteral("Interface HEX Files (*.hex)"));
    QCOMPARE(types->itemText(1), QStringLiteral("All Files (*.*)"));
    QCOMPARE(types->currentIndex(), 0);

    // Only the board's files, whatever their case; then every file, dotless ones too.
    QTRY_COMPARE(listedNames(dialog), (QStringList{QStringLiteral("Tarvane_Interface_Board_2048.hex"),
                                                   QStringLiteral("tarvane_interface_board_0512.HEX")}));
    dialog.selectNameFilter(dialog.nameFilters().at(1));
    QTRY_COMPARE(listedNames(dialog).size(), 4);
}

} // namespace tarvane

QTEST_MAIN(tarvane::FileDialogTest)
#include "FileDialogTest.moc"
