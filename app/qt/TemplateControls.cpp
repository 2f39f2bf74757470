#include "app/qt/TemplateControls.h"

#include "app/AccessibleNames.h"
#include "app/qt/ElidedLabel.h"
#include "app/qt/Pictures.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <string>

namespace tarvane {
namespace {

constexpr const char* kBitmapProperty = "tarvaneBitmapId";

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::unique_ptr<QWidget> makeWidget(const ControlTemplate& control) {
    const QString text = fromUtf8(control.text);
    switch (control.kind) {
    case ControlKind::PushButton: {
        // Buttons share the '&' mnemonic convention; none is a default button.
        auto button = std::make_unique<QPushButton>(text);
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    }
    case ControlKind::RadioButton:
        return std::make_unique<QRadioButton>(text);
    case ControlKind::Text: {
        auto label = std::make_unique<QLabel>(staticText(control.text));
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case ControlKind::SunkenText:
        return std::make_unique<ElidedLabel>(staticText(control.text));
    case ControlKind::Picture: {
        auto picture = std::make_unique<QLabel>();
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return picture;
    }
    case ControlKind::Log: {
        auto log = std::make_unique<QPlainTextEdit>();
        log->setReadOnly(true);
        // A read-only log still takes the caret keys, so it can be read line by line.
        log->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        log->setLineWrapMode(QPlainTextEdit::NoWrap);
        log->setTabChangesFocus(true);
        log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        log->setPlainText(text);
        return log;
    }
    case ControlKind::ProgressBar: {
        auto bar = std::make_unique<QProgressBar>();
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    }
    return std::make_unique<QWidget>();
}

Qt::FocusPolicy focusPolicy(const ControlTemplate& control) {
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::RadioButton:
    case ControlKind::Log:
        return control.tabStop ? Qt::StrongFocus : Qt::ClickFocus;
    default:
        return Qt::NoFocus;
    }
}

} // namespace

QString staticText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Skip the marker; of a doubled one the second '&' stays.
        if (text[i] == '&' && ++i == text.size()) break;
        out += text[i];
    }
    return fromUtf8(out);
}

int pictureOf(const QWidget& picture) {
    return picture.property(kBitmapProperty).toInt();
}

TemplateControls::TemplateControls(QWidget& parent, const DialogTemplate& dialog, const DialogUnits& units) {
    QWidget* previousTabStop = nullptr;
    for (const ControlTemplate& control : dialog.controls) {
        std::unique_ptr<QWidget> widget = makeWidget(control);
        widget->setParent(&parent);
        widget->setGeometry(units.rect(control.x, control.y, control.width, control.height));
        widget->setEnabled(control.enabledAtStart);
        widget->setHidden(!control.visibleAtStart);
        widget->setFocusPolicy(focusPolicy(control));
        // The template's first control lies on top, as the dialog system stacks them.
        widget->lower();
        if (control.tabStop) {
            if (previousTabStop) QWidget::setTabOrder(previousTabStop, widget.get());
            previousTabStop = widget.get();
        }
        byId_[control.id] = widget.get();
        widgets_.push_back(std::move(widget));
        if (control.kind == ControlKind::Picture) setPicture(control.id, control.bitmapId);
    }
}

QWidget* TemplateControls::find(int id) const {
    const auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
}

void TemplateControls::setText(int id, std::string_view text) {
    QWidget* widget = find(id);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(fromUtf8(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(staticText(text));
    } else if (auto* elided = qobject_cast<ElidedLabel*>(widget)) {
        elided->setText(staticText(text));
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
        edit->setPlainText(fromUtf8(text));
    }
}

void TemplateControls::setPicture(int id, int bitmapId) {
    auto* picture = find<QLabel>(id);
    if (!picture) return;
    const QPixmap pixmap = loadBitmap(bitmapId);
    const AccessibleText shows = pictureText(pixmap.isNull() ? 0 : bitmapId);
    picture->setAccessibleName(fromUtf8(shows.name));
    picture->setAccessibleDescription(fromUtf8(shows.description));
    if (pixmap.isNull()) {
        picture->clear();
        picture->setProperty(kBitmapProperty, 0);
        return;
    }
    picture->setPixmap(pixmap);
    // The picture control takes the size of the bitmap it shows.
    picture->resize(pixmap.size());
    picture->setProperty(kBitmapProperty, bitmapId);
}

QSize TemplateControls::dialogSize(const DialogTemplate& dialog, const DialogUnits& units) const {
    QSize size(units.x(dialog.width), units.y(dialog.height));
    // Keep the template's right and bottom margins beside what reaches further.
    const int marginX = units.x(3);
    const int marginY = units.y(3);
    for (const auto& widget : widgets_) {
        const QRect r = widget->geometry();
        size = size.expandedTo(QSize(r.right() + 1 + marginX, r.bottom() + 1 + marginY));
    }
    return size;
}

} // namespace tarvane
