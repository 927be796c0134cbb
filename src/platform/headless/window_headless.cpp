// Windows of the headless backend: every window is a record in one process-wide table guarded by
// one mutex; each thread that owns windows (or sends to one) has a message queue; a top-level
// window paints into an image of its own size, its children into their part of it. Synthetic
// input (window_input.h) is implemented here too, since it walks the same table.
//
// Locking: the table, every queue and every record are guarded by State::mutex. Window procedures
// and pre-translation hooks are always called with the mutex released; the record of a window is
// only removed on its own thread, so a procedure found under the lock stays valid while that
// thread calls it.
//
// Where this differs from Win32: there is no frame and no non-client area besides what
// WM_NCHITTEST answers; a minimised window keeps its client size (WM_SIZE still reports
// SIZE_MINIMIZED); the pointer leaving a window is checked at every synthetic pointer move and at
// TrackMouseLeave, also while the window holds the capture.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/debug.h"
#include "platform/headless/headless_internal.h"
#include "platform/text.h"
#include "platform/window.h"
#include "platform/window_input.h"

namespace platform {

struct WindowAccess {
    static void SetHandle(Window& w, WindowHandle h) { w.m_handle = h; }
    static void NcDestroyed(Window& w) {
        w.m_handle = nullptr;
        w.PostNcDestroy();
    }
};

namespace {

using headless::Image;
using headless::kMaxImageSide;
using headless::ToPixel;

struct ThreadQueue;

struct SendRequest {
    WindowHandle target = nullptr;
    unsigned message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
    LResult result = 0;
    bool done = false;
    std::shared_ptr<ThreadQueue> sender;
};

struct IdleWaiter {
    WindowHandle target = nullptr;
    bool done = false;
    std::shared_ptr<ThreadQueue> waiter;
};

struct Posted {
    Message msg;
    std::function<void()> task;  // internal work for the owning thread; no message is seen
};

struct ThreadQueue {
    std::thread::id thread;
    bool alive = true;
    std::deque<Posted> posted;
    std::deque<SendRequest*> sent;
    bool quit = false;
    int quitCode = 0;
    std::vector<std::shared_ptr<IdleWaiter>> idleWaiters;
    std::condition_variable cv;
};

struct WindowRec {
    uintptr_t id = 0;
    Window* object = nullptr;
    std::shared_ptr<ThreadQueue> queue;
    WindowRec* parent = nullptr;
    std::vector<WindowRec*> children;  // bottom first
    Rect rect;                         // parent client coordinates, or screen coordinates
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int controlId = 0;
    bool minimized = false;
    std::wstring text;
    Rect invalid;  // client coordinates
    bool erase = false;
    bool beganPaint = false;
    bool trackLeave = false;
    bool hasColorKey = false;
    uint32_t colorKey = 0;
    IconHandle icons[2] = {nullptr, nullptr};
    std::shared_ptr<Image> surface;  // top-level windows only
};

struct DragState {
    WindowRec* window = nullptr;
    Point start;
    Point origin;
};

struct State {
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::unique_ptr<WindowRec>> windows;
    std::vector<WindowRec*> topLevels;  // bottom first
    uintptr_t nextId = 0x10010;
    WindowRec* focus = nullptr;
    WindowRec* capture = nullptr;
    WindowRec* active = nullptr;
    Point pointer;
    bool leftDown = false;
    DragState drag;
    Size screen{1024, 768};
};

// Never destroyed: threads may still post while the process ends.
State& S() {
    static State* state = new State();
    return *state;
}

using Lock = std::unique_lock<std::mutex>;

WindowHandle ToHandle(uintptr_t id) {
    return reinterpret_cast<WindowHandle>(id);
}
WindowHandle HandleOf(const WindowRec* rec) {
    return rec ? ToHandle(rec->id) : nullptr;
}

WindowRec* Find(WindowHandle h) {
    auto it = S().windows.find(reinterpret_cast<uintptr_t>(h));
    return it == S().windows.end() ? nullptr : it->second.get();
}

void Retire(const std::shared_ptr<ThreadQueue>& q);

struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (queue)
            Retire(queue);
    }
};
thread_local QueueHolder t_queue;

// The calling thread's queue; made on first use. Must be called without the lock held only the
// first time, which every public entry point guarantees by calling it before locking.
std::shared_ptr<ThreadQueue> CurrentQueue() {
    if (!t_queue.queue) {
        auto q = std::make_shared<ThreadQueue>();
        q->thread = std::this_thread::get_id();
        t_queue.queue = q;
    }
    return t_queue.queue;
}

bool OnThisThread(const WindowRec* rec) {
    return rec->queue->thread == std::this_thread::get_id();
}

void Retire(const std::shared_ptr<ThreadQueue>& q) {
    Lock lock(S().mutex);
    q->alive = false;
    for (SendRequest* req : q->sent) {
        req->result = 0;
        req->done = true;
        req->sender->cv.notify_all();
    }
    q->sent.clear();
    for (auto& w : q->idleWaiters) {
        w->done = true;
        w->waiter->cv.notify_all();
    }
    q->idleWaiters.clear();
    q->posted.clear();
}

LResult CallProc(Window* w, unsigned message, WParam wParam, LParam lParam) {
    try {
        return w->WindowProc(message, wParam, lParam);
    } catch (const std::exception& e) {
        DebugOutput(L"window procedure failed: " + Utf8ToWide(e.what()));
    } catch (...) {
        DebugOutput(L"window procedure failed");
    }
    return 0;
}

