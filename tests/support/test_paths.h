// Where the tests find the build's programs and a fresh scratch directory.
#pragma once

#include <string>

namespace zeltest {

// The top of the build tree (where libzel32.so, zeld and zelft are).
std::string BuildDir();
std::string SourceDir();

// A new empty directory under the system's temporary directory, removed
// with everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

}  // namespace zeltest
