#pragma once

#include "app/qt/QtDialogView.h"
#include "res/resource.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

namespace tarvane::test {

inline void useOffscreenPlatform() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Waits, inside whatever modal loop runs meanwhile, for the first visible
// top-level window of type T, hands it to `inspect` and forgets it; the
// inspector closes it.
template <typename T>
class NextWindow {
public:
    explicit NextWindow(std::function<void(T&)> inspect) : inspect_(std::move(inspect)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* window = qobject_cast<T*>(top);
                if (!window || !window->isVisible()) continue;
                timer_.stop();
                ++seen_;
                inspect_(*window);
                return;
            }
        });
        timer_.start(20);
    }
    int seen() const { return seen_; }

private:
    std::function<void(T&)> inspect_;
    QTimer timer_;
    int seen_ = 0;
};

// What a message box said, once it has been answered with OK.
struct SeenBox {
    QString title;
    QString text;
    QString detail;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* owner = nullptr;
    QMessageBox::StandardButtons buttons;
};

class NextMessageBox : public NextWindow<QMessageBox> {
public:
    NextMessageBox()
        : NextWindow<QMessageBox>([this](QMessageBox& box) {
              box_ = SeenBox{box.windowTitle(), box.text(), box.informativeText(), box.icon(), box.parentWidget(),
                             box.standardButtons()};
              box.button(QMessageBox::Ok)->click();
          }) {}
    const std::optional<SeenBox>& box() const { return box_; }

private:
    std::optional<SeenBox> box_;
};

inline void click(QtDialogView& window, int id) {
    auto* button = qobject_cast<QAbstractButton*>(window.control(id));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

inline QStringList logLines(QtDialogView& window) {
    const QString text = qobject_cast<QPlainTextEdit*>(window.control(IDC_LOG))->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

} // namespace tarvane::test