bool IsShown(const WindowRec* rec) {
    for (const WindowRec* r = rec; r; r = r->parent) {
        if (!(r->style & WS_VISIBLE) || r->minimized)
            return false;
    }
    return true;
}

WindowRec* TopOf(WindowRec* rec) {
    while (rec->parent)
        rec = rec->parent;
    return rec;
}

// Offset of the window's client origin inside its top-level window.
Point OffsetInTop(const WindowRec* rec) {
    Point p;
    for (const WindowRec* r = rec; r->parent; r = r->parent) {
        p.x += r->rect.left;
        p.y += r->rect.top;
    }
    return p;
}

Point ScreenOrigin(const WindowRec* rec) {
    Point p;
    for (const WindowRec* r = rec; r; r = r->parent) {
        p.x += r->rect.left;
        p.y += r->rect.top;
    }
    return p;
}

Rect ClientOf(const WindowRec* rec) {
    return {0, 0, rec->rect.Width(), rec->rect.Height()};
}

bool IsWithin(const WindowRec* rec, const WindowRec* ancestor) {
    for (const WindowRec* r = rec; r; r = r->parent) {
        if (r == ancestor)
            return true;
    }
    return false;
}

void Wake(const WindowRec* rec) {
    rec->queue->cv.notify_all();
}

// Adds a client area to the invalid area of the window and of the children it covers.
void InvalidateRec(WindowRec* rec, const Rect& area, bool erase) {
    const Rect r = area.Intersect(ClientOf(rec));
    if (r.IsEmpty())
        return;
    rec->invalid = rec->invalid.Union(r);
    rec->erase = rec->erase || erase;
    for (WindowRec* child : rec->children) {
        const Rect part = r.Intersect(child->rect);
        if (!part.IsEmpty()) {
            InvalidateRec(child, part.Offset(-child->rect.left, -child->rect.top), erase);
        }
    }
    Wake(rec);
}

bool PostLocked(WindowRec* rec, unsigned message, WParam wParam, LParam lParam) {
    ThreadQueue& q = *rec->queue;
    if (!q.alive)
        return false;
    // The owner only waits for posted messages when it has none, so only the first one of a
    // burst (progress after every chunk of a download) needs to wake it.
    const bool wasEmpty = q.posted.empty();
    q.posted.push_back({Message{HandleOf(rec), message, wParam, lParam, S().pointer}, nullptr});
    if (wasEmpty)
        q.cv.notify_all();
    return true;
}

void PostTaskLocked(WindowRec* rec, std::function<void()> task) {
    if (!rec->queue->alive)
        return;
    rec->queue->posted.push_back({Message{}, std::move(task)});
    Wake(rec);
}

// Handles the oldest message sent to the queue; called with the lock held, returns with it held.
void HandleOneSent(Lock& lock, ThreadQueue& q) {
    SendRequest* req = q.sent.front();
    q.sent.pop_front();
    WindowRec* rec = Find(req->target);
    Window* object = rec ? rec->object : nullptr;
    const unsigned message = req->message;
    const WParam wParam = req->wParam;
    const LParam lParam = req->lParam;
    lock.unlock();
    const LResult result = object ? CallProc(object, message, wParam, lParam) : 0;
    lock.lock();
    req->result = result;
    req->done = true;
    req->sender->cv.notify_all();
}

// Waits until *done, handling what other threads send to this thread meanwhile.
void WaitHandlingSent(Lock& lock, ThreadQueue& me, const bool& done) {
    while (!done) {
        if (!me.sent.empty()) {
            HandleOneSent(lock, me);
            continue;
        }
        me.cv.wait(lock);
    }
}

WindowRec* PaintCandidateIn(WindowRec* rec, const ThreadQueue* q) {
    if (!(rec->style & WS_VISIBLE) || rec->minimized)
        return nullptr;
    if (rec->queue.get() == q && !rec->invalid.IsEmpty())
        return rec;
    for (WindowRec* child : rec->children) {
        if (WindowRec* found = PaintCandidateIn(child, q))
            return found;
    }
    return nullptr;
}

WindowRec* PaintCandidate(const ThreadQueue* q) {
    for (WindowRec* top : S().topLevels) {
        if (WindowRec* found = PaintCandidateIn(top, q))
            return found;
    }
    return nullptr;
}

void SignalIdle(ThreadQueue& q) {
    for (auto& w : q.idleWaiters) {
        w->done = true;
        w->waiter->cv.notify_all();
    }
    q.idleWaiters.clear();
}

enum class Taken { kMessage, kQuit, kNothing };

// Takes the next message of the queue. Only a blocking take tells idle waiters that the thread
// has nothing to do: a loop that merely peeks may still have work of its own to do.
Taken TakeNext(Lock& lock, ThreadQueue& q, Message& msg, bool block) {
    for (;;) {
        if (!q.sent.empty()) {
            HandleOneSent(lock, q);
            continue;
        }
        if (!q.posted.empty()) {
            Posted p = std::move(q.posted.front());
            q.posted.pop_front();
            if (p.task) {
                lock.unlock();
                p.task();
                lock.lock();
                continue;
            }
            msg = p.msg;
            return Taken::kMessage;
        }
        if (q.quit) {
            if (!block)
                return Taken::kNothing;
            q.quit = false;
            msg = Message{nullptr, WM_QUIT, static_cast<WParam>(q.quitCode), 0, S().pointer};
            return Taken::kQuit;
        }
        if (WindowRec* rec = PaintCandidate(&q)) {
            msg = Message{HandleOf(rec), WM_PAINT, 0, 0, S().pointer};
            return Taken::kMessage;
        }
        if (!block)
            return Taken::kNothing;
        SignalIdle(q);
        q.cv.wait(lock);
    }
}

