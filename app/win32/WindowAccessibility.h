#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tarvane {

// What a screen reader hears of the main window while this object lives: the
// controls whose own text says nothing get a name and description, the board
// buttons their Alt key, and the window lists its controls in reading order,
// which the tab and stacking order do not follow. Each answers WM_GETOBJECT
// with the system's own accessible object, those texts put over it.
class WindowAccessibility {
public:
    struct Texts {
        std::wstring name;
        std::wstring description;
        std::wstring shortcut;
    };

    explicit WindowAccessibility(HWND window);
    ~WindowAccessibility();
    WindowAccessibility(const WindowAccessibility&) = delete;
    WindowAccessibility& operator=(const WindowAccessibility&) = delete;

    // A new name (and description, when not empty) for a control; readers are told.
    void rename(int id, const std::string& name, const std::string& description = {});
    // The control's value changed (the log's new line), or it carries news (the end).
    void valueChanged(int id) const;
    void alert(int id) const;

private:
    static LRESULT CALLBACK subclassProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    LRESULT onGetObject(HWND control, WPARAM wParam, LPARAM lParam);
    bool onBoardKey(LPARAM letter) const;
    void serve(HWND control);

    HWND window_;
    std::map<HWND, std::shared_ptr<Texts>> texts_;
    std::shared_ptr<const std::vector<HWND>> order_;
};

} // namespace tarvane
