// Instant links over the emulated centre's frame logic.
#include "FakeCentre.h"

#include <algorithm>
#include <thread>

#include "SerialPortError.h"

namespace kt64::test {

class FakeLink final : public serial::ByteLink {
public:
    explicit FakeLink(FakeCentre& centre) : centre_(centre) {}
    std::size_t read(std::span<std::uint8_t> buffer) override { return centre_.read(buffer); }
    std::size_t write(std::span<const std::uint8_t> bytes) override { return centre_.write(bytes); }
    void discardInput() override { centre_.discardInput(); }

private:
    FakeCentre& centre_;
};

FakeCentre::FakeCentre(sim::CentreSettings settings)
    : centre_(settings, std::make_shared<sim::ManualTimeSource>(sim::utcTime(2024, 5, 17, 12, 34, 56))) {}

sim::CentreSettings FakeCentre::defaultSettings() {
    sim::CentreSettings s;
    s.startGmt = sim::utcTime(2024, 5, 17, 12, 34, 56);
    return s;
}

std::unique_ptr<serial::ByteLink> FakeCentre::open(int portNumber) {
    ++opens_;
    lastPort_ = portNumber;
    if (int e = openError.load()) throw serial::SerialPortError(e);
    std::lock_guard lock(mutex_);
    answers_.clear();
    return std::make_unique<FakeLink>(*this);
}

std::size_t FakeCentre::read(std::span<std::uint8_t> buffer) {
    if (auto delay = readDelay.load(); delay.count() > 0) std::this_thread::sleep_for(delay);
    if (int e = ioError.load()) throw serial::SerialPortError(e);
    std::lock_guard lock(mutex_);
    const auto n = std::min(buffer.size(), answers_.size());
    std::copy_n(answers_.begin(), n, buffer.begin());
    answers_.erase(answers_.begin(), answers_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

std::size_t FakeCentre::write(std::span<const std::uint8_t> bytes) {
    if (int e = ioError.load()) throw serial::SerialPortError(e);
    if (bytes.size() > 1) {
        int code = bytes[1];
        if (failWriteOf.compare_exchange_strong(code, -1)) {
            std::lock_guard lock(mutex_);
            // Half a frame is no request: the centre drops it.
            written_.emplace_back(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
            throw serial::SerialPortError(EIO);
        }
    }
    std::lock_guard lock(mutex_);
    written_.emplace_back(bytes.begin(), bytes.end());
    for (auto& answer : centre_.receive(bytes))
        answers_.insert(answers_.end(), answer.bytes.begin(), answer.bytes.end());
    return bytes.size();
}

void FakeCentre::discardInput() {
    if (int e = ioError.load()) throw serial::SerialPortError(e);
    std::lock_guard lock(mutex_);
    answers_.clear();
}

std::vector<link::Bytes> FakeCentre::written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

std::vector<std::uint8_t> FakeCentre::commands() const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint8_t> codes;
    for (const auto& frame : written_)
        if (frame.size() > 1) codes.push_back(frame[1]);
    return codes;
}

}  // namespace kt64::test