// Removes a destroyed window's record; everything waiting on it is let go.
void RemoveRecord(Lock& lock, WindowRec* rec) {
    (void)lock;
    State& s = S();
    const WindowHandle h = HandleOf(rec);
    if (rec->parent) {
        auto& siblings = rec->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), rec), siblings.end());
        InvalidateRec(rec->parent, rec->rect, false);
    } else {
        s.topLevels.erase(std::remove(s.topLevels.begin(), s.topLevels.end(), rec),
                          s.topLevels.end());
    }
    if (s.focus == rec)
        s.focus = nullptr;
    if (s.capture == rec)
        s.capture = nullptr;
    if (s.active == rec)
        s.active = nullptr;
    if (s.drag.window == rec)
        s.drag = {};
    ThreadQueue& q = *rec->queue;
    for (auto it = q.sent.begin(); it != q.sent.end();) {
        if ((*it)->target == h) {
            (*it)->result = 0;
            (*it)->done = true;
            (*it)->sender->cv.notify_all();
            it = q.sent.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = q.idleWaiters.begin(); it != q.idleWaiters.end();) {
        if ((*it)->target == h) {
            (*it)->done = true;
            (*it)->waiter->cv.notify_all();
            it = q.idleWaiters.erase(it);
        } else {
            ++it;
        }
    }
    s.windows.erase(rec->id);
}

std::vector<WindowHandle> ChildHandles(WindowHandle h) {
    Lock lock(S().mutex);
    std::vector<WindowHandle> out;
    if (WindowRec* rec = Find(h)) {
        for (WindowRec* c : rec->children)
            out.push_back(HandleOf(c));
    }
    return out;
}

Window* ObjectOf(WindowHandle h) {
    Lock lock(S().mutex);
    WindowRec* rec = Find(h);
    return rec ? rec->object : nullptr;
}

void SendDestroy(WindowHandle h) {
    if (Window* w = ObjectOf(h))
        CallProc(w, WM_DESTROY, 0, 0);
    for (WindowHandle c : ChildHandles(h))
        SendDestroy(c);
}

void SendNcDestroyAndRemove(WindowHandle h) {
    for (WindowHandle c : ChildHandles(h))
        SendNcDestroyAndRemove(c);
    Window* w = ObjectOf(h);
    if (!w)
        return;
    CallProc(w, WM_NCDESTROY, 0, 0);
    {
        Lock lock(S().mutex);
        if (WindowRec* rec = Find(h))
            RemoveRecord(lock, rec);
    }
    WindowAccess::NcDestroyed(*w);
}

Size ClampSize(const Rect& r) {
    return {std::clamp(r.Width(), 0, kMaxImageSide), std::clamp(r.Height(), 0, kMaxImageSide)};
}

void ResizeSurface(WindowRec* rec) {
    const Size size = ClampSize(rec->rect);
    auto fresh = std::make_shared<Image>(size.cx, size.cy);
    if (rec->surface) {
        const Image& old = *rec->surface;
        const int w = std::min(old.width, fresh->width), h = std::min(old.height, fresh->height);
        for (int y = 0; y < h; ++y) {
            std::copy_n(old.pixels.data() + static_cast<size_t>(y) * old.width, w,
                        fresh->pixels.data() + static_cast<size_t>(y) * fresh->width);
        }
    }
    rec->surface = std::move(fresh);
}

// The deepest shown, enabled window under a screen point; a colour-keyed pixel lets the point
// through to the window below.
WindowRec* WindowAtLocked(Point p) {
    State& s = S();
    for (auto it = s.topLevels.rbegin(); it != s.topLevels.rend(); ++it) {
        WindowRec* top = *it;
        if (!(top->style & WS_VISIBLE) || top->minimized || !top->rect.Contains(p))
            continue;
        if (top->hasColorKey && top->surface &&
            top->surface->At(p.x - top->rect.left, p.y - top->rect.top) == top->colorKey) {
            continue;
        }
        if (top->style & WS_DISABLED)
            return nullptr;
        WindowRec* current = top;
        Point local{p.x - top->rect.left, p.y - top->rect.top};
        for (bool descended = true; descended;) {
            descended = false;
            for (auto c = current->children.rbegin(); c != current->children.rend(); ++c) {
                WindowRec* child = *c;
                if (!(child->style & WS_VISIBLE) || !child->rect.Contains(local))
                    continue;
                if (child->style & WS_DISABLED)
                    break;
                local = {local.x - child->rect.left, local.y - child->rect.top};
                current = child;
                descended = true;
                break;
            }
        }
        return current;
    }
    return nullptr;
}

void PostLeaveMessages(WindowRec* under, std::vector<WindowHandle>& touched) {
    for (auto& [id, rec] : S().windows) {
        if (rec->trackLeave && rec.get() != under) {
            rec->trackLeave = false;
            PostLocked(rec.get(), WM_MOUSELEAVE, 0, 0);
            touched.push_back(HandleOf(rec.get()));
        }
    }
}

