#pragma once

#include "app/DialogTemplates.h"
#include "app/qt/DialogFont.h"

#include <QSize>
#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <string_view>
#include <vector>

namespace tarvane {

// The controls of one dialog template, realised as widgets on a parent. The
// widgets die with this object, which must therefore be a member of the
// parent's class (members go before the parent's own children).
class TemplateControls {
public:
    TemplateControls(QWidget& parent, const DialogTemplate& dialog, const DialogUnits& units);

    QWidget* find(int id) const;
    template <typename T>
    T* find(int id) const {
        return qobject_cast<T*>(find(id));
    }
    // In template order, which is also the tab order.
    const std::vector<std::unique_ptr<QWidget>>& widgets() const { return widgets_; }

    void setText(int id, std::string_view text);
    // A bitmap the window cannot load leaves the picture empty.
    void setPicture(int id, int bitmapId);

    // The template's size in pixels, grown where a picture reaches further.
    QSize dialogSize(const DialogTemplate& dialog, const DialogUnits& units) const;

private:
    std::vector<std::unique_ptr<QWidget>> widgets_;
    std::map<int, QWidget*> byId_;
};

// Static texts show '&' only when doubled; the single one marks a mnemonic
// that a text without a partner control cannot use.
QString staticText(std::string_view text);

// The bitmap id a picture control shows, 0 when none.
int pictureOf(const QWidget& picture);

} // namespace tarvane
