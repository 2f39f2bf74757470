#include "app/qt/DialogFont.h"

#include <QFontDatabase>
#include <QFontMetricsF>

#include <cmath>

namespace tarvane {
namespace {

constexpr double kStandInShrink = 0.5;

} // namespace

int DialogUnits::x(int units) const {
    return static_cast<int>(std::lround(units * charWidth / 4.0));
}

int DialogUnits::y(int units) const {
    return static_cast<int>(std::lround(units * charHeight / 8.0));
}

QRect DialogUnits::rect(int left, int top, int width, int height) const {
    const int l = x(left);
    const int t = y(top);
    return {l, t, x(left + width) - l, y(top + height) - t};
}

DialogUnits dialogUnits(const QFont& font) {
    // The average over the 52 letters, as the dialog system measures it.
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetricsF metrics(font);
    return {metrics.horizontalAdvance(letters) / 52.0, metrics.height()};
}

DialogFont dialogFont(const DialogTemplate& dialog) {
    const QString family = QString::fromUtf8(dialog.font.data(), static_cast<qsizetype>(dialog.font.size()));
    QFont font(family, dialog.pointSize);
    if (QFontDatabase::hasFamily(family)) return {font, dialogUnits(font)};

    font.setFamily(QStringLiteral("Open Sans"));
    font.setStyleHint(QFont::SansSerif);
    const DialogUnits units = dialogUnits(font);
    font.setPointSizeF(dialog.pointSize - kStandInShrink);
    return {font, units};
}

} // namespace tarvane