void SetFocusTo(WindowRec* target) {
    WindowHandle oldHandle, newHandle;
    {
        Lock lock(S().mutex);
        if (S().focus == target)
            return;
        oldHandle = HandleOf(S().focus);
        S().focus = target;
        newHandle = HandleOf(target);
        if (target)
            S().active = TopOf(target);
    }
    if (oldHandle)
        SendToWindow(oldHandle, WM_KILLFOCUS, reinterpret_cast<WParam>(newHandle), 0);
    if (newHandle)
        SendToWindow(newHandle, WM_SETFOCUS, reinterpret_cast<WParam>(oldHandle), 0);
}

}  // namespace

// ---- by handle ---------------------------------------------------------------------------------

bool IsWindowAlive(WindowHandle window) {
    if (!window)
        return false;
    Lock lock(S().mutex);
    WindowRec* rec = Find(window);
    return rec != nullptr && rec->queue->alive;
}

bool PostToWindow(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    if (!window)
        return false;
    Lock lock(S().mutex);
    WindowRec* rec = Find(window);
    return rec != nullptr && PostLocked(rec, message, wParam, lParam);
}

LResult SendToWindow(WindowHandle window, unsigned message, WParam wParam, LParam lParam) {
    if (!window)
        return 0;
    auto me = CurrentQueue();
    Lock lock(S().mutex);
    WindowRec* rec = Find(window);
    if (!rec || !rec->queue->alive)
        return 0;
    if (OnThisThread(rec)) {
        Window* object = rec->object;
        lock.unlock();
        return CallProc(object, message, wParam, lParam);
    }
    SendRequest req{window, message, wParam, lParam, 0, false, me};
    rec->queue->sent.push_back(&req);
    Wake(rec);
    WaitHandlingSent(lock, *me, req.done);
    return req.result;
}

void PostQuit(int exitCode) {
    auto q = CurrentQueue();
    Lock lock(S().mutex);
    q->quit = true;
    q->quitCode = exitCode;
    q->cv.notify_all();
}

bool WaitNextMessage(Message& msg) {
    auto q = CurrentQueue();
    Lock lock(S().mutex);
    return TakeNext(lock, *q, msg, true) == Taken::kMessage;
}

bool TryNextMessage(Message& msg, bool* quit) {
    auto q = CurrentQueue();
    Lock lock(S().mutex);
    const Taken taken = TakeNext(lock, *q, msg, false);
    if (quit)
        *quit = taken == Taken::kNothing && q->quit;
    return taken == Taken::kMessage;
}

int ProcessPendingMessages() {
    int handled = 0;
    Message msg;
    while (TryNextMessage(msg)) {
        if (!PreTranslate(msg))
            Dispatch(msg);
        ++handled;
    }
    auto q = CurrentQueue();
    Lock lock(S().mutex);
    if (q->sent.empty() && q->posted.empty() && !PaintCandidate(q.get()))
        SignalIdle(*q);
    return handled;
}

bool PreTranslate(Message& msg) {
    WindowHandle h = msg.window;
    while (h) {
        Window* object;
        WindowHandle parent;
        {
            Lock lock(S().mutex);
            WindowRec* rec = Find(h);
            if (!rec || !OnThisThread(rec))
                return false;
            object = rec->object;
            parent = HandleOf(rec->parent);
        }
        try {
            if (object->PreTranslateMessage(msg))
                return true;
        } catch (...) {
            DebugOutput(L"message pre-translation failed");
            return true;
        }
        h = parent;
    }
    return false;
}

LResult Dispatch(const Message& msg) {
    if (!msg.window)
        return 0;
    Window* object;
    {
        Lock lock(S().mutex);
        WindowRec* rec = Find(msg.window);
        if (!rec || !OnThisThread(rec))
            return 0;
        object = rec->object;
        if (msg.message == WM_PAINT)
            rec->beganPaint = false;
    }
    const LResult result = CallProc(object, msg.message, msg.wParam, msg.lParam);
    if (msg.message == WM_PAINT) {
        Lock lock(S().mutex);
        WindowRec* rec = Find(msg.window);
        if (rec && !rec->beganPaint) {
            rec->invalid = {};
            rec->erase = false;
        }
    }
    return result;
}

// ---- window objects ----------------------------------------------------------------------------

Window::Window() = default;

Window::~Window() {
    Destroy();
}

Window* Window::FromHandle(WindowHandle handle) {
    Lock lock(S().mutex);
    WindowRec* rec = Find(handle);
    return rec && OnThisThread(rec) ? rec->object : nullptr;
}

