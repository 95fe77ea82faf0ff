#include "ui/SkinAccessible.h"

#include <commctrl.h>
#include <oleacc.h>
#include <cstdio>
#include <string>

#include "afx/ScopedWin.h"
#include "afx/Wnd.h"

namespace {

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// A BSTR copy of text into *out: S_FALSE and null for an empty text, as the
// standard objects answer.
HRESULT ReturnText(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The standard object of the window, with the control's own role, name and value.
// Everything else (state, location, parent, hit test, default action) is the
// standard object's.
class SkinAccessible final : public IAccessible {
public:
    SkinAccessible(HWND window, LONG role) : window_(window), role_(role) {}
    SkinAccessible(const SkinAccessible&) = delete;
    SkinAccessible& operator=(const SkinAccessible&) = delete;

    bool Connect() {
        return SUCCEEDED(::CreateStdAccessibleObject(window_, OBJID_CLIENT, IID_IAccessible, standard_.ReceiveVoid()));
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    // IDispatch: clients use the vtable.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible: what this control says of itself.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!IsSelf(child)) return standard_->get_accName(child, name);
        if (!::IsWindow(window_)) return E_FAIL;
        return ReturnText(AfxGetWindowText(window_), name);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!IsSelf(child)) return standard_->get_accRole(child, role);
        if (!role) return E_POINTER;
        role->vt = VT_I4;
        role->lVal = role_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!IsSelf(child) || role_ != ROLE_SYSTEM_PROGRESSBAR) return standard_->get_accValue(child, value);
        if (!::IsWindow(window_)) return E_FAIL;
        wchar_t text[16];
        std::swprintf(text, 16, L"%d%%", static_cast<int>(::SendMessageW(window_, PBM_GETPOS, 0, 0)));
        return ReturnText(text, value);
    }

    // IAccessible: the standard object's.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return standard_->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        return standard_->get_accChild(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return standard_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return standard_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
        return standard_->get_accHelp(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
        return standard_->get_accKeyboardShortcut(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override {
        return standard_->get_accDefaultAction(child, text);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return standard_->accSelect(flags, child); }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* width, long* height, VARIANT child) override {
        return standard_->accLocation(x, y, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        return standard_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return standard_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~SkinAccessible() = default;

    HWND window_;
    LONG role_;
    LONG refs_ = 1;
    ScopedComPtr<IAccessible> standard_;
};

}  // namespace

LRESULT AnswerAccessibleObjectRequest(HWND control, WPARAM wParam, LPARAM lParam, LONG role) {
    if (static_cast<LONG>(lParam) != OBJID_CLIENT) return 0;
    auto* object = new SkinAccessible(control, role);
    LRESULT result = object->Connect() ? ::LresultFromObject(IID_IAccessible, wParam, object) : 0;
    object->Release();  // the answer holds its own reference
    return result < 0 ? 0 : result;
}
