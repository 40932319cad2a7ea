// A throw-away registry store for one test: a fresh folder under /tmp that
// KT64_REGISTRY points into while the test runs, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace kt64::testing {

class TempRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "kt64reg-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        // A subfolder that does not exist yet: opening must create it.
        store_ = dir_ / "var" / "registry.db";
        ::setenv("KT64_REGISTRY", store_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("KT64_REGISTRY");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::filesystem::path dir_;
    std::filesystem::path store_;
};

}  // namespace kt64::testing