bool Window::Create(const WindowSpec& desc) {
    if (m_handle)
        return false;
    auto q = CurrentQueue();
    WindowHandle handle;
    {
        Lock lock(S().mutex);
        State& s = S();
        WindowRec* parent = nullptr;
        if (desc.parent) {
            parent = Find(desc.parent->m_handle);
            if (!parent || !OnThisThread(parent))
                return false;
        }
        if ((desc.style & WS_CHILD) && !parent)
            return false;
        auto rec = std::make_unique<WindowRec>();
        rec->id = s.nextId;
        s.nextId += 4;
        rec->object = this;
        rec->queue = q;
        rec->parent = parent;
        const Size size = ClampSize(desc.rect);
        rec->rect = Rect::FromSize(desc.rect.TopLeft(), size);
        rec->style = desc.style;
        rec->exStyle = desc.exStyle;
        rec->controlId = desc.id;
        rec->text = desc.text;
        if (parent) {
            parent->children.push_back(rec.get());
        } else {
            ResizeSurface(rec.get());
            s.topLevels.push_back(rec.get());
        }
        handle = HandleOf(rec.get());
        s.windows.emplace(rec->id, std::move(rec));
    }
    m_handle = handle;
    if (CallProc(this, WM_CREATE, 0, reinterpret_cast<LParam>(&desc)) == -1) {
        Destroy();
        return false;
    }
    if (!Exists())
        return false;
    const Rect r = WindowRectInParent();
    CallProc(this, WM_SIZE, SIZE_RESTORED, PackPoint({r.Width(), r.Height()}));
    CallProc(this, WM_MOVE, 0, PackPoint(r.TopLeft()));
    Lock lock(S().mutex);
    if (WindowRec* rec = Find(handle)) {
        if (rec->style & WS_VISIBLE) {
            InvalidateRec(rec, ClientOf(rec), true);
            if (!rec->parent)
                S().active = rec;
        }
    }
    return true;
}

void Window::Destroy() {
    const WindowHandle h = m_handle;
    if (!h)
        return;
    if (!IsWindowAlive(h)) {
        // The thread that owned it has ended; only the record is left to drop.
        Lock lock(S().mutex);
        if (WindowRec* rec = Find(h)) {
            for (WindowRec* c : rec->children)
                c->parent = nullptr;
            RemoveRecord(lock, rec);
        }
        m_handle = nullptr;
        return;
    }
    SendDestroy(h);
    SendNcDestroyAndRemove(h);
    m_handle = nullptr;
}

Window* Window::Parent() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec && rec->parent ? rec->parent->object : nullptr;
}

int Window::Id() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec ? rec->controlId : 0;
}

Window* Window::Child(int id) const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    if (!rec)
        return nullptr;
    for (WindowRec* c : rec->children) {
        if (c->controlId == id)
            return c->object;
    }
    return nullptr;
}

std::vector<Window*> Window::Children() const {
    Lock lock(S().mutex);
    std::vector<Window*> out;
    if (WindowRec* rec = Find(m_handle)) {
        for (WindowRec* c : rec->children)
            out.push_back(c->object);
    }
    return out;
}

LResult Window::WindowProc(unsigned message, WParam wParam, LParam lParam) {
    return DefaultProc(message, wParam, lParam);
}

bool Window::PreTranslateMessage(Message&) {
    return false;
}

LResult Window::DefaultProc(unsigned message, WParam wParam, LParam lParam) {
    switch (message) {
        case WM_NCHITTEST:
            return WindowRect().Contains(UnpackPoint(lParam)) ? HTCLIENT : HTNOWHERE;
        case WM_NCLBUTTONDOWN:
            if (wParam == static_cast<WParam>(HTCAPTION)) {
                Lock lock(S().mutex);
                WindowRec* rec = Find(m_handle);
                if (rec && S().leftDown) {
                    WindowRec* top = TopOf(rec);
                    S().drag = {top, S().pointer, top->rect.TopLeft()};
                    S().active = top;
                }
            }
            return 0;
        case WM_PAINT: {
            PaintScope paint(*this);
            return 0;
        }
        case WM_ERASEBKGND:
            if (wParam)
                reinterpret_cast<Canvas*>(wParam)->Fill(ClientRect(), Rgb(240, 240, 240));
            return 1;
        case WM_CLOSE:
            Destroy();
            return 0;
        case WM_SETTEXT: {
            Lock lock(S().mutex);
            if (WindowRec* rec = Find(m_handle)) {
                rec->text = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
            }
            return 1;
        }
        case WM_SETICON:
        case WM_GETICON: {
            Lock lock(S().mutex);
            WindowRec* rec = Find(m_handle);
            if (!rec)
                return 0;
            IconHandle& slot = rec->icons[wParam == ICON_BIG ? 1 : 0];
            const IconHandle previous = slot;
            if (message == WM_SETICON)
                slot = reinterpret_cast<IconHandle>(lParam);
            return reinterpret_cast<LResult>(previous);
        }
        default:
            return 0;
    }
}

void Window::Invalidate() {
    Invalidate(ClientRect());
}

void Window::Invalidate(const Rect& clientRect) {
    Lock lock(S().mutex);
    if (WindowRec* rec = Find(m_handle))
        InvalidateRec(rec, clientRect, false);
}

void Window::PaintNow() {
    {
        Lock lock(S().mutex);
        WindowRec* rec = Find(m_handle);
        if (!rec || rec->invalid.IsEmpty() || !IsShown(rec))
            return;
    }
    Dispatch(Message{m_handle, WM_PAINT, 0, 0, input::PointerPosition()});
}

Rect Window::InvalidArea() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec ? rec->invalid : Rect{};
}

Rect Window::ClientRect() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec ? ClientOf(rec) : Rect{};
}

Rect Window::WindowRect() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    if (!rec)
        return {};
    return Rect::FromSize(ScreenOrigin(rec), rec->rect.GetSize());
}

Rect Window::WindowRectInParent() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec ? rec->rect : Rect{};
}

