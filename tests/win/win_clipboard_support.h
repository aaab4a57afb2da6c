#pragma once

// Helpers for tests that drive Wine's real clipboard, bridged to the X server named by DISPLAY.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/bytes.h"

namespace zovrel::test {

// Empty when the tests can run; else why not (no X display, no xclip).
std::string ClipboardTestsUnavailable();

#define ZOVREL_REQUIRE_CLIPBOARD()                                     \
    do {                                                               \
        std::string why = ::zovrel::test::ClipboardTestsUnavailable(); \
        if (!why.empty())                                              \
            GTEST_SKIP() << why;                                       \
    } while (0)

// Sets the X side of the clipboard from another X client (xclip), as UTF-8 text.
bool XclipSetText(const std::string& utf8);
// What an X client reads from the clipboard as `target` (xclip -o).
std::string XclipGet(const std::string& target = "UTF8_STRING");

// Processes this thread's messages for `ms` milliseconds.
void PumpMessages(DWORD ms);
// Processes messages until `done` holds or `ms` pass; true when it held.
bool PumpUntil(const std::function<bool()>& done, DWORD ms);

// One clipboard format with its data; no data means delayed rendering.
struct FormatData {
    UINT format;
    Bytes data;
    bool delayed = false;
};

Bytes Utf16Bytes(const std::wstring& text);  // with its NUL
Bytes DwordBytes(uint32_t value);

// Another program: a window on its own thread that owns the clipboard, the way a password manager
// puts a secret there.
class OtherClipboardOwner {
  public:
    OtherClipboardOwner();
    ~OtherClipboardOwner();
    // Empties the clipboard and puts the formats on it; true when every one was taken.
    bool Put(const std::vector<FormatData>& formats);
    // Opens the clipboard and keeps it open until Release.
    bool Hold();
    void Release();

  private:
    void Run();
    bool Call(std::function<bool()> work);

    std::thread thread_;
    HWND window_ = nullptr;
    HANDLE ready_ = nullptr;
    DWORD threadId_ = 0;
};

}  // namespace zovrel::test
