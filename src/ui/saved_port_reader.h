#pragma once

// The saved port as the serial link asks for it. Its reader thread asks on every pass (up to
// twenty a second), and reading the settings file each time costs as much as the rest of the
// idle program together; while the port is open the reader only wants to know whether a port is
// still configured, so it gets the value read last. Every other caller (opening, starting the
// reader, reconnecting while the port is closed) reads the file afresh, so a port chosen in the
// window is always seen before the reader next asks.

#include <functional>
#include <mutex>
#include <string>

namespace zovrel::ui {

class SavedPortReader {
  public:
    // `read` gives the saved port (ReadUartComPort in the program).
    explicit SavedPortReader(std::function<std::wstring()> read);

    // The saved port: read afresh when `fresh` or when nothing was read yet, otherwise the value
    // of the last read. Any thread.
    std::wstring Read(bool fresh);

  private:
    std::function<std::wstring()> read_;
    std::mutex lock_;
    bool valid_ = false;
    std::wstring lastValue_;
};

}  // namespace zovrel::ui
