#include "app/qt/WindowAccessibility.h"

#include "app/AccessibleNames.h"
#include "app/qt/TemplateControls.h"

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

QAccessibleInterface* readingOrderFactory(const QString&, QObject* object) {
    auto* window = qobject_cast<QWidget*>(object);
    if (!window || !window->property(kReadingOrderProperty).isValid()) return nullptr;
    return new ReadingOrderAccessible(window);
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
        if (auto* button = controls.find<QAbstractButton>(key.control))
            button->setShortcut(QKeySequence(Qt::ALT | Qt::Key(Qt::Key_A + (key.letter - 'A'))));
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
    static const bool installed = (QAccessible::installFactory(readingOrderFactory), true);
    static_cast<void>(installed);
}

void alert(QWidget& source) {
    QAccessibleEvent event(&source, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
}

} // namespace tarvane
