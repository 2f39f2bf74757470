#include "app/qt/DialogKeys.h"

#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>

namespace tarvane {

bool handleDialogKey(QDialog& dialog, QKeyEvent& event) {
    const bool enter = event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (!enter || modifiers != Qt::NoModifier) return false;
    if (auto* button = qobject_cast<QPushButton*>(dialog.focusWidget())) {
        if (button->isEnabled()) button->click();
    } else {
        dialog.accept();
    }
    return true;
}

} // namespace tarvane
