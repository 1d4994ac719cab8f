// What the end-to-end tests of the library share: links opened through the
// public interface to a real zeld on loopback, the notifications they make,
// the listing they leave, and the sample files they copy.
#pragma once

#include <gtest/gtest.h>
#include <zel32.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/host_link.h"
#include "support/test_paths.h"
#include "support/zeld_process.h"

namespace e2etest {

using zeltest::BinaryContent;
using zeltest::HashPassword;
using zeltest::ReadFile;
using zeltest::ScratchDir;
using zeltest::WriteFile;
using zeltest::ZeldOptions;
using zeltest::ZeldServer;

// The biggest file the copies move: 100 MiB, less where the sanitizers make
// every byte slow.
#ifdef ZEL_E2E_LIGHT
constexpr size_t kLargeFileSize = size_t{16} << 20;
#else
constexpr size_t kLargeFileSize = size_t{100} << 20;
#endif

struct Notification {
    uint32_t status = 0;
    intptr_t spoolFile = 0;
    std::string text;
};

using LinkOptions = zeltest::HostLinkOptions;

// A link whose notifications are kept, for the test to read.
class Link : public zeltest::HostLink {
public:
    explicit Link(const std::string& node, const LinkOptions& options = {});
    ~Link() override;

    // The notifications of this link's operations, in order.
    std::vector<Notification> notifications() const;
    // The listing of the last RfaDir: the list buffer, or the spool file the
    // notification named (read and removed).
    std::string Listing() const;
    int32_t Download(const std::string& remote, const std::string& local, uint16_t mode) const;
    int32_t Upload(const std::string& local, const std::string& remote, uint16_t mode) const;
    int32_t Close() override;
};

// A test against a zeld of its own, with a local scratch directory. The
// list buffer is registered before every test; after it the server must
// stop cleanly (exit code 0: no sanitizer report, no hang).
class EndToEnd : public ::testing::Test {
protected:
    explicit EndToEnd(ZeldOptions options = {}) : server(std::move(options)) {}
    void SetUp() override;
    void TearDown() override;
    std::string Local(const std::string& name) const { return local / name; }
    // A link to the server, asserted open.
    std::unique_ptr<Link> Connect(const LinkOptions& options = {}) const;

    ZeldServer server;
    ScratchDir local;
};

// Names the test of one personality after it ("stream", "records").
std::string PersonalityName(const ::testing::TestParamInfo<std::string>& personality);

// Whether two contents are the same bytes; on a difference, where it is.
::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual);

// Lines of printable text, each ending in CR LF, `size` bytes in all (a
// single byte is a line without its end).
std::string CrLfText(size_t size, unsigned seed);

// The names a directory holds, sorted ("." and ".." left out).
std::vector<std::string> DirectoryNames(const std::string& path);

// Sets a file's access and modification times.
void SetFileTime(const std::string& path, time_t when);

}  // namespace e2etest
