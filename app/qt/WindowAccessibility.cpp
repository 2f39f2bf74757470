#include "app/qt/WindowAccessibility.h"

#include "app/AccessibleNames.h"
#include "app/qt/ElidedLabel.h"
#include "app/qt/TemplateControls.h"
#include "res/resource.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>

#include <vector>

namespace tarvane {
namespace {

constexpr const char* kReadingOrderProperty = "tarvaneReadingOrder";
constexpr const char* kBoardButtonProperty = "tarvaneBoardButton";

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The window's children in reading order first, then any others as created.
class ReadingOrderAccessible : public QAccessibleWidget {
public:
    explicit ReadingOrderAccessible(QWidget* window) : QAccessibleWidget(window, QAccessible::Dialog) {}

    int childCount() const override { return static_cast<int>(ordered().size()); }

    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> children = ordered();
        if (index < 0 || index >= children.size()) return nullptr;
        return QAccessible::queryAccessibleInterface(children.at(index));
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) return -1;
        return static_cast<int>(ordered().indexOf(qobject_cast<QWidget*>(child->object())));
    }

private:
    QList<QWidget*> ordered() const {
        QList<QWidget*> list;
        for (const QVariant& entry : widget()->property(kReadingOrderProperty).toList()) {
            if (auto* child = qobject_cast<QWidget*>(entry.value<QObject*>())) list.append(child);
        }
        for (QObject* object : widget()->children()) {
            auto* child = qobject_cast<QWidget*>(object);
            if (child && !child->isWindow() && !list.contains(child)) list.append(child);
        }
        return list;
    }
};

// A board button clicked by a screen reader's action, as by the mouse: the
// choice runs again on the board already chosen, where a plain toggle would
// do nothing.
class BoardButtonAccessible : public QAccessibleWidget {
public:
    explicit BoardButtonAccessible(QAbstractButton* button) : QAccessibleWidget(button, QAccessible::RadioButton) {}

    QString text(QAccessible::Text kind) const override {
        const QAbstractButton* b = button();
        if (b && kind == QAccessible::Name && b->accessibleName().isEmpty()) return b->text();
        if (b && kind == QAccessible::Accelerator) return b->shortcut().toString(QKeySequence::NativeText);
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        const QAbstractButton* b = button();
        s.checked = b && b->isChecked();
        return s;
    }

    QStringList actionNames() const override {
        return QStringList{pressAction(), toggleAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action == pressAction() || action == toggleAction()) {
            QAbstractButton* b = button();
            if (b && b->isEnabled()) b->animateClick();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

    QStringList keyBindingsForAction(const QString& action) const override {
        if (action == pressAction()) return {text(QAccessible::Accelerator)};
        return QAccessibleWidget::keyBindingsForAction(action);
    }

private:
    // Null while the button is being destroyed and only its QWidget part is left.
    QAbstractButton* button() const { return qobject_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* windowFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    if (widget->property(kReadingOrderProperty).isValid()) return new ReadingOrderAccessible(widget);
    if (widget->property(kBoardButtonProperty).isValid()) {
        // Asked for also while the button is being destroyed, when it is only a QWidget.
        auto* button = qobject_cast<QAbstractButton*>(widget);
        return button ? new BoardButtonAccessible(button) : nullptr;
    }
    // The file field reads as the text it is.
    if (qobject_cast<ElidedLabel*>(widget)) return new QAccessibleWidget(widget, QAccessible::StaticText);
    return nullptr;
}

} // namespace

void describeMainWindow(QWidget& window, const TemplateControls& controls) {
    for (const int id : readingOrder()) {
        QWidget* widget = controls.find(id);
        const AccessibleText text = accessibleText(id);
        if (!widget) continue;
        if (!text.name.empty()) widget->setAccessibleName(fromUtf8(text.name));
        if (!text.description.empty()) widget->setAccessibleDescription(fromUtf8(text.description));
    }
    for (const BoardKey& key : boardKeys()) {
        if (auto* button = controls.find<QAbstractButton>(key.control)) {
            button->setShortcut(QKeySequence(Qt::ALT | Qt::Key(Qt::Key_A + (key.letter - 'A'))));
            button->setProperty(kBoardButtonProperty, true);
        }
    }
    for (const LabelFor& pair : labelsFor()) {
        auto* label = controls.find<QLabel>(pair.label);
        if (label) label->setBuddy(controls.find(pair.control));
    }
    QVariantList order;
    for (const int id : readingOrder()) {
        if (QWidget* widget = controls.find(id)) order.append(QVariant::fromValue<QObject*>(widget));
    }
    window.setProperty(kReadingOrderProperty, order);
    static const bool installed = (QAccessible::installFactory(windowFactory), true);
    static_cast<void>(installed);
    // An interface made before the factory was in place would stay cached.
    std::vector<QObject*> served{&window, controls.find(IDC_FILE_NAME)};
    for (const BoardKey& key : boardKeys()) served.push_back(controls.find(key.control));
    for (QObject* object : served) {
        if (QAccessibleInterface* cached = object ? QAccessible::queryAccessibleInterface(object) : nullptr)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(cached));
    }
}

void alert(QWidget& source) {
    QAccessibleEvent event(&source, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
}

} // namespace tarvane
