#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>

namespace tarvane {

// "Name|pattern|Name|pattern|" as Qt name filters. The name stays what the
// user reads (the dialog hides the appended pattern list); patterns separated
// by ';' become Qt's space-separated list, and "*.*" becomes "*" so that it
// also matches names without a dot, as it does on Windows.
QStringList toQtNameFilters(std::string_view filter);

// An open-file dialog offering `nameFilters`, the first in effect, in `directory`.
void configureOpenFileDialog(QFileDialog& dialog, const QStringList& nameFilters, const QString& directory);

// Runs that dialog modally; the chosen file's full path, or nothing when cancelled.
std::optional<QString> runOpenFileDialog(QWidget* owner, const QStringList& nameFilters, const QString& directory);

// A save dialog proposing `suggestedPath` (folder and name), run modally; the
// path the user chose, or nothing when cancelled.
std::optional<QString> runSaveFileDialog(QWidget* owner, const QString& suggestedPath);

} // namespace tarvane
