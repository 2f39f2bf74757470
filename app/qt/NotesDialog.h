#pragma once

#include "app/qt/DialogFont.h"
#include "app/qt/TemplateControls.h"

#include <QDialog>

namespace tarvane {

// What the system shows the first time the bootloader is plugged in: two
// texts and two pictures, in a small-captioned window without buttons that
// Esc, Enter or the close box closes.
class NotesDialog : public QDialog {
    Q_OBJECT
public:
    explicit NotesDialog(QWidget* owner = nullptr);

    const TemplateControls& controls() const { return controls_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    DialogFont font_;
    TemplateControls controls_;
};

} // namespace tarvane
