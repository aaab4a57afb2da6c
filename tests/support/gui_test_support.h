#pragma once

// What every Wine window test needs: GDI+ and the common controls started once, a message pump
// with a bound, captures of what a window shows, encoded images, and screenshots for
// scripts/screenshots.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"

namespace zovrel::test {

// Base fixture for window tests: starts the common controls and GDI+ once per process and makes
// the process per-monitor DPI aware, as zovrel.exe is through its manifest.
class GuiTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
};

// Runs the message loop until `done` is true or `ms` have passed; true when done.
bool PumpMessages(DWORD ms, const std::function<bool()>& done = {});
// Handles what is already queued, and nothing more.
void PumpPending();

// The DPI the test run asked for (ZOVREL_DPI, 96 when unset).
int TestDpi();

// The font a window was given (WM_SETFONT).
LOGFONTW WindowFont(HWND window);

// Red, green and blue each within `tolerance` (scaling and colour conversion blur them).
bool Near(COLORREF a, COLORREF b, int tolerance = 24);

// A copy of the pixels a window shows (its whole window rectangle, frame included, or only the
// client area).
class CapturedImage {
  public:
    int Width() const { return width_; }
    int Height() const { return height_; }
    std::pair<int, int> Size() const { return {width_, height_}; }
    bool IsValid() const { return width_ > 0 && height_ > 0; }
    // RGB of the pixel (x, y); black outside the image.
    COLORREF PixelAt(int x, int y) const;
    // Saves as PNG; false on failure.
    bool SavePng(const std::wstring& path) const;

  private:
    friend CapturedImage CaptureBitmap(HBITMAP bitmap);
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_;  // 0x..RRGGBB (the top byte is not used), top-down
};

// Captures through PrintWindow (a window's own painting, children included), so it works for
// windows that are covered or off screen.
CapturedImage CaptureWindow(HWND hwnd, bool clientOnly = true);
// What the screen shows of a window (frame included or client area only): children, scroll
// bars and the window manager's frame included, which PrintWindow under Wine leaves out. The
// window must be shown and not covered.
CapturedImage CaptureScreen(HWND hwnd, bool withFrame);
// The pixels of a bitmap handle (for results of the image conversion).
CapturedImage CaptureBitmap(HBITMAP bitmap);

// The PNG file bytes of an image whose pixels are `argb(x, y)` (0xAARRGGBB), made with GDI+'s
// encoder (the same on every Windows and in Wine); empty on failure.
Bytes EncodeImage(int width, int height, const std::function<uint32_t(int x, int y)>& argb);

// When ZOVREL_SCREENSHOT_DIR is set, saves the window (frame included) as <dir>/<name>.png.
// Does nothing otherwise.
void SaveScreenshot(HWND hwnd, const std::wstring& name);
// The same for pixels captured otherwise (from the screen, or a bitmap from CaptureBitmap).
void SaveImageScreenshot(const CapturedImage& image, const std::wstring& name);

}  // namespace zovrel::test
