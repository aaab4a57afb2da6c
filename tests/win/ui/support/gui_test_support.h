#pragma once

// What every Wine window test needs: GDI+ and the common controls started once, a message pump
// with a bound, captures of what a window shows, and screenshots for scripts/screenshots.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// A copy of the pixels a window shows (its whole window rectangle, frame included, or only the
// client area).
class CapturedImage {
  public:
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool IsValid() const { return width_ > 0 && height_ > 0; }
    // RGB of the pixel (x, y); black outside the image.
    COLORREF PixelAt(int x, int y) const;
    // Saves as PNG; false on failure.
    bool SavePng(const std::wstring& path) const;

  private:
    friend CapturedImage CaptureWindow(HWND hwnd, bool clientOnly);
    friend CapturedImage CaptureBitmap(HBITMAP bitmap);
    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_;  // 0x00RRGGBB, top-down
};

// Captures through PrintWindow (a window's own painting, children included), so it works for
// windows that are covered or off screen.
CapturedImage CaptureWindow(HWND hwnd, bool clientOnly = true);
// The pixels of a bitmap handle (for results of the image conversion).
CapturedImage CaptureBitmap(HBITMAP bitmap);

// When ZOVREL_SCREENSHOT_DIR is set, saves the window (frame included) as <dir>/<name>.png.
// Does nothing otherwise.
void SaveScreenshot(HWND hwnd, const std::wstring& name);
// The same for pixels captured otherwise (a bitmap from CaptureBitmap, say).
void SaveImageScreenshot(const CapturedImage& image, const std::wstring& name);

// Real input through the X server, for the few tests that need the whole input path (a click
// that Windows turns into messages, focus, capture). The window must be shown and not covered.
// The pointer first goes to the point until the window reports it there (and has stopped
// moving), then the button is clicked; Wine maps its screen 1:1 onto the X screen. Wine starts
// xdotool but gives no handle to wait on, so these return once `arrived` is true (the test's
// proof that the input got there), false after `ms` without it. Needs xdotool (scripts/setup).
bool ClickThroughX(HWND hwnd, POINT clientPoint, const std::function<bool()>& arrived,
                   DWORD ms = 5000);
// Moves the pointer there without clicking (hover, hot tracking).
bool MoveMouseThroughX(HWND hwnd, POINT clientPoint, const std::function<bool()>& arrived,
                       DWORD ms = 5000);

}  // namespace zovrel::test