void Window::Move(const Rect& rect, bool repaint) {
    bool moved = false, resized = false;
    Rect now;
    {
        Lock lock(S().mutex);
        WindowRec* rec = Find(m_handle);
        if (!rec)
            return;
        const Rect old = rec->rect;
        now = Rect::FromSize(rect.TopLeft(), ClampSize(rect));
        moved = now.TopLeft() != old.TopLeft();
        resized = now.GetSize() != old.GetSize();
        rec->rect = now;
        if (!rec->parent && resized)
            ResizeSurface(rec);
        if (repaint) {
            const bool grew = now.Width() > old.Width() || now.Height() > old.Height();
            InvalidateRec(rec, ClientOf(rec), grew);
            if (rec->parent && (moved || resized))
                InvalidateRec(rec->parent, old, false);
        }
    }
    if (moved)
        Send(WM_MOVE, 0, PackPoint(now.TopLeft()));
    if (resized)
        Send(WM_SIZE, SIZE_RESTORED, PackPoint({now.Width(), now.Height()}));
}

void Window::CenterOnScreen() {
    Rect area;
    Rect r;
    bool child;
    {
        Lock lock(S().mutex);
        WindowRec* rec = Find(m_handle);
        if (!rec)
            return;
        child = rec->parent != nullptr;
        area = child ? ClientOf(rec->parent) : Rect{0, 0, S().screen.cx, S().screen.cy};
        r = rec->rect;
    }
    const Point topLeft{area.left + (area.Width() - r.Width()) / 2,
                        area.top + (area.Height() - r.Height()) / 2};
    Move(Rect::FromSize(topLeft, r.GetSize()), child);
}

Point Window::ScreenToClient(Point p) const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    if (!rec)
        return p;
    const Point o = ScreenOrigin(rec);
    return {p.x - o.x, p.y - o.y};
}

Point Window::ClientToScreen(Point p) const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    if (!rec)
        return p;
    const Point o = ScreenOrigin(rec);
    return {p.x + o.x, p.y + o.y};
}

void Window::Show(ShowCommand command) {
    bool wasVisible, nowVisible, sizeMessage = false;
    unsigned sizeKind = SIZE_RESTORED;
    Size size;
    bool dropFocus = false;
    {
        Lock lock(S().mutex);
        WindowRec* rec = Find(m_handle);
        if (!rec)
            return;
        wasVisible = (rec->style & WS_VISIBLE) != 0;
        const bool wasMinimized = rec->minimized;
        switch (command) {
            case ShowCommand::kHide:
                rec->style &= ~WS_VISIBLE;
                break;
            case ShowCommand::kShow:
                rec->style |= WS_VISIBLE;
                break;
            case ShowCommand::kShowNormal:
            case ShowCommand::kRestore:
                rec->style |= WS_VISIBLE;
                if (!rec->parent)
                    rec->minimized = false;
                break;
            case ShowCommand::kMinimize:
                rec->style |= WS_VISIBLE;
                if (!rec->parent)
                    rec->minimized = true;
                break;
        }
        nowVisible = (rec->style & WS_VISIBLE) != 0;
        if (rec->minimized != wasMinimized) {
            sizeMessage = true;
            sizeKind = rec->minimized ? SIZE_MINIMIZED : SIZE_RESTORED;
            size = rec->rect.GetSize();
        }
        State& s = S();
        if (!nowVisible || rec->minimized) {
            if (s.focus && IsWithin(s.focus, rec))
                dropFocus = true;
            if (s.capture && IsWithin(s.capture, rec))
                s.capture = nullptr;
            if (s.active == rec)
                s.active = nullptr;
        } else if (!rec->parent && command != ShowCommand::kShow) {
            s.active = rec;
            s.topLevels.erase(std::remove(s.topLevels.begin(), s.topLevels.end(), rec),
                              s.topLevels.end());
            s.topLevels.push_back(rec);
        }
        if (nowVisible && (!wasVisible || (wasMinimized && !rec->minimized))) {
            InvalidateRec(rec, ClientOf(rec), true);
        }
        if (wasVisible && !nowVisible && rec->parent)
            InvalidateRec(rec->parent, rec->rect, false);
    }
    if (dropFocus)
        SetFocusTo(nullptr);
    if (wasVisible != nowVisible)
        Send(WM_SHOWWINDOW, nowVisible ? 1 : 0, 0);
    if (sizeMessage)
        Send(WM_SIZE, sizeKind, PackPoint({size.cx, size.cy}));
}

bool Window::IsVisible() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    if (!rec)
        return false;
    for (const WindowRec* r = rec; r; r = r->parent) {
        if (!(r->style & WS_VISIBLE))
            return false;
    }
    return true;
}

bool Window::IsIconic() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec && rec->minimized;
}

void Window::Enable(bool enable) {
    bool changed = false, dropFocus = false;
    {
        Lock lock(S().mutex);
        WindowRec* rec = Find(m_handle);
        if (!rec)
            return;
        const bool was = !(rec->style & WS_DISABLED);
        if (was == enable)
            return;
        changed = true;
        if (enable) {
            rec->style &= ~WS_DISABLED;
        } else {
            rec->style |= WS_DISABLED;
            if (S().focus && IsWithin(S().focus, rec))
                dropFocus = true;
            if (S().capture == rec)
                S().capture = nullptr;
        }
    }
    if (dropFocus)
        SetFocusTo(nullptr);
    if (changed)
        Send(WM_ENABLE, enable ? 1 : 0, 0);
}

bool Window::IsEnabled() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec && !(rec->style & WS_DISABLED);
}

void Window::SetText(std::wstring_view text) {
    const std::wstring copy(text);
    Send(WM_SETTEXT, 0, reinterpret_cast<LParam>(copy.c_str()));
}

