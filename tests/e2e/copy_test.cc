// RfaCopy against a real zeld, both directions, text and image mode, files
// from empty to the largest size, text with every kind of line end, and
// binary data; each suite states what its personality promises.
#include <stdexcept>
#include <tuple>

#include "e2e_fixture.h"

namespace e2etest {
namespace {

// The sample files. The sized samples are random bytes for an image copy and
// CR LF text for a text copy; the others are the same in both modes.
struct Sample {
    const char* name;
    size_t size;       // for a sized sample
    const char* text;  // for a fixed one (null: sized)
};

const Sample kSamples[] = {
    {"Empty", 0, nullptr},
    {"OneByte", 1, nullptr},
    {"Bytes511", 511, nullptr},
    {"Bytes512", 512, nullptr},
    {"Bytes513", 513, nullptr},
    {"OneMiB", size_t{1} << 20, nullptr},
    {"Largest", kLargeFileSize, nullptr},
    {"CrLfLines", 0, "first line\r\nsecond line\r\n\r\nafter a blank line\r\n"},
    {"LfOnlyLines", 0, "first line\nsecond line\n\nafter a blank line\n"},
    {"NoFinalLineEnd", 0, "first line\r\nthe last line has no end"},
    {"BinaryData", 70000, nullptr},  // random bytes in both modes: NUL, CR, LF, ^Z among them
};

const Sample& SampleNamed(const std::string& name) {
    for (const Sample& sample : kSamples) {
        if (name == sample.name) return sample;
    }
    throw std::invalid_argument("no sample " + name);
}

std::string Content(const std::string& name, uint16_t mode) {
    const Sample& sample = SampleNamed(name);
    if (sample.text != nullptr) return sample.text;
    const unsigned seed = static_cast<unsigned>(sample.size) + 7;
    if (mode == RFA_MODE_TEXT && name != "BinaryData") return CrLfText(sample.size, seed);
    return BinaryContent(sample.size, seed);
}

// What a records server's text download gives for a text file: every line
// ends in CR LF, whether it ended in LF, in CR LF or (the last) in nothing.
std::string AsCrLfRecords(const std::string& content) {
    std::string result;
    size_t start = 0;
    while (start < content.size()) {
        const size_t end = content.find('\n', start);
        std::string line = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        result += line + "\r\n";
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return result;
}

// What a records server stores from a text upload: the client ends a record
// at every CR and drops every LF, and the server keeps each record as a line.
std::string AsStoredLines(const std::string& content) {
    std::string result;
    std::string record;
    for (const char c : content) {
        if (c == '\n') continue;
        if (c == '\r') {
            result += record + "\n";
            record.clear();
        } else {
            record += c;
        }
    }
    if (!record.empty()) result += record + "\n";
    return result;
}

// What a records server stores from an image upload: the client sends
// records of 512 bytes and pads a last record shorter than the record size
// (128 bytes) with zeros, which the server keeps.
std::string AsImageRecords(const std::string& content) {
    constexpr size_t kRecord = 512, kRecordSize = 128;
    const size_t tail = content.size() % kRecord;
    if (tail == 0 || tail >= kRecordSize) return content;
    return content + std::string(kRecordSize - tail, '\0');
}

using CopyCase = std::tuple<std::string, uint32_t, uint16_t>;  // sample, direction, mode

std::string CaseName(const ::testing::TestParamInfo<CopyCase>& info) {
    const auto& [sample, direction, mode] = info.param;
    return sample + (direction == RFA_COPY_DOWNLOAD ? "_Download" : "_Upload") +
           (mode == RFA_MODE_TEXT ? "_Text" : "_Image");
}

const auto kAllSamples = ::testing::Values("Empty", "OneByte", "Bytes511", "Bytes512", "Bytes513", "OneMiB",
                                           "Largest", "CrLfLines", "LfOnlyLines", "NoFinalLineEnd", "BinaryData");
// The samples that are text in text mode.
const auto kTextSamples = ::testing::Values("Empty", "OneByte", "Bytes511", "Bytes512", "Bytes513", "OneMiB",
                                            "Largest", "CrLfLines", "LfOnlyLines", "NoFinalLineEnd");
// The text samples whose every line ends in CR LF.
const auto kCrLfSamples =
    ::testing::Values("Empty", "Bytes511", "Bytes512", "Bytes513", "OneMiB", "Largest", "CrLfLines");
const auto kBothDirections = ::testing::Values(RFA_COPY_DOWNLOAD, RFA_COPY_UPLOAD);
const auto kBothModes = ::testing::Values(uint16_t{RFA_MODE_TEXT}, uint16_t{RFA_MODE_IMAGE});

class Copies : public EndToEnd, public ::testing::WithParamInterface<CopyCase> {
protected:
    explicit Copies(const char* personality) : EndToEnd(ZeldOptions{personality, "", {}}) {}

    // Copies `content` as the case says, between the server's file `remote`
    // and a local file; the copy's result and the target's bytes.
    struct Copied {
        int32_t result = -1;
        std::string target;
    };
    Copied Copy(const std::string& content, const std::string& remote) {
        const auto& [sample, direction, mode] = GetParam();
        std::unique_ptr<Link> link = Connect();
        Copied copied;
        if (direction == RFA_COPY_DOWNLOAD) {
            WriteFile(server.Path(remote), content);
            copied.result = link->Download(remote, Local("copy"), mode);
            copied.target = ReadFile(Local("copy"));
        } else {
            WriteFile(Local("source"), content);
            copied.result = link->Upload(Local("source"), remote, mode);
            copied.target = ReadFile(server.Path(remote));
            // The upload's temporary file has been renamed into place.
            EXPECT_EQ(DirectoryNames(server.root()), std::vector<std::string>{remote});
        }
        const RfaLinkStatus status = link->Look();
        EXPECT_EQ(status.errorCode, RFA_OK) << std::hex << status.errorValue;
        // Bytes read from the local source, or written to the local target.
        const size_t localBytes = direction == RFA_COPY_DOWNLOAD ? copied.target.size() : content.size();
        EXPECT_EQ(status.bytesTransferred, static_cast<uint32_t>(localBytes));
        EXPECT_EQ(status.localFileSize, static_cast<uint32_t>(localBytes));
        EXPECT_EQ(status.localFileSizeKnown, 1u);
        const std::vector<Notification> notifications = link->notifications();
        EXPECT_EQ(notifications.size(), 1u);
        if (!notifications.empty()) {
            EXPECT_EQ(notifications.back().status, 2u);
        }
        return copied;
    }
};

// stream: every copy, text or image, either direction, is byte for byte.
class StreamCopies : public Copies {
protected:
    StreamCopies() : Copies("stream") {}
};

TEST_P(StreamCopies, ArriveByteForByte) {
    const auto& [sample, direction, mode] = GetParam();
    const std::string content = Content(sample, mode);
    const Copied copied = Copy(content, "sample.dat");
    ASSERT_EQ(copied.result, RFA_OK);
    EXPECT_TRUE(SameBytes(content, copied.target));
}

INSTANTIATE_TEST_SUITE_P(AllSamples, StreamCopies, ::testing::Combine(kAllSamples, kBothDirections, kBothModes),
                         CaseName);

class RecordCopies : public Copies {
protected:
    RecordCopies() : Copies("records") {}
};

// records: an image download gives the file's bytes unchanged.
class RecordImageDownloads : public RecordCopies {};

TEST_P(RecordImageDownloads, ArriveByteForByte) {
    const auto& [sample, direction, mode] = GetParam();
    const std::string content = Content(sample, mode);
    const Copied copied = Copy(content, "sample.dat");
    ASSERT_EQ(copied.result, RFA_OK);
    EXPECT_TRUE(SameBytes(content, copied.target));
}

INSTANTIATE_TEST_SUITE_P(AllSamples, RecordImageDownloads,
                         ::testing::Combine(kAllSamples, ::testing::Values(RFA_COPY_DOWNLOAD),
                                            ::testing::Values(uint16_t{RFA_MODE_IMAGE})),
                         CaseName);

// records: an image upload stores the bytes, and the zeros the client pads
// a short last record with.
class RecordImageUploads : public RecordCopies {};

TEST_P(RecordImageUploads, StoreTheBytesWithTheLastRecordPadded) {
    const auto& [sample, direction, mode] = GetParam();
    const std::string content = Content(sample, mode);
    const Copied copied = Copy(content, "sample.dat");
    ASSERT_EQ(copied.result, RFA_OK);
    EXPECT_TRUE(SameBytes(AsImageRecords(content), copied.target));
}

INSTANTIATE_TEST_SUITE_P(AllSamples, RecordImageUploads,
                         ::testing::Combine(kAllSamples, ::testing::Values(RFA_COPY_UPLOAD),
                                            ::testing::Values(uint16_t{RFA_MODE_IMAGE})),
                         CaseName);

// records: a text download turns each line into a record that arrives with
// CR LF: LF-only lines gain the CR, CR LF lines stay as they are, a missing
// final line end is added.
class RecordTextDownloads : public RecordCopies {};

TEST_P(RecordTextDownloads, EndEveryLineWithCrLf) {
    const auto& [sample, direction, mode] = GetParam();
    const std::string content = Content(sample, mode);
    const Copied copied = Copy(content, "sample.txt");
    ASSERT_EQ(copied.result, RFA_OK);
    EXPECT_TRUE(SameBytes(AsCrLfRecords(content), copied.target));
}

INSTANTIATE_TEST_SUITE_P(TextSamples, RecordTextDownloads,
                         ::testing::Combine(kTextSamples, ::testing::Values(RFA_COPY_DOWNLOAD),
                                            ::testing::Values(uint16_t{RFA_MODE_TEXT})),
                         CaseName);

// records: a text upload stores each record as a line; the client cuts
// records at CR and drops LF, so CR LF lines are stored as LF lines and
// LF-only lines arrive joined into one.
class RecordTextUploads : public RecordCopies {};

TEST_P(RecordTextUploads, StoreEachRecordAsALine) {
    const auto& [sample, direction, mode] = GetParam();
    const std::string content = Content(sample, mode);
    const Copied copied = Copy(content, "sample.txt");
    ASSERT_EQ(copied.result, RFA_OK);
    EXPECT_TRUE(SameBytes(AsStoredLines(content), copied.target));
}

INSTANTIATE_TEST_SUITE_P(TextSamples, RecordTextUploads,
                         ::testing::Combine(kTextSamples, ::testing::Values(RFA_COPY_UPLOAD),
                                            ::testing::Values(uint16_t{RFA_MODE_TEXT})),
                         CaseName);

// records: CR LF text sent up and fetched back in text mode comes back
// byte for byte.
class RecordTextRoundTrips : public EndToEnd, public ::testing::WithParamInterface<std::string> {
protected:
    RecordTextRoundTrips() : EndToEnd(ZeldOptions{"records", "", {}}) {}
};

TEST_P(RecordTextRoundTrips, GiveBackTheSameBytes) {
    const std::string content = Content(GetParam(), RFA_MODE_TEXT);
    WriteFile(Local("original.txt"), content);
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(link->Upload(Local("original.txt"), "stored.txt", RFA_MODE_TEXT), RFA_OK);
    ASSERT_EQ(link->Download("STORED.TXT", Local("back.txt"), RFA_MODE_TEXT), RFA_OK);
    EXPECT_TRUE(SameBytes(content, ReadFile(Local("back.txt"))));
}

std::string SampleName(const ::testing::TestParamInfo<std::string>& sample) { return sample.param; }

INSTANTIATE_TEST_SUITE_P(CrLfSamples, RecordTextRoundTrips, kCrLfSamples, SampleName);

}  // namespace
}  // namespace e2etest
