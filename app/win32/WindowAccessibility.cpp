#include "app/win32/WindowAccessibility.h"

#include "app/AccessibleNames.h"
#include "app/DialogTemplates.h"
#include "res/resource.h"
#include "win32/WideText.h"

#include <commctrl.h>
#include <oleacc.h>

#include <atomic>
#include <cwctype>

namespace tarvane {
namespace {

constexpr UINT_PTR kSubclassId = 0x7a11;

BSTR bstr(const std::wstring& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

bool isSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// COM interfaces end through Release, never through a virtual destructor.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// The system's object for a control, with our texts over it and, for the
// window, its children in our order. Everything else is the system's.
class Overlay final : public IAccessible {
public:
    Overlay(IAccessible* inner, std::shared_ptr<WindowAccessibility::Texts> texts,
            std::shared_ptr<const std::vector<HWND>> order)
        : inner_(inner), texts_(std::move(texts)), order_(std::move(order)) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        // No IEnumVARIANT: a reader then asks for the children one by one, in our order.
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        if (order_) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        return inner_->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        // COM: the last reference owns the object.
        if (left == 0) std::unique_ptr<Overlay>{this};
        return left;
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return inner_->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return inner_->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return inner_->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argument) override {
        return inner_->Invoke(id, iid, locale, flags, params, result, exception, argument);
    }

    // IAccessible: ours
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return ours(child, texts_ ? texts_->name : std::wstring(), name) ? S_OK : inner_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return ours(child, texts_ ? texts_->description : std::wstring(), text) ? S_OK
                                                                               : inner_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
        return ours(child, texts_ ? texts_->shortcut : std::wstring(), text)
                   ? S_OK
                   : inner_->get_accKeyboardShortcut(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!order_) return inner_->get_accChildCount(count);
        if (!count) return E_POINTER;
        *count = static_cast<long>(order_->size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!order_) return inner_->get_accChild(child, out);
        if (!out) return E_POINTER;
        *out = nullptr;
        if (child.vt != VT_I4 || child.lVal < 1 || static_cast<std::size_t>(child.lVal) > order_->size())
            return E_INVALIDARG;
        // The control's client object, which carries its name.
        return AccessibleObjectFromWindow((*order_)[static_cast<std::size_t>(child.lVal - 1)],
                                          static_cast<DWORD>(OBJID_CLIENT), IID_IDispatch,
                                          reinterpret_cast<void**>(out));
    }

    // IAccessible: the system's
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return inner_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return inner_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return inner_->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return inner_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return inner_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return inner_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return inner_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return inner_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return inner_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return inner_->accSelect(flags, child); }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT child) override {
        return inner_->accLocation(x, y, w, h, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return inner_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        return inner_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return inner_->accDoDefaultAction(child); }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return inner_->put_accName(child, name); }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return inner_->put_accValue(child, value);
    }

    ~Overlay() { inner_->Release(); }

private:

    static bool ours(const VARIANT& child, const std::wstring& text, BSTR* out) {
        if (!out || text.empty() || !isSelf(child)) return false;
        *out = bstr(text);
        return true;
    }

    IAccessible* inner_;
    std::shared_ptr<WindowAccessibility::Texts> texts_;
    std::shared_ptr<const std::vector<HWND>> order_;
    std::atomic<ULONG> references_{1};
};

#pragma GCC diagnostic pop

std::wstring wide(std::string_view text) {
    return toWide(std::string(text));
}

int templateBitmap(int id) {
    for (const ControlTemplate& control : mainDialogTemplate().controls) {
        if (control.id == id) return control.bitmapId;
    }
    return 0;
}

} // namespace

WindowAccessibility::WindowAccessibility(HWND window) : window_(window) {
    auto order = std::make_shared<std::vector<HWND>>();
    for (const int id : readingOrder()) {
        if (HWND control = GetDlgItem(window, id)) order->push_back(control);
    }
    order_ = std::move(order);
    serve(window);
    for (const int id : readingOrder()) {
        HWND control = GetDlgItem(window, id);
        if (!control) continue;
        serve(control);
        Texts& texts = *texts_[control];
        const AccessibleText text = accessibleText(id);
        texts.name = wide(text.name);
        texts.description = wide(text.description);
        if (const int bitmap = templateBitmap(id)) {
            const AccessibleText shows = pictureText(bitmap);
            texts.name = wide(shows.name);
            texts.description = wide(shows.description);
        }
        for (const BoardKey& key : boardKeys()) {
            if (key.control == id) texts.shortcut = L"Alt+" + std::wstring(1, static_cast<wchar_t>(key.letter));
        }
    }
}

WindowAccessibility::~WindowAccessibility() {
    for (const auto& [control, texts] : texts_) RemoveWindowSubclass(control, subclassProc, kSubclassId);
}

void WindowAccessibility::serve(HWND control) {
    if (SetWindowSubclass(control, subclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        texts_[control] = std::make_shared<Texts>();
}

void WindowAccessibility::rename(int id, const std::string& name, const std::string& description) {
    HWND control = GetDlgItem(window_, id);
    const auto it = texts_.find(control);
    if (it == texts_.end()) return;
    it->second->name = toWide(name);
    if (!description.empty()) it->second->description = toWide(description);
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
}

void WindowAccessibility::valueChanged(int id) const {
    if (HWND control = GetDlgItem(window_, id))
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
}

void WindowAccessibility::alert(int id) const {
    if (HWND control = GetDlgItem(window_, id)) NotifyWinEvent(EVENT_SYSTEM_ALERT, control, OBJID_CLIENT, CHILDID_SELF);
}

LRESULT CALLBACK WindowAccessibility::subclassProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                   DWORD_PTR self) {
    auto* accessibility = reinterpret_cast<WindowAccessibility*>(self);
    if (message == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_CLIENT)
        return accessibility->onGetObject(control, wParam, lParam);
    // An Alt key no mnemonic took comes back to the control that has the
    // focus (or the window) as a menu key: the board buttons' keys are among them.
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_KEYMENU &&
        accessibility->onBoardKey(lParam))
        return 0;
    return DefSubclassProc(control, message, wParam, lParam);
}

LRESULT WindowAccessibility::onGetObject(HWND control, WPARAM wParam, LPARAM lParam) {
    IAccessible* inner = nullptr;
    if (FAILED(CreateStdAccessibleObject(control, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&inner))) ||
        !inner)
        return DefSubclassProc(control, WM_GETOBJECT, wParam, lParam);
    const auto it = texts_.find(control);
    auto overlay = std::make_unique<Overlay>(inner, it != texts_.end() ? it->second : nullptr,
                                             control == window_ ? order_ : nullptr);
    // The result holds its own reference; ours goes with this call.
    Overlay* served = overlay.release();
    const LRESULT result = LresultFromObject(IID_IAccessible, wParam, served);
    served->Release();
    return result;
}

bool WindowAccessibility::onBoardKey(LPARAM letter) const {
    const auto pressed = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(letter)));
    for (const BoardKey& key : boardKeys()) {
        if (pressed != static_cast<wchar_t>(key.letter)) continue;
        HWND button = GetDlgItem(window_, key.control);
        if (!button || !IsWindowEnabled(button)) return true;
        SetFocus(button);
        SendMessageW(button, BM_CLICK, 0, 0);
        return true;
    }
    return false;
}

} // namespace tarvane
