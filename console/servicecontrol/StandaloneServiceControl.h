// The stand-alone path of the service control: the program HoralService9x
// in a given folder (the console's own program folder), started detached
// with the start-up marker "Orvu" as its only argument, found by scanning
// the processes for its file name and stopped with SIGTERM (on which it
// logs its stop and exits). State 4 while a process of it exists, 1 otherwise.
#pragma once

#include <chrono>
#include <filesystem>

#include "SyncServiceControl.h"

namespace kt64::servicecontrol {

class StandaloneServiceControl final : public SyncServiceControl {
public:
    explicit StandaloneServiceControl(std::filesystem::path programFolder,
                                      std::chrono::milliseconds stopWait = std::chrono::milliseconds(3000));

    // false when the program cannot be executed (missing, not executable).
    bool start() override;
    // false when no process of the program exists. Waits up to stopWait for
    // the terminated processes to end, so that a query right after shows it.
    bool stop() override;
    int state() override;

    const std::filesystem::path& program() const { return program_; }

private:
    std::filesystem::path program_;
    std::chrono::milliseconds stopWait_;
};

}  // namespace kt64::servicecontrol
