#include "zelft_harness.h"

namespace zelfttest {

std::string ZelftPath() { return zeltest::BuildDir() + "/zelft"; }

ProcessResult RunZelft(const std::vector<std::string>& arguments, const RunOptions& options) {
    std::vector<std::string> argv = {ZelftPath()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProgram(argv, options);
}

}  // namespace zelfttest
