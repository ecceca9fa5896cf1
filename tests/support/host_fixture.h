// A test fixture that installs a fresh simulated host for each test, so that
// message boxes and quit messages can be asserted.
#pragma once

#include <gtest/gtest.h>

#include "platform/sim/sim_host.h"

class HostTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The one box shown so far; fails the test if there is not exactly one.
    const sim::MessageBoxRecord& onlyBox() const;

    sim::SimHost host;
};
