#pragma once

#include <QString>
#include <QWidget>

namespace tarvane {

// A one-line text with a thin sunken edge that cuts what does not fit with
// an ellipsis at its end, so a long file name keeps its beginning in view.
class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString& text, QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return text_; }
    // What the label shows at its present width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect textRect() const;

    QString text_;
};

} // namespace tarvane
