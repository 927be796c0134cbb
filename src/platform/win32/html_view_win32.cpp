// The page view of the Windows build: the system's WebBrowser control, hosted in the host window
// by a minimal container of its own (client site, in-place site and frame) and driven through
// IDispatch. Navigate invokes the control's dispatch id 0x68 as a method with a BSTR and four
// VARIANT pointers, the last four null, which is how the control's type library describes it.
//
// A control that cannot be created (COM unavailable on the thread, the control not registered)
// leaves the stand-in view in its place, so the notes stay readable and nothing else changes; a
// control that is created but cannot show HTML (no HTML engine installed) shows what it shows.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <memory>

#include "platform/html_view.h"

namespace platform {

namespace {

// {8856F961-340A-11D0-A96B-00C04FD705A2}
constexpr CLSID kWebBrowserClsid = {
    0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
constexpr DISPID kNavigateDispid = 0x68;

// Releases a COM interface pointer.
template <class T>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    T** Out() {
        Reset();
        return &m_p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    void Reset() {
        if (m_p) {
            m_p->Release();
            m_p = nullptr;
        }
    }

  private:
    T* m_p = nullptr;
};

// The container side the control talks to. Reference counted; the view holds one reference and
// the control its own while the site is set.
class BrowserSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
  public:
    explicit BrowserSite(HWND host) : m_host(host) {}

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
            *out = static_cast<IOleClientSite*>(this);
        } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
            *out = static_cast<IOleInPlaceSite*>(this);
        } else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) ||
                   IsEqualIID(iid, IID_IOleInPlaceFrame)) {
            *out = static_cast<IOleInPlaceFrame*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_refs); }
    STDMETHODIMP_(ULONG) Release() override {
        const long refs = --m_refs;
        if (refs == 0) {
            delete this;
        }
        return static_cast<ULONG>(refs);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
        if (out) {
            *out = nullptr;
        }
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        if (out) {
            *out = nullptr;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* out) override {
        if (!out) {
            return E_POINTER;
        }
        *out = m_host;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        if (frame) {
            *frame = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
        }
        if (document) {
            *document = nullptr;
        }
        RECT client{};
        ::GetClientRect(m_host, &client);
        if (position) {
            *position = client;
        }
        if (clip) {
            *clip = client;
        }
        if (info) {
            info->fMDIApp = FALSE;
            info->hwndFrame = ::GetAncestor(m_host, GA_ROOT);
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(LPRECT) override { return E_NOTIMPL; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

    // IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  private:
    ~BrowserSite() = default;
    HWND m_host;
    long m_refs = 1;
};

class BrowserView final : public HtmlView {
  public:
    explicit BrowserView(Window& host) : m_host(reinterpret_cast<HWND>(host.Handle())) {}
    ~BrowserView() override { Close(); }
    BrowserView(const BrowserView&) = delete;
    BrowserView& operator=(const BrowserView&) = delete;

    // Creates the control in the host window; false when it cannot be had.
    bool Start() {
        if (!m_host) {
            return false;
        }
        // Hosting needs OLE on this thread; the update run has started it already, a test's
        // window thread may not have.
        const HRESULT init = ::OleInitialize(nullptr);
        m_oleInitialized = SUCCEEDED(init);
        if (FAILED(::CoCreateInstance(kWebBrowserClsid, nullptr,
                                      CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IOleObject,
                                      m_object.OutVoid()))) {
            Close();
            return false;
        }
        m_site = new BrowserSite(m_host);
        RECT client{};
        ::GetClientRect(m_host, &client);
        if (FAILED(m_object->SetClientSite(static_cast<IOleClientSite*>(m_site))) ||
            FAILED(m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                                    static_cast<IOleClientSite*>(m_site), 0, m_host, &client)) ||
            FAILED(m_object->QueryInterface(IID_IDispatch, m_dispatch.OutVoid()))) {
            Close();
            return false;
        }
        m_object->QueryInterface(IID_IOleInPlaceObject, m_inPlace.OutVoid());
        return true;
    }

    bool Navigate(const std::wstring& url) override {
        m_location = url;
        if (!m_dispatch.Get()) {
            return false;
        }
        BSTR address = ::SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
        if (!address) {
            return false;
        }
        // Arguments go last first: Headers, PostData, TargetFrameName, Flags, then the address.
        VARIANTARG args[5];
        for (VARIANTARG& a : args) {
            ::VariantInit(&a);
        }
        for (int i = 0; i < 4; ++i) {
            args[i].vt = VT_VARIANT | VT_BYREF;
            args[i].pvarVal = nullptr;
        }
        args[4].vt = VT_BSTR;
        args[4].bstrVal = address;
        DISPPARAMS params{args, nullptr, 5, 0};
        const HRESULT hr = m_dispatch->Invoke(kNavigateDispid, IID_NULL, LOCALE_USER_DEFAULT,
                                              DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        ::SysFreeString(address);
        return SUCCEEDED(hr);
    }

    const std::wstring& Location() const override { return m_location; }

    bool OnHostMessage(unsigned message, WParam, LParam, LResult& result) override {
        switch (message) {
            case WM_SIZE:
                if (m_inPlace.Get()) {
                    RECT client{};
                    ::GetClientRect(m_host, &client);
                    m_inPlace->SetObjectRects(&client, &client);
                }
                return false;
            case WM_ERASEBKGND:
                // The control covers the whole host.
                result = 1;
                return true;
            case WM_DESTROY:
                Close();
                return false;
            default:
                return false;
        }
    }

  private:
    void Close() {
        if (m_inPlace.Get()) {
            m_inPlace->InPlaceDeactivate();
        }
        m_inPlace.Reset();
        m_dispatch.Reset();
        if (m_object.Get()) {
            m_object->Close(OLECLOSE_NOSAVE);
            m_object->SetClientSite(nullptr);
        }
        m_object.Reset();
        if (m_site) {
            m_site->Release();
            m_site = nullptr;
        }
        if (m_oleInitialized) {
            ::OleUninitialize();
            m_oleInitialized = false;
        }
    }

    HWND m_host;
    bool m_oleInitialized = false;
    BrowserSite* m_site = nullptr;
    ComPtr<IOleObject> m_object;
    ComPtr<IOleInPlaceObject> m_inPlace;
    ComPtr<IDispatch> m_dispatch;
    std::wstring m_location;
};

}  // namespace

std::unique_ptr<HtmlView> CreateHtmlView(Window& host) {
    auto browser = std::make_unique<BrowserView>(host);
    if (browser->Start()) {
        return browser;
    }
    return CreateStandInHtmlView(host);
}

}  // namespace platform
