#include "app/qt/FileDialog.h"

#include <QDir>
#include <QFileInfo>

#include <string>
#include <vector>

namespace tarvane {
namespace {

QString qtPatterns(std::string_view patterns) {
    QStringList out;
    const QStringList parts = QString::fromUtf8(patterns.data(), static_cast<qsizetype>(patterns.size()))
                                  .split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString part : parts) {
        part = part.trimmed();
        if (part == QLatin1String("*.*")) part = QStringLiteral("*");
        if (!part.isEmpty() && !out.contains(part)) out.append(part);
    }
    return out.join(QLatin1Char(' '));
}

} // namespace

QStringList toQtNameFilters(std::string_view filter) {
    std::vector<std::string_view> parts;
    while (!filter.empty()) {
        const std::size_t bar = filter.find('|');
        parts.push_back(filter.substr(0, bar));
        if (bar == std::string_view::npos) break;
        filter.remove_prefix(bar + 1);
    }
    QStringList filters;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = qtPatterns(parts[i + 1]);
        if (patterns.isEmpty()) continue;
        const QString name = QString::fromUtf8(parts[i].data(), static_cast<qsizetype>(parts[i].size()));
        filters.append(name + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters;
}

void configureOpenFileDialog(QFileDialog& dialog, const QStringList& nameFilters, const QString& directory) {
    dialog.setWindowTitle(QStringLiteral("Open"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Shows "Interface HEX Files (*.hex)" rather than the pattern Qt matches with.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilters(nameFilters);
    if (!nameFilters.isEmpty()) dialog.selectNameFilter(nameFilters.first());
    if (!directory.isEmpty()) dialog.setDirectory(directory);
}

std::optional<QString> runOpenFileDialog(QWidget* owner, const QStringList& nameFilters, const QString& directory) {
    QFileDialog dialog(owner);
    configureOpenFileDialog(dialog, nameFilters, directory);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(chosen.first());
}

std::optional<QString> runSaveFileDialog(QWidget* owner, const QString& suggestedPath) {
    QFileDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QFileInfo suggested(suggestedPath);
    dialog.setDirectory(suggested.absolutePath());
    dialog.selectFile(suggested.fileName());
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(chosen.first());
}

} // namespace tarvane
