// Another computer on the network, as a link server sees one: a network
// namespace of its own, joined to this one by a pair of virtual Ethernet
// links on a /30 of 10.254.0.0/16 picked from the process id, made by the
// test and removed at its end. Programs run "on" it through
// `ip netns exec`. Making one needs root and the ip tool; where that fails,
// why() says so and the test skips with it.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "TestEnvironment.h"

namespace kt64::test {

class OtherComputer {
public:
    OtherComputer() {
        if (::geteuid() != 0) {
            why_ = "making a network namespace needs root";
            return;
        }
        const unsigned tag = static_cast<unsigned>(::getpid()) % 16000;
        const std::string net = "10.254." + std::to_string(tag / 64) + ".";
        const unsigned host = (tag % 64) * 4;
        here_ = net + std::to_string(host + 1);
        there_ = net + std::to_string(host + 2);
        name_ = "kt64-test-" + std::to_string(::getpid());
        link_ = "kt64h" + std::to_string(::getpid());
        const std::string peer = "kt64o" + std::to_string(::getpid());
        const std::vector<std::vector<std::string>> steps = {
            {"netns", "add", name_},
            {"link", "add", link_, "type", "veth", "peer", "name", peer},
            {"link", "set", peer, "netns", name_},
            {"addr", "add", here_ + "/30", "dev", link_},
            {"link", "set", link_, "up"},
            {"-n", name_, "addr", "add", there_ + "/30", "dev", peer},
            {"-n", name_, "link", "set", peer, "up"},
            {"-n", name_, "link", "set", "lo", "up"},
        };
        for (const auto& step : steps) {
            const auto outcome = ip(step);
            if (outcome.code != 0) {
                why_ = "cannot make a network namespace (ip " + step[0] + " " + step[1] + ": " + outcome.err + ")";
                return;
            }
            made_ = true;  // from the first step on, there is something to remove
        }
    }
    ~OtherComputer() {
        if (!made_) return;
        ip({"link", "del", link_});
        ip({"netns", "del", name_});
    }
    OtherComputer(const OtherComputer&) = delete;
    OtherComputer& operator=(const OtherComputer&) = delete;

    // Empty when the computer is there.
    const std::string& why() const { return why_; }
    // This computer's address as the other one reaches it, and the other's.
    const std::string& here() const { return here_; }
    const std::string& there() const { return there_; }

    // Runs a program on the other computer.
    kt64::test::ProgramOutcome run(std::vector<std::string> words) const {
        words.insert(words.begin(), {"netns", "exec", name_});
        return ip(std::move(words));
    }

private:
    kt64::test::ProgramOutcome ip(std::vector<std::string> words) const {
        words.insert(words.begin(), "/usr/sbin/ip");
        return kt64::test::runProgram(std::move(words), scratch_.path());
    }

    TempDir scratch_;
    std::string why_, here_, there_, name_, link_;
    bool made_ = false;
};

}  // namespace kt64::test
