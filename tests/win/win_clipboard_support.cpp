#include "win/win_clipboard_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zovrel::test {

namespace {

constexpr UINT kRunWork = WM_APP + 1;
constexpr wchar_t kOwnerClass[] = L"ZovrelTestClipboardOwner";

bool FileExists(const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// Starts a Unix program (Wine runs ELF binaries directly). Wine does not let us wait for one,
// so callers watch for its effect instead.
bool StartUnix(const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

std::string Base64(const std::string& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t n = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            n |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            n |= static_cast<uint8_t>(bytes[i + 2]);
        out += kDigits[(n >> 18) & 63];
        out += kDigits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
    }
    return out;
}

// A scratch file both sides can name: Wine maps the Unix root to drive Z:.
std::string ScratchName(const char* what) {
    static int counter = 0;
    char name[128];
    std::snprintf(name, sizeof name, "/tmp/zovrel-wintest-%lu-%d-%s",
                  static_cast<unsigned long>(GetCurrentProcessId()), ++counter, what);
    return name;
}

std::wstring WindowsPathOf(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunWork) {
        auto* work = reinterpret_cast<std::function<bool()>*>(lParam);
        return (*work)() ? 1 : 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::string ClipboardTestsUnavailable() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return "no X display (DISPLAY is not set): the clipboard tests need Xvfb";
    }
    if (!FileExists(L"Z:\\usr\\bin\\xclip"))
        return "xclip is not installed";
    return {};
}

bool XclipSetText(const std::string& utf8) {
    const DWORD before = GetClipboardSequenceNumber();
    // The text travels base64-encoded, so no quoting can go wrong on the way.
    if (!StartUnix(Wide("/bin/sh -c \"printf %s '" + Base64(utf8) +
                        "' | base64 -d | /usr/bin/xclip -selection clipboard -i\""))) {
        return false;
    }
    // Done once Wine has taken the new X selection into its clipboard.
    return PumpUntil([&] { return GetClipboardSequenceNumber() != before; }, 5000);
}

std::string XclipGet(const std::string& target) {
    const std::string file = ScratchName("out");
    // Renamed into place only when complete, so its appearance means xclip is done.
    StartUnix(Wide("/bin/sh -c \"/usr/bin/xclip -selection clipboard -o -t " + target + " > " +
                   file + ".part; mv " + file + ".part " + file + "\""));
    const std::wstring path = WindowsPathOf(file);
    PumpUntil([&] { return FileExists(path.c_str()); }, 5000);
    std::string content;
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (in != nullptr) {
        char buffer[4096];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            content.append(buffer, got);
        std::fclose(in);
    }
    DeleteFileW(path.c_str());
    return content;
}

void PumpMessages(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= ms)
            return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

Bytes Utf16Bytes(const std::wstring& text) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.c_str());
    return Bytes(p, p + (text.size() + 1) * sizeof(wchar_t));
}

Bytes DwordBytes(uint32_t value) {
    Bytes b(4);
    std::memcpy(b.data(), &value, 4);
    return b;
}

OtherClipboardOwner::OtherClipboardOwner() {
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this] { Run(); });
    WaitForSingleObject(ready_, 10000);
}

OtherClipboardOwner::~OtherClipboardOwner() {
    if (threadId_ != 0)
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    if (thread_.joinable())
        thread_.join();
    CloseHandle(ready_);
}

void OtherClipboardOwner::Run() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = OwnerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kOwnerClass;
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, kOwnerClass, L"owner", 0, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // creates the thread's queue
    threadId_ = GetCurrentThreadId();
    SetEvent(ready_);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DestroyWindow(window_);
}

bool OtherClipboardOwner::Call(std::function<bool()> work) {
    return SendMessageW(window_, kRunWork, 0, reinterpret_cast<LPARAM>(&work)) != 0;
}

bool OtherClipboardOwner::Put(const std::vector<FormatData>& formats) {
    return Call([&] {
        if (!OpenClipboard(window_))
            return false;
        bool ok = EmptyClipboard() != 0;
        for (const FormatData& f : formats) {
            HGLOBAL block = nullptr;
            if (!f.delayed) {
                block = GlobalAlloc(GMEM_MOVEABLE, f.data.empty() ? 1 : f.data.size());
                void* p = GlobalLock(block);
                if (!f.data.empty())
                    std::memcpy(p, f.data.data(), f.data.size());
                GlobalUnlock(block);
            }
            if (SetClipboardData(f.format, block) == nullptr && !f.delayed)
                ok = false;
        }
        CloseClipboard();
        return ok;
    });
}

bool OtherClipboardOwner::Hold() {
    return Call([&] { return OpenClipboard(window_) != 0; });
}

void OtherClipboardOwner::Release() {
    Call([] { return CloseClipboard() != 0; });
}

}  // namespace zovrel::test
