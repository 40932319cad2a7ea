// Small helpers shared by the tests, benchmarks and tools: a temporary
// folder removed with everything in it when the test ends, a temporary
// registry (KT64_REGISTRY) and other environment variables restored when the
// test ends, polling for a condition with a generous deadline (the machine is
// shared; timings are never asserted tightly), and the seed of a random test.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

namespace kt64::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kt64-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Sets an environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A fresh registry file for the scope, at store inside a temporary folder
// (a store in a subfolder that does not exist yet is created on first use).
class TempRegistry {
public:
    explicit TempRegistry(const std::filesystem::path& store = "registry.db")
        : file_(dir_.path() / store), env_("KT64_REGISTRY", file_.string()) {}
    const std::filesystem::path& file() const { return file_; }
    const std::filesystem::path& dir() const { return dir_.path(); }

private:
    TempDir dir_;
    std::filesystem::path file_;
    ScopedEnv env_;
};

// The whole text of a file as a test compares or shows it; "" when it
// cannot be read (the comparison then says what was missing).
inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Polls pred every 20 ms until it holds or timeout passes. (The rigs around
// the link server always polled at this pace; at 5 ms the console frame
// test's service dialog failed to load in two runs of three.)
template <class Pred>
bool eventually(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The seed of a random test: KT64_TEST_SEED when it is set, to repeat a
// failed run, else a fresh one. Printed either way, so that the log of a
// failed run says how to repeat it.
inline unsigned testSeed(const char* what) {
    const char* fixed = std::getenv("KT64_TEST_SEED");
    const unsigned seed = fixed != nullptr && *fixed != '\0' ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10))
                                                             : std::random_device{}();
    std::printf("%s: seed %u (KT64_TEST_SEED=%u repeats it)\n", what, seed, seed);
    std::fflush(stdout);
    return seed;
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace kt64::test
