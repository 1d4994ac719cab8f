// The two ways the server presents its tree, `stream` (plain files, every
// copy byte-exact) and `records` (text files as records, NAME.EXT;1 names):
// what differs between them, names, directory lines and file attributes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zeld {

enum class Personality { kStream, kRecords };

// Values of the server's Configuration message.
uint8_t FileSystemCode(Personality personality);
uint8_t OsTypeCode(Personality personality);

// The name an entry is listed under: the real name (stream), or the upper
// case name with ".DIR" for a directory, "." for a name without one, and the
// version ";1" (records).
std::string PresentedName(Personality personality, std::string_view realName, bool isDirectory);

// What a client's name is compared with: for records the upper-case name
// without version, a "." added to a name that has none, ".DIR" added for a
// directory; for stream the name itself.
std::string ComparisonKey(Personality personality, std::string_view name, bool isDirectory);

// A client's name for an entry to be created: records drop a ";N" version
// and, for directories, a ".DIR" ending.
std::string NameToCreate(Personality personality, std::string_view name, bool isDirectory);

// The listing's directory line: "[A.B]" ("[000000]" for the root) or "/a/b/".
std::string PresentedDirectory(Personality personality, const std::vector<std::string>& realPath);

// A whole file spec for the Name message of an access: "[A.B]NAME.EXT;1"
// or "a/b/name".
std::string PresentedSpec(Personality personality, const std::vector<std::string>& realPath,
                          std::string_view realName, bool isDirectory);

// How one file is described to the client and cut into records.
struct Presentation {
    uint8_t dataType = 0x01;   // echoes the client's ask: 0x01 text, 0x02 image
    uint8_t rfm = 4;           // record format
    uint8_t rat = 0;           // record attributes
    uint8_t fsz = 0;           // fixed control size (print format)
    uint16_t mrs = 0;          // maximum record size, 0 for none
    bool lines = false;        // records are lines; else pieces of the file
    bool keepNewline = false;  // a line record keeps its "\n"
    size_t pieceSize = 0;      // size of a piece; 0: as large as fits
    bool printControls = false;  // each record carries the prefix 0x01 0x8D
};

enum class Purpose { kDescribe, kCopy, kRecordRead };

// `image`: the client asked for image data (its DATATYPE lacks bit 0x01).
Presentation PresentFile(Personality personality, std::string_view realName, bool image, Purpose purpose);

// Whether an upload's records are lines to be stored each with "\n"
// (records, text mode) rather than bytes to be stored as they come.
bool StoresRecordsAsLines(Personality personality, bool image);

}  // namespace zeld
