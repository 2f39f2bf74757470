#pragma once

class QWidget;

namespace tarvane {

class TemplateControls;

// Names, descriptions and step-text labels of the main window's controls, and
// the window's children in reading order for screen readers, which the tab
// and stacking order of the template do not follow.
void describeMainWindow(QWidget& window, const TemplateControls& controls);

// Tells a screen reader the control's name as news, without moving the focus.
void alert(QWidget& source);

} // namespace tarvane
