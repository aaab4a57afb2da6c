#pragma once

// The thin bar between the history list and the log pane; reports drags to its owner.

#include "ui/window_base_win32.h"

namespace zovrel::ui {

class SplitterOwner {
  public:
    virtual ~SplitterOwner() = default;
    virtual void OnSplitterDragStart() = 0;
    // `delta`: the pointer's vertical movement in pixels since the last report. The owner moves
    // the bar by the same amount; the bar measures from the point where the drag grabbed it, so
    // it stays under the pointer, also where the owner stops it at a limit.
    virtual void OnSplitterDrag(int direction, int delta) = 0;
    virtual void OnSplitterDragEnd() = 0;
};

class CZovrelPaneSplitter : public WindowBase {
  public:
    CZovrelPaneSplitter() = default;
    ~CZovrelPaneSplitter() override;
    // A visible child of `parent` with an empty rectangle; the owner's layout places it.
    bool CreateSplitter(SplitterOwner* owner, int direction, HWND parent, int id);
    bool IsHot() const { return hot_; }
    bool IsDragging() const { return dragging_; }

  protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void SetHot(bool hot);
    void TrackLeave();
    void EndDrag();
    void Paint(HDC dc);

    SplitterOwner* owner_ = nullptr;
    int direction_ = 0;
    bool hot_ = false;
    bool dragging_ = false;
    // Where the drag grabbed the bar, in the bar's client coordinates.
    int lastY_ = 0;
};

}  // namespace zovrel::ui
