// What the end-to-end tests of zelft share: zelft run as a process with its
// output and exit code captured, against a zeld on a loopback port serving
// a scratch tree.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_paths.h"
#include "support/zeld_process.h"

namespace zelfttest {

using zeltest::BinaryContent;
using zeltest::ChildProcess;
using zeltest::FreePort;
using zeltest::HashPassword;
using zeltest::ProcessResult;
using zeltest::ReadFile;
using zeltest::RunOptions;
using zeltest::RunProgram;
using zeltest::ScratchDir;
using zeltest::WriteFile;
using zeltest::ZeldOptions;
using zeltest::ZeldPath;
using zeltest::ZeldServer;

std::string ZelftPath();

// zelft with these arguments.
ProcessResult RunZelft(const std::vector<std::string>& arguments, const RunOptions& options = {});

// A test against a zeld started for it, with a local scratch directory.
class ZelftEndToEnd : public ::testing::Test {
protected:
    explicit ZelftEndToEnd(ZeldOptions options = {}) : server(std::move(options)) {}
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
    }
    std::string Local(const std::string& name) const { return local / name; }

    ZeldServer server;
    ScratchDir local;
};

}  // namespace zelfttest
