// server_test.hpp - the fixture of test suites that run the real program:
// one private X server for the whole suite, started before its first test
// and stopped after its last.
#pragma once

#include <gtest/gtest.h>

#include "x_harness.hpp"

namespace xharness {

class ServerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = new XServer(); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    inline static XServer* server = nullptr;
};

}  // namespace xharness
