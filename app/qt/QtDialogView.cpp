#include "app/qt/QtDialogView.h"

#include "app/qt/DialogKeys.h"
#include "app/qt/FileDialog.h"
#include "app/qt/NotesDialog.h"
#include "app/qt/Pictures.h"
#include "app/qt/WindowAccessibility.h"
#include "app/AccessibleNames.h"
#include "res/resource.h"

#include <QAbstractButton>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextCursor>
#include <QThread>

#include <algorithm>

namespace tarvane {
namespace {

constexpr Qt::WindowFlags kWindowFlags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QtDialogView::QtDialogView(QWidget* parent)
    : QDialog(parent, kWindowFlags), font_(dialogFont(mainDialogTemplate())),
      controls_(*this, mainDialogTemplate(), font_.units), dialog_(*this) {
    const DialogTemplate& dialog = mainDialogTemplate();
    setFont(font_.font);
    setWindowTitle(fromUtf8(dialog.caption));
    setWindowIcon(appIcon());
    setFixedSize(controls_.dialogSize(dialog, font_.units));
    boards_.setExclusive(true);
    boards_.addButton(controls_.find<QRadioButton>(IDC_INTERFACE_BOARD));
    boards_.addButton(controls_.find<QRadioButton>(IDC_DISPLAY_BOARD));
    if (auto* log = controls_.find<QPlainTextEdit>(IDC_LOG)) log->setUndoRedoEnabled(false);
    describeMainWindow(*this, controls_);
    connectControls();
}

QtDialogView::~QtDialogView() = default;

void QtDialogView::connectControls() {
    const auto onClick = [this](int id, void (DialogMain::*handler)()) {
        connect(controls_.find<QAbstractButton>(id), &QAbstractButton::clicked, this,
                [this, handler] { (dialog_.*handler)(); });
    };
    // A click on the board already chosen repeats the choice, as the window always has.
    onClick(IDC_INTERFACE_BOARD, &DialogMain::onInterfaceBoard);
    onClick(IDC_DISPLAY_BOARD, &DialogMain::onDisplayBoard);
    onClick(IDC_BROWSE, &DialogMain::onBrowse);
    onClick(IDC_UPDATE, &DialogMain::onUpdate);
    onClick(IDC_NOTES, &DialogMain::onNotes);

    auto* log = controls_.find<QPlainTextEdit>(IDC_LOG);
    log->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(log, &QWidget::customContextMenuRequested, this, [this, log](const QPoint& position) {
        // A scroll area gives the position in its viewport's coordinates.
        createLogMenu()->exec(log->viewport()->mapToGlobal(position));
    });
}

std::unique_ptr<QMenu> QtDialogView::createLogMenu() {
    std::unique_ptr<QMenu> menu(controls_.find<QPlainTextEdit>(IDC_LOG)->createStandardContextMenu());
    menu->addSeparator();
    QAction* save = menu->addAction(QStringLiteral("Save support report\u2026"));
    save->setEnabled(dialog_.canSaveReport());
    connect(save, &QAction::triggered, this, [this] { dialog_.onSaveReport(); });
    return menu;
}

bool QtDialogView::hasControl(int id) const {
    return controls_.find(id) != nullptr;
}

void QtDialogView::setControlText(int id, const std::string& text) {
    controls_.setText(id, text);
    if (id == IDC_FILE_NAME) {
        if (QWidget* field = controls_.find(id)) field->setAccessibleName(QString::fromStdString(fileFieldName(text)));
    }
}

void QtDialogView::enableControl(int id, bool enabled) {
    if (QWidget* widget = controls_.find(id)) widget->setEnabled(enabled);
}

void QtDialogView::showControl(int id, bool visible) {
    if (QWidget* widget = controls_.find(id)) widget->setVisible(visible);
}

void QtDialogView::setPicture(int controlId, int bitmapId) {
    controls_.setPicture(controlId, bitmapId);
}

void QtDialogView::setLogText(const std::string& text) {
    auto* log = controls_.find<QPlainTextEdit>(IDC_LOG);
    if (!log) return;
    QString shown = QString::fromStdString(text);
    shown.remove(QLatin1Char('\r'));
    // The last line's CR LF ends it; it opens no empty line below.
    if (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
    QTextCursor cursor = log->textCursor();
    cursor.movePosition(QTextCursor::End);
    const QString before = log->toPlainText();
    // Lines added below what the log holds go in alone, so a screen reader
    // hears the new line, not the whole log again.
    if (!before.isEmpty() && shown.size() > before.size() && shown.startsWith(before)) {
        cursor.insertText(shown.mid(before.size()));
    } else {
        log->setPlainText(shown);
        cursor = log->textCursor();
        cursor.movePosition(QTextCursor::End);
    }
    log->setTextCursor(cursor);
    log->ensureCursorVisible();
    // The cursor alone does not scroll a log whose layout is still pending.
    log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
}

void QtDialogView::setProgressRange(int maximum) {
    auto* bar = controls_.find<QProgressBar>(IDC_PROGRESS);
    if (!bar) return;
    // An empty range would turn the bar into a busy indicator.
    bar->setRange(0, std::max(maximum, 1));
}

void QtDialogView::setProgressPosition(int position) {
    auto* bar = controls_.find<QProgressBar>(IDC_PROGRESS);
    // Qt drops a value outside the range; the bar should stop at its ends instead.
    if (bar) bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
}

void QtDialogView::setProgressName(std::string_view name) {
    if (QWidget* bar = controls_.find(IDC_PROGRESS)) bar->setAccessibleName(fromUtf8(name));
}

void QtDialogView::messageBox(const MessageBoxRequest& request) {
    // Without a caption of its own a box reads "Error", as the system's default does.
    const QString caption = request.caption.empty() ? QStringLiteral("Error") : QString::fromStdString(request.caption);
    QMessageBox box(request.icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon, caption,
                    QString::fromStdString(request.text), QMessageBox::Ok, request.ownedByWindow ? this : nullptr);
    if (!request.detail.empty()) box.setInformativeText(QString::fromStdString(request.detail));
    box.exec();
}

std::optional<std::string> QtDialogView::openFileDialog(const std::string& filter,
                                                        const std::string& initialDirectory) {
    const QStringList filters = toQtNameFilters(filter);
    const QString directory = QString::fromStdString(initialDirectory);
    const std::optional<QString> chosen =
        fileDialog_ ? fileDialog_(this, filters, directory) : runOpenFileDialog(this, filters, directory);
    if (!chosen) return std::nullopt;
    return chosen->toStdString();
}

std::optional<std::string> QtDialogView::saveFileDialog(const std::string& suggestedName) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    const QString suggested = QDir(folder).filePath(fromUtf8(suggestedName));
    const std::optional<QString> chosen = saveDialog_ ? saveDialog_(this, suggested) : runSaveFileDialog(this, suggested);
    if (!chosen) return std::nullopt;
    return chosen->toUtf8().toStdString();
}

void QtDialogView::showNotes() {
    NotesDialog notes(this);
    notes.exec();
}

void QtDialogView::startTimer(int id, int periodMs) {
    std::unique_ptr<QTimer>& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        connect(timer.get(), &QTimer::timeout, this, [this, id] { dialog_.onTimer(id); });
    }
    timer->start(periodMs);
}

void QtDialogView::killTimer(int id) {
    if (const auto it = timers_.find(id); it != timers_.end()) it->second->stop();
}

void QtDialogView::pause(int ms) {
    // Sleeps on the UI thread, so no click, tick or link message is handled
    // before the sequence's next step; ticks missed meanwhile come as one,
    // never as a burst.
    QThread::msleep(static_cast<unsigned long>(std::max(ms, 0)));
}

void QtDialogView::postLinkMessage(LinkMessage message) {
    // Queued on this window: a message still on its way when the window
    // goes is dropped with it.
    QMetaObject::invokeMethod(
        this, [this, m = std::move(message)] { dialog_.onLinkMessage(m); }, Qt::QueuedConnection);
}

void QtDialogView::updateEnded(UpdateOutcome outcome) {
    // The bar is named for the outcome by now.
    if (QWidget* bar = controls_.find(IDC_PROGRESS)) alert(*bar);
    emit updateFinished(outcome);
}

void QtDialogView::keyPressEvent(QKeyEvent* event) {
    if (handleDialogKey(*this, *event)) return;
    QDialog::keyPressEvent(event);
}

void QtDialogView::showEvent(QShowEvent* event) {
    // Centred on the screen the first time it shows.
    if (!centred_) {
        centred_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::showEvent(event);
}

} // namespace tarvane