std::wstring Window::Text() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec ? rec->text : std::wstring();
}

uint32_t Window::Style() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec ? rec->style : 0;
}

uint32_t Window::ExStyle() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec ? rec->exStyle : 0;
}

void Window::SetExStyle(uint32_t exStyle) {
    Lock lock(S().mutex);
    if (WindowRec* rec = Find(m_handle))
        rec->exStyle = exStyle;
}

void Window::SetColorKey(Color key) {
    Lock lock(S().mutex);
    if (WindowRec* rec = Find(m_handle)) {
        rec->exStyle |= WS_EX_LAYERED;
        rec->hasColorKey = true;
        rec->colorKey = ToPixel(key);
    }
}

void Window::SetFocus() {
    WindowRec* rec;
    {
        Lock lock(S().mutex);
        rec = Find(m_handle);
        if (!rec)
            return;
    }
    SetFocusTo(rec);
}

bool Window::HasFocus() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec && S().focus == rec;
}

WindowHandle Window::FocusWindow() {
    Lock lock(S().mutex);
    return HandleOf(S().focus);
}

void Window::SetCapture() {
    Lock lock(S().mutex);
    if (WindowRec* rec = Find(m_handle))
        S().capture = rec;
}

void Window::ReleaseCapture() {
    WindowHandle previous;
    {
        Lock lock(S().mutex);
        previous = HandleOf(S().capture);
        S().capture = nullptr;
        if (!previous)
            return;
        std::vector<WindowHandle> touched;
        PostLeaveMessages(WindowAtLocked(S().pointer), touched);
    }
    SendToWindow(previous, WM_CAPTURECHANGED, 0, 0);
}

bool Window::HasCapture() const {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    return rec && S().capture == rec;
}

void Window::TrackMouseLeave() {
    Lock lock(S().mutex);
    WindowRec* rec = Find(m_handle);
    if (!rec)
        return;
    if (WindowAtLocked(S().pointer) == rec) {
        rec->trackLeave = true;
    } else {
        rec->trackLeave = false;
        PostLocked(rec, WM_MOUSELEAVE, 0, 0);
    }
}

void Window::BringToFront() {
    if (IsIconic())
        Show(ShowCommand::kShowNormal);
    WindowRec* focusTarget = nullptr;
    {
        Lock lock(S().mutex);
        WindowRec* rec = Find(m_handle);
        if (!rec)
            return;
        WindowRec* top = TopOf(rec);
        State& s = S();
        s.topLevels.erase(std::remove(s.topLevels.begin(), s.topLevels.end(), top),
                          s.topLevels.end());
        s.topLevels.push_back(top);
        s.active = top;
        if (!s.focus || !IsWithin(s.focus, top))
            focusTarget = top;
    }
    if (focusTarget)
        SetFocusTo(focusTarget);
}

// ---- painting ----------------------------------------------------------------------------------

namespace {

Canvas MakePaintCanvas(Window& window, Rect& area, bool& erase) {
    auto impl = std::make_unique<Canvas::Impl>();
    Lock lock(S().mutex);
    WindowRec* rec = Find(window.Handle());
    if (!rec)
        return Canvas(std::move(impl));
    area = rec->invalid;
    erase = rec->erase;
    rec->invalid = {};
    rec->erase = false;
    rec->beganPaint = true;
    const WindowRec* top = TopOf(rec);
    const Point origin = OffsetInTop(rec);
    // What of the window is inside every ancestor's client area, in the top window's pixels.
    Rect visible = Rect::FromSize(origin, rec->rect.GetSize());
    for (const WindowRec* r = rec->parent; r; r = r->parent) {
        visible = visible.Intersect(Rect::FromSize(OffsetInTop(r), r->rect.GetSize()));
    }
    impl->image = top->surface;
    impl->origin = origin;
    impl->clip = area.Offset(origin.x, origin.y).Intersect(visible);
    return Canvas(std::move(impl));
}

}  // namespace

PaintScope::PaintScope(Window& window) : m_window(window), m_canvas(nullptr) {
    bool erase = false;
    m_canvas = MakePaintCanvas(window, m_area, erase);
    if (erase)
        m_window.Send(WM_ERASEBKGND, reinterpret_cast<WParam>(&m_canvas), 0);
}

PaintScope::~PaintScope() = default;

// ---- synthetic input ---------------------------------------------------------------------------

