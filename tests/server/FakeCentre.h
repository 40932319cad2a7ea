// A centre for worker tests without any device: the emulated centre's frame
// logic (sim::Centre) behind a PortOpener whose links answer instantly. A
// request's answer is readable as soon as the request is written; silence
// reads as 0 bytes at once instead of after the port's time-out. Tests can
// make the open fail or make a link's I/O fail (a device pulled out) with a
// given errno, and read the log of every frame the server wrote.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "Centre.h"
#include "CentreCalendar.h"
#include "PortOpener.h"

namespace kt64::test {

class FakeCentre final : public server::PortOpener {
public:
    explicit FakeCentre(sim::CentreSettings settings = defaultSettings());

    std::unique_ptr<serial::ByteLink> open(int portNumber) override;

    // errno for the next opens (0 = open succeeds).
    std::atomic<int> openError{0};
    // errno for every read and write of open links (0 = they work).
    std::atomic<int> ioError{0};
    // The next write of a frame with this command code fails with EIO after
    // half the frame has gone out (-1 = none): the device vanished mid-frame.
    std::atomic<int> failWriteOf{-1};
    // Time each read takes, as if the answer were on its way.
    std::atomic<std::chrono::milliseconds> readDelay{std::chrono::milliseconds(0)};

    // Every frame the server wrote, in order.
    std::vector<link::Bytes> written() const;
    // The command codes (byte 1) of the written frames.
    std::vector<std::uint8_t> commands() const;
    int opens() const { return opens_.load(); }
    int lastPort() const { return lastPort_.load(); }

    template <class F>
    auto withCentre(F&& f) {
        std::lock_guard lock(mutex_);
        return f(centre_);
    }

    static sim::CentreSettings defaultSettings();

private:
    friend class FakeLink;
    std::size_t read(std::span<std::uint8_t> buffer);
    std::size_t write(std::span<const std::uint8_t> bytes);
    void discardInput();

    mutable std::mutex mutex_;
    sim::Centre centre_;
    std::deque<std::uint8_t> answers_;
    std::vector<link::Bytes> written_;
    std::atomic<int> opens_{0};
    std::atomic<int> lastPort_{0};
};

}  // namespace kt64::test
