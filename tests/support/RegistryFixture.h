// The registry tests' fixture: a private registry for one test whose store
// sits in a subfolder that does not exist yet (opening must create it).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "TestEnvironment.h"

namespace kt64::test {

class RegistryFixture : public ::testing::Test {
protected:
    kt64::test::TempRegistry registry_{"var/registry.db"};
    std::filesystem::path dir_ = registry_.dir();
    std::filesystem::path store_ = registry_.file();
};

}  // namespace kt64::test
