#include "base/notifier.h"
#include "clipboard/clipboard_watcher.h"

namespace zovrel {

namespace {

constexpr wchar_t WINDOW_CLASS[] = L"ZovrelClipboardWatcher";
constexpr wchar_t WINDOW_TITLE[] = L"zovrel_clipboard_watcher";
constexpr UINT_PTR POLL_TIMER = 1;
constexpr UINT_PTR DEBOUNCE_TIMER = 2;
constexpr UINT POLL_MS = 500;
constexpr UINT DEBOUNCE_MS = 150;

using ListenerFunction = BOOL(WINAPI*)(HWND);

// The format listener exists from Windows Vista on; older systems only have the viewer chain.
ListenerFunction User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"USER32.dll");
    if (user32 == nullptr)
        return nullptr;
    return reinterpret_cast<ListenerFunction>(
        reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

bool RegisterWindowClass(WNDPROC windowProc) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = WINDOW_CLASS;
    return RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

CZovrelClipboardWatcher::CZovrelClipboardWatcher(ClipboardHistory* history,
                                                 Subscription subscription)
    : subscription_(subscription), capture_(source_, history) {}

CZovrelClipboardWatcher::~CZovrelClipboardWatcher() {
    StopWatching();
}

bool CZovrelClipboardWatcher::StartWatching(Notifier* notify) {
    notify_ = notify;
    if (!window_.IsValid()) {
        if (!RegisterWindowClass(&WindowProc))
            return false;
        window_.Reset(CreateWindowExW(0, WINDOW_CLASS, WINDOW_TITLE, 0, 0, 0, 0, 0, nullptr,
                                      nullptr, GetModuleHandleW(nullptr), nullptr));
        if (!window_.IsValid())
            return false;
        SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        source_.SetOwner(window_.Get());
    }
    Subscribe();
    capture_.RecordClipboardSequence();
    SetTimer(window_.Get(), POLL_TIMER, POLL_MS, nullptr);
    // Capture once shortly after start-up: the clipboard may already hold something new.
    SetTimer(window_.Get(), DEBOUNCE_TIMER, DEBOUNCE_MS, nullptr);
    return true;
}

void CZovrelClipboardWatcher::Subscribe() {
    if (listenerMode_ || viewerMode_)
        return;
    if (subscription_ == Subscription::AUTOMATIC) {
        ListenerFunction add = User32Function("AddClipboardFormatListener");
        if (add != nullptr && add(window_.Get())) {
            listenerMode_ = true;
            return;
        }
    }
    viewerMode_ = true;
    nextViewer_ = SetClipboardViewer(window_.Get());
}

void CZovrelClipboardWatcher::StopWatching() {
    if (!window_.IsValid())
        return;
    KillTimer(window_.Get(), POLL_TIMER);
    KillTimer(window_.Get(), DEBOUNCE_TIMER);
    if (viewerMode_) {
        if (nextViewer_ != nullptr)
            ChangeClipboardChain(window_.Get(), nextViewer_);
        nextViewer_ = nullptr;
        viewerMode_ = false;
    }
    if (listenerMode_) {
        ListenerFunction remove = User32Function("RemoveClipboardFormatListener");
        if (remove != nullptr)
            remove(window_.Get());
        listenerMode_ = false;
    }
    SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
    window_.Reset();
    source_.SetOwner(nullptr);
}

void CZovrelClipboardWatcher::CaptureClipboardChange() {
    capture_.CaptureClipboardChange(notify_);
}

void CZovrelClipboardWatcher::RestartDebounce() {
    SetTimer(window_.Get(), DEBOUNCE_TIMER, DEBOUNCE_MS, nullptr);  // replaces a running one
}

LRESULT CALLBACK CZovrelClipboardWatcher::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                     LPARAM lParam) {
    auto* self =
        reinterpret_cast<CZovrelClipboardWatcher*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT CZovrelClipboardWatcher::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLIPBOARDUPDATE:
            RestartDebounce();
            return 0;
        case WM_DRAWCLIPBOARD:
            RestartDebounce();
            if (nextViewer_ != nullptr && nextViewer_ != window_.Get()) {
                SendMessageW(nextViewer_, message, wParam, lParam);
            }
            return 0;
        case WM_CHANGECBCHAIN: {
            auto removed = reinterpret_cast<HWND>(wParam);
            if (removed == nextViewer_) {
                nextViewer_ = reinterpret_cast<HWND>(lParam);
            } else if (nextViewer_ != nullptr && nextViewer_ != window_.Get()) {
                SendMessageW(nextViewer_, message, wParam, lParam);
            }
            break;
        }
        case WM_TIMER:
            if (wParam == POLL_TIMER) {
                if (capture_.PollDue())
                    CaptureClipboardChange();
                return 0;
            }
            if (wParam == DEBOUNCE_TIMER) {
                KillTimer(window_.Get(), DEBOUNCE_TIMER);
                CaptureClipboardChange();
                return 0;
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(window_.Get(), message, wParam, lParam);
}

}  // namespace zovrel