namespace input {

Size ScreenSize() {
    Lock lock(S().mutex);
    return S().screen;
}

void SetScreenSize(Size size) {
    Lock lock(S().mutex);
    S().screen = size;
}

Point PointerPosition() {
    Lock lock(S().mutex);
    return S().pointer;
}

WindowHandle ActiveWindow() {
    Lock lock(S().mutex);
    return HandleOf(S().active);
}

void WaitUntilIdle(WindowHandle window) {
    auto me = CurrentQueue();
    Lock lock(S().mutex);
    WindowRec* rec = Find(window);
    if (!rec || rec->queue == me || !rec->queue->alive)
        return;
    auto waiter = std::make_shared<IdleWaiter>();
    waiter->target = window;
    waiter->waiter = me;
    rec->queue->idleWaiters.push_back(waiter);
    Wake(rec);
    WaitHandlingSent(lock, *me, waiter->done);
}

namespace {

void WaitAll(std::vector<WindowHandle> handles) {
    std::sort(handles.begin(), handles.end());
    handles.erase(std::unique(handles.begin(), handles.end()), handles.end());
    for (WindowHandle h : handles)
        WaitUntilIdle(h);
}

// Posts the pointer message of kind (move, down, up) for the target: a client message when the
// target holds the capture or its hit test answers HTCLIENT, a non-client one otherwise.
enum class PointerKind { kMove, kDown, kUp };

void PostPointerMessage(WindowHandle target, bool captured, PointerKind kind, Point screen,
                        bool leftDown) {
    const int hit =
        captured ? HTCLIENT
                 : static_cast<int>(SendToWindow(target, WM_NCHITTEST, 0, PackPoint(screen)));
    Lock lock(S().mutex);
    WindowRec* rec = Find(target);
    if (!rec)
        return;
    if (hit == HTCLIENT) {
        const Point o = ScreenOrigin(rec);
        const LParam where = PackPoint({screen.x - o.x, screen.y - o.y});
        switch (kind) {
            case PointerKind::kMove:
                PostLocked(rec, WM_MOUSEMOVE, leftDown ? MK_LBUTTON : 0, where);
                break;
            case PointerKind::kDown:
                PostLocked(rec, WM_LBUTTONDOWN, MK_LBUTTON, where);
                break;
            case PointerKind::kUp:
                PostLocked(rec, WM_LBUTTONUP, 0, where);
                break;
        }
    } else {
        const unsigned message = kind == PointerKind::kMove   ? WM_NCMOUSEMOVE
                                 : kind == PointerKind::kDown ? WM_NCLBUTTONDOWN
                                                              : WM_NCLBUTTONUP;
        PostLocked(rec, message, static_cast<WParam>(hit), PackPoint(screen));
    }
}

}  // namespace

void MovePointer(Point screen) {
    std::vector<WindowHandle> touched;
    WindowHandle target = nullptr;
    bool captured = false, leftDown = false;
    {
        Lock lock(S().mutex);
        State& s = S();
        s.pointer = screen;
        leftDown = s.leftDown;
        if (s.drag.window) {
            WindowRec* top = s.drag.window;
            const Rect moved = Rect::FromSize({s.drag.origin.x + screen.x - s.drag.start.x,
                                               s.drag.origin.y + screen.y - s.drag.start.y},
                                              top->rect.GetSize());
            const WindowHandle h = HandleOf(top);
            PostTaskLocked(top, [h, moved] {
                if (Window* w = Window::FromHandle(h))
                    w->Move(moved, false);
            });
            touched.push_back(h);
        } else {
            WindowRec* under = WindowAtLocked(screen);
            PostLeaveMessages(under, touched);
            WindowRec* rec = s.capture ? s.capture : under;
            captured = s.capture != nullptr;
            target = HandleOf(rec);
        }
    }
    if (target) {
        PostPointerMessage(target, captured, PointerKind::kMove, screen, leftDown);
        touched.push_back(target);
    }
    WaitAll(touched);
}

void PressLeft() {
    WindowHandle target;
    bool captured;
    Point where;
    {
        Lock lock(S().mutex);
        State& s = S();
        s.leftDown = true;
        WindowRec* rec = s.capture ? s.capture : WindowAtLocked(s.pointer);
        captured = s.capture != nullptr;
        if (rec)
            s.active = TopOf(rec);
        target = HandleOf(rec);
        where = s.pointer;
    }
    if (!target)
        return;
    PostPointerMessage(target, captured, PointerKind::kDown, where, true);
    WaitUntilIdle(target);
}

void ReleaseLeft() {
    WindowHandle target;
    bool captured;
    Point where;
    {
        Lock lock(S().mutex);
        State& s = S();
        s.leftDown = false;
        if (s.drag.window) {
            s.drag = {};
            return;
        }
        WindowRec* rec = s.capture ? s.capture : WindowAtLocked(s.pointer);
        captured = s.capture != nullptr;
        target = HandleOf(rec);
        where = s.pointer;
    }
    if (!target)
        return;
    PostPointerMessage(target, captured, PointerKind::kUp, where, false);
    WaitUntilIdle(target);
}

void ClickAt(Point screen) {
    MovePointer(screen);
    PressLeft();
    ReleaseLeft();
}

void PressKey(unsigned virtualKey) {
    WindowHandle target;
    {
        Lock lock(S().mutex);
        WindowRec* rec = S().focus ? S().focus : S().active;
        if (!rec)
            return;
        PostLocked(rec, WM_KEYDOWN, virtualKey, 1);
        PostLocked(rec, WM_KEYUP, virtualKey, static_cast<LParam>(0xC0000001u));
        target = HandleOf(rec);
    }
    WaitUntilIdle(target);
}

Bitmap CaptureWindow(WindowHandle window) {
    int width = 0, height = 0;
    std::vector<Color> pixels;
    {
        Lock lock(S().mutex);
        WindowRec* rec = Find(window);
        if (!rec)
            return Bitmap();
        const WindowRec* top = TopOf(rec);
        const Point o = OffsetInTop(rec);
        width = rec->rect.Width();
        height = rec->rect.Height();
        pixels.reserve(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                pixels.push_back(headless::FromPixel(top->surface->At(o.x + x, o.y + y)));
            }
        }
    }
    if (width <= 0 || height <= 0)
        return Bitmap();
    return Bitmap::FromPixels(width, height, pixels);
}

}  // namespace input

}  // namespace platform
