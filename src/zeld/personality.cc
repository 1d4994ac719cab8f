#include "zeld/personality.h"

namespace zeld {
namespace {

// File system and operating system numbers of the Configuration message.
constexpr uint8_t kFilesysStream = 10;
constexpr uint8_t kFilesysRecords = 3;
constexpr uint8_t kOstypeUnix = 18;
constexpr uint8_t kOstypeRecords = 7;

constexpr uint8_t kRfmFixed = 1;
constexpr uint8_t kRfmVariable = 2;
constexpr uint8_t kRfmVariableWithControl = 3;
constexpr uint8_t kRfmStream = 4;
constexpr uint8_t kRatFortran = 0x01;
constexpr uint8_t kRatImpliedLineEnd = 0x02;
constexpr uint8_t kRatPrint = 0x04;
constexpr uint16_t kImageRecordSize = 512;

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

bool EndsWithNoCase(std::string_view text, std::string_view ending) {
    if (text.size() < ending.size()) return false;
    return Upper(text.substr(text.size() - ending.size())) == Upper(ending);
}

std::string_view WithoutVersion(std::string_view name) {
    const size_t semicolon = name.find(';');
    return semicolon == std::string_view::npos ? name : name.substr(0, semicolon);
}

}  // namespace

uint8_t FileSystemCode(Personality personality) {
    return personality == Personality::kStream ? kFilesysStream : kFilesysRecords;
}

uint8_t OsTypeCode(Personality personality) {
    return personality == Personality::kStream ? kOstypeUnix : kOstypeRecords;
}

std::string PresentedName(Personality personality, std::string_view realName, bool isDirectory) {
    if (personality == Personality::kStream) return std::string(realName);
    return ComparisonKey(personality, realName, isDirectory) + ";1";
}

std::string ComparisonKey(Personality personality, std::string_view name, bool isDirectory) {
    if (personality == Personality::kStream) return std::string(name);
    std::string key = Upper(WithoutVersion(name));
    if (isDirectory) return key + ".DIR";
    if (key.find('.') == std::string::npos) key += '.';
    return key;
}

std::string NameToCreate(Personality personality, std::string_view name, bool isDirectory) {
    if (personality == Personality::kStream) return std::string(name);
    std::string_view bare = WithoutVersion(name);
    if (isDirectory && EndsWithNoCase(bare, ".DIR")) bare.remove_suffix(4);
    return std::string(bare);
}

std::string PresentedDirectory(Personality personality, const std::vector<std::string>& realPath) {
    std::string text;
    if (personality == Personality::kStream) {
        text = "/";
        for (const std::string& part : realPath) text += part + "/";
        return text;
    }
    if (realPath.empty()) return "[000000]";
    text = "[";
    for (size_t i = 0; i < realPath.size(); ++i) {
        if (i != 0) text += '.';
        text += Upper(realPath[i]);
    }
    return text + "]";
}

std::string PresentedSpec(Personality personality, const std::vector<std::string>& realPath,
                          std::string_view realName, bool isDirectory) {
    if (personality == Personality::kRecords) {
        return PresentedDirectory(personality, realPath) + PresentedName(personality, realName, isDirectory);
    }
    std::string text;
    for (const std::string& part : realPath) text += part + "/";
    return text + std::string(realName);
}

Presentation PresentFile(Personality personality, std::string_view realName, bool image, Purpose purpose) {
    Presentation p;
    p.dataType = image ? 0x02 : 0x01;
    if (personality == Personality::kStream) {
        // Stream files: the client adds and drops nothing, so every copy is
        // byte-exact; a record read gets whole lines for `type`.
        p.rfm = kRfmStream;
        p.lines = purpose == Purpose::kRecordRead;
        p.keepNewline = true;
        return p;
    }
    if (image) {
        // Image access: fixed records of 512 without carriage control, so
        // that the client writes the bytes as they are.
        p.rfm = kRfmFixed;
        p.mrs = kImageRecordSize;
        p.pieceSize = kImageRecordSize;
        return p;
    }
    p.lines = true;
    if (EndsWithNoCase(realName, ".ftn")) {
        p.rfm = kRfmVariable;
        p.rat = kRatFortran;  // the first byte of each line is its carriage control
    } else if (EndsWithNoCase(realName, ".prn")) {
        p.rfm = kRfmVariableWithControl;
        p.rat = kRatPrint;
        p.fsz = 2;
        p.printControls = true;  // a line feed before, a carriage return after
    } else {
        p.rfm = kRfmVariable;
        p.rat = kRatImpliedLineEnd;  // the client adds CR LF
    }
    return p;
}

bool StoresRecordsAsLines(Personality personality, bool image) {
    return personality == Personality::kRecords && !image;
}

}  // namespace zeld
