#include "app/qt/NotesDialog.h"

#include "app/qt/DialogKeys.h"

#include <QKeyEvent>

namespace tarvane {
NotesDialog::NotesDialog(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      font_(dialogFont(notesDialogTemplate())), controls_(*this, notesDialogTemplate(), font_.units) {
    const DialogTemplate& dialog = notesDialogTemplate();
    setFont(font_.font);
    setWindowTitle(QString::fromUtf8(dialog.caption.data(), static_cast<qsizetype>(dialog.caption.size())));
    setModal(true);
    setFixedSize(controls_.dialogSize(dialog, font_.units));
}

void NotesDialog::keyPressEvent(QKeyEvent* event) {
    if (handleDialogKey(*this, *event)) return;
    QDialog::keyPressEvent(event);
}

} // namespace tarvane
