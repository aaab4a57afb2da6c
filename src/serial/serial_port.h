#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zovrel {

// Fixed line settings of the device link: 2000000 baud, 8 data bits, no parity, 1 stop bit, no
// hardware or software flow control, DTR and RTS on.
inline constexpr uint32_t SERIAL_BAUD_RATE = 2000000;
inline constexpr uint32_t SERIAL_QUEUE_SIZE = 8192;  // driver queues, each direction
// Longest wait of one Read with no data: the reader's pass while anything is under way (a frame
// half-received, a transfer either way), and the longer one while the line is quiet. A read
// returns as soon as bytes arrive either way; the quiet wait keeps an idle program from waking
// twenty times a second, which costs a measurable share of a core under Wine.
inline constexpr uint32_t SERIAL_READ_WAIT_MS = 50;
inline constexpr uint32_t SERIAL_IDLE_READ_WAIT_MS = 200;
inline constexpr uint32_t SERIAL_WRITE_TIMEOUT_MS = 5000;  // longest time one WriteAll may take

// One serial port. Windows names are port names ("COM3"); native names are device paths
// ("/dev/ttyUSB0", "/dev/pts/3", a symlink to one; a bare "ttyUSB0" means /dev/ttyUSB0).
//
// Threads: Read may run on one thread while WriteAll, IsAlive or Purge run on another (the
// reader polls while the sender writes). Open and Close must not overlap any other call; the
// owner serialises them with its own lock.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Opens the port exclusively and configures it (line settings above, read and write bounds),
    // then discards whatever both driver queues hold. Closes a port this object had open before.
    // On failure returns false, leaves the port closed and stores the system error code
    // (GetLastError on Windows, errno elsewhere) in *errorCode when given.
    virtual bool Open(const std::wstring& name, uint32_t* errorCode = nullptr) = 0;

    // Closes the port; does nothing when it is closed.
    virtual void Close() = 0;

    virtual bool IsOpen() const = 0;

    // Reads up to `capacity` bytes into `buffer`. Returns as soon as any bytes are there (so the
    // reader adds no latency), or after at most `waitMs` with *received = 0 when none arrive.
    // Returns false when the read failed (closed port, I/O error); a failed read is not itself
    // proof of a lost port: IsAlive decides.
    virtual bool Read(uint8_t* buffer, size_t capacity, size_t* received, uint32_t waitMs) = 0;

    // Writes every byte, waiting at most SERIAL_WRITE_TIMEOUT_MS in total, then flushes the
    // driver's buffers. True only when all `size` bytes were written; an empty range is false.
    virtual bool WriteAll(const uint8_t* data, size_t size) = 0;

    // False when the port is closed, or the system reports the device gone or in error
    // (ClearCommError fails on Windows; a hang-up, error or failing ioctl elsewhere).
    virtual bool IsAlive() = 0;

    // Discards both driver queues (unsent output and unread input).
    virtual void Purge() = 0;
};

// The serial port of this platform (Win32 or termios), closed.
std::unique_ptr<SerialPort> CreateSystemSerialPort();

}  // namespace zovrel
