#include "e2e_fixture.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <random>

namespace e2etest {
namespace {

constexpr size_t kListBufferSize = 65536;
char listBuffer[kListBufferSize];

struct NotificationBook {
    std::mutex mutex;
    std::map<uint32_t, std::vector<Notification>> byHandle;
};

NotificationBook& Book() {
    static NotificationBook* book = new NotificationBook;
    return *book;
}

int32_t RecordNotification(uint32_t handle, uint32_t status, intptr_t spoolFile, const char* text) {
    NotificationBook& book = Book();
    std::lock_guard<std::mutex> lock(book.mutex);
    book.byHandle[handle].push_back(Notification{status, spoolFile, text != nullptr ? text : ""});
    return 0;
}

void ForgetNotifications(uint32_t handle) {
    NotificationBook& book = Book();
    std::lock_guard<std::mutex> lock(book.mutex);
    book.byHandle.erase(handle);
}

}  // namespace

Link::Link(const std::string& node, const LinkOptions& options) : HostLink(node, options, RecordNotification) {
    // A handle of a link closed earlier may have left notifications behind.
    if (handle() != 0) ForgetNotifications(handle());
}

Link::~Link() { Link::Close(); }

int32_t Link::Close() {
    const int32_t result = HostLink::Close();
    if (handle() != 0) ForgetNotifications(handle());
    return result;
}

std::vector<Notification> Link::notifications() const {
    NotificationBook& book = Book();
    std::lock_guard<std::mutex> lock(book.mutex);
    const auto found = book.byHandle.find(handle());
    return found == book.byHandle.end() ? std::vector<Notification>{} : found->second;
}

std::string Link::Listing() const {
    const std::vector<Notification> all = notifications();
    if (!all.empty() && all.back().spoolFile != 0) {
        const std::string text = ReadFile(all.back().text);
        ::unlink(all.back().text.c_str());
        return text;
    }
    return std::string(listBuffer, ::strnlen(listBuffer, kListBufferSize));
}

int32_t Link::Download(const std::string& remote, const std::string& local, uint16_t mode) const {
    return RfaCopy(handle(), remote.c_str(), local.c_str(), RFA_COPY_DOWNLOAD, mode, nullptr);
}

int32_t Link::Upload(const std::string& local, const std::string& remote, uint16_t mode) const {
    return RfaCopy(handle(), local.c_str(), remote.c_str(), RFA_COPY_UPLOAD, mode, nullptr);
}

void EndToEnd::SetUp() {
    ZelInit(listBuffer, kListBufferSize);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
}

void EndToEnd::TearDown() { EXPECT_EQ(server.Stop(), 0) << server.errors() << server.log(); }

std::unique_ptr<Link> EndToEnd::Connect(const LinkOptions& options) const {
    auto link = std::make_unique<Link>(server.node(), options);
    EXPECT_EQ(link->openResult(), RFA_OK) << "opening a link to " << server.node();
    return link;
}

std::string PersonalityName(const ::testing::TestParamInfo<std::string>& personality) { return personality.param; }

::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    const auto mismatch = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    const size_t at = static_cast<size_t>(mismatch.first - expected.begin());
    auto around = [at](const std::string& text) {
        const size_t from = at < 16 ? 0 : at - 16;
        return ::testing::PrintToString(text.substr(from, 48));
    };
    return ::testing::AssertionFailure() << "expected " << expected.size() << " bytes, got " << actual.size()
                                         << "; first difference at " << at << ": expected " << around(expected)
                                         << ", got " << around(actual);
}

std::string CrLfText(size_t size, unsigned seed) {
    if (size < 2) return std::string(size, 'x');
    std::mt19937 generator(seed);
    std::string text;
    text.reserve(size);
    while (text.size() < size) {
        const size_t left = size - text.size();
        size_t length = generator() % 100;  // empty lines too
        // The last line takes what is left, so that the text ends with its line end.
        if (left - 2 < length + 2) length = left - 2;
        for (size_t i = 0; i < length; ++i) text += static_cast<char>(' ' + generator() % 95);
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> DirectoryNames(const std::string& path) {
    std::vector<std::string> names;
    DIR* directory = ::opendir(path.c_str());
    if (directory == nullptr) return names;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(directory);
    std::sort(names.begin(), names.end());
    return names;
}

void SetFileTime(const std::string& path, time_t when) {
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

}  // namespace e2etest
