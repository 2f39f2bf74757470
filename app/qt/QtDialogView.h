#pragma once

#include "app/DialogMain.h"
#include "app/DialogView.h"
#include "app/qt/DialogFont.h"
#include "app/qt/TemplateControls.h"

#include <QButtonGroup>
#include <QDialog>
#include <QMenu>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tarvane {

// The updater window: the main template's controls on a QDialog, their
// clicks handed to DialogMain, and DialogMain's requests carried out with Qt.
class QtDialogView : public QDialog, public DialogView {
    Q_OBJECT
public:
    // Answers the open-file dialog: the chosen path or nothing (cancel).
    using FileDialogFunction =
        std::function<std::optional<QString>(QWidget* owner, const QStringList& nameFilters, const QString& directory)>;
    // Answers the save dialog, which proposes `suggestedPath`: the chosen path or nothing (cancel).
    using SaveDialogFunction = std::function<std::optional<QString>(QWidget* owner, const QString& suggestedPath)>;

    explicit QtDialogView(QWidget* parent = nullptr);
    ~QtDialogView() override;

    DialogMain& dialog() { return dialog_; }
    const TemplateControls& controls() const { return controls_; }
    QWidget* control(int id) const { return controls_.find(id); }
    // Replaces the system's file dialog, for tests and demonstrations.
    void setFileDialog(FileDialogFunction function) { fileDialog_ = std::move(function); }
    void setSaveDialog(SaveDialogFunction function) { saveDialog_ = std::move(function); }
    // The log's context menu: the text field's own items, then Save support report….
    std::unique_ptr<QMenu> createLogMenu();

    bool hasControl(int id) const override;
    void setControlText(int id, const std::string& text) override;
    void enableControl(int id, bool enabled) override;
    void showControl(int id, bool visible) override;
    void setPicture(int controlId, int bitmapId) override;
    void setLogText(const std::string& text) override;
    void setProgressRange(int maximum) override;
    void setProgressPosition(int position) override;
    void setProgressName(std::string_view name) override;
    void messageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> openFileDialog(const std::string& filter, const std::string& initialDirectory) override;
    void showNotes() override;
    std::optional<std::string> saveFileDialog(const std::string& suggestedName) override;
    void startTimer(int id, int periodMs) override;
    void killTimer(int id) override;
    void pause(int ms) override;
    void postLinkMessage(LinkMessage message) override;
    void updateEnded(UpdateOutcome outcome) override;

signals:
    void updateFinished(tarvane::UpdateOutcome outcome);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void connectControls();

    DialogFont font_;
    TemplateControls controls_;
    QButtonGroup boards_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    FileDialogFunction fileDialog_;
    SaveDialogFunction saveDialog_;
    bool centred_ = false;
    // Last, so it goes first: its link's worker stops before the window dies.
    DialogMain dialog_;
};

} // namespace tarvane

Q_DECLARE_METATYPE(tarvane::UpdateOutcome)
