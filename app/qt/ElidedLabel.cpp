#include "app/qt/ElidedLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace tarvane {
namespace {

constexpr int kTextMargin = 4;

} // namespace

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {}

void ElidedLabel::setText(const QString& text) {
    text_ = text;
    update();
}

QRect ElidedLabel::textRect() const {
    return rect().adjusted(kTextMargin, 1, -kTextMargin, -1);
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text_, Qt::ElideRight, textRect().width());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The sunken edge: shadow above and to the left, light below and to the right.
    const QRect edge = rect().adjusted(0, 0, -1, -1);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(edge.topLeft(), edge.topRight());
    painter.drawLine(edge.topLeft(), edge.bottomLeft());
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(edge.bottomLeft(), edge.bottomRight());
    painter.drawLine(edge.topRight(), edge.bottomRight());
    style()->drawItemText(&painter, textRect(), Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(), shownText(),
                          QPalette::WindowText);
}

} // namespace tarvane
