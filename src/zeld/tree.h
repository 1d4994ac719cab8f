// The served directory tree, the one module that turns a client's file
// spec into files: names are walked one component at a time with
// openat(O_NOFOLLOW), links followed only while they stay beneath the root.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zeld/file_spec.h"
#include "zeld/personality.h"
#include "zeld/status_codes.h"
#include "ztsock/socket.h"

namespace zeld {

using ztsock::UniqueFd;

// A directory reached from the root: a descriptor for every level, so that
// ".." in a link's target goes back the way it came, never to the system's
// idea of the parent.
class Chain {
public:
    Chain() = default;
    explicit Chain(UniqueFd root);
    Chain(Chain&&) = default;
    Chain& operator=(Chain&&) = default;

    int fd() const { return fds_.back().get(); }
    bool atRoot() const { return fds_.size() == 1; }
    // The real names from the root down to this directory.
    const std::vector<std::string>& names() const { return names_; }
    bool Push(UniqueFd fd, std::string name);
    void Pop();
    // The same directory, with descriptors of its own.
    bool Clone(Chain* copy) const;

private:
    std::vector<UniqueFd> fds_;
    std::vector<std::string> names_;
};

// What a lookup found: the entry `name` in directory `parent`, or where it
// would be created; or the root itself, reached through a followed link
// (`parent` is then the root's chain, `name` empty).
struct Found {
    Chain parent;
    std::string name;
    bool exists = false;
    bool isRoot = false;
    struct stat info {};  // of the entry itself (a link only when not followed)
};

// A file or directory opened for an access.
struct OpenedFile {
    UniqueFd fd;
    UniqueFd parent;  // the directory holding it
    struct stat info {};
    std::string realName;
    std::vector<std::string> directory;  // real names from the root
    bool isDirectory = false;
    bool isRoot = false;  // the root itself: no entry of the tree to change
};

// What a listing shows of an entry's file, kept instead of its whole stat
// so that a large listing takes little memory.
struct ListedStat {
    mode_t mode = 0;
    uid_t owner = 0;
    off_t size = 0;
    time_t modified = 0;
};

// One entry of a directory listing.
struct ListedEntry {
    std::string realName;
    std::string presentedName;
    StatusValue status = kOk;  // an entry that cannot be described
    ListedStat info;           // of the file it stands for (links followed)
};

struct ListingResult {
    std::vector<std::string> directory;  // real names from the root
    std::vector<ListedEntry> entries;    // sorted by presented name
    bool truncated = false;              // more entries matched than a listing keeps
};

// A directory and a name in it, as an upload needs them.
struct CreateTarget {
    Chain parent;
    std::string name;
    bool exists = false;
};

// Whether an upload may put its file in place of the existing entry `info`:
// kOk for a regular file the server may write; a directory, or a file it
// may not write, is protected; anything else is not served.
StatusValue ReplaceableStatus(const struct stat& info);

// The unlinks of a wildcard delete: the files `names` of the directory at
// `directoryFd`, counted in `*removed` as they go. One already gone (deleted
// or renamed by another client since the directory was read) is passed
// over; any other failure ends the delete.
StatusValue RemoveMatches(int directoryFd, const std::vector<std::string>& names, size_t* removed);

class Tree {
public:
    // Opens the root directory. Null with a message when it cannot.
    static std::unique_ptr<Tree> Open(const std::string& root, Personality personality, std::string* error);

    Personality personality() const { return personality_; }
    // The root as an absolute path without links.
    const std::string& rootPath() const { return rootPath_; }
    // rootPath() joined with real names.
    std::string RealPath(const std::vector<std::string>& directory, const std::string& name) const;

    // The file or directory of an access (links followed). Regular files
    // get a shared advisory lock, refused (locked) while another holds an
    // exclusive one.
    StatusValue OpenEntry(const FileSpec& spec, OpenedFile* file) const;
    // The opened regular file again, for appending records to it.
    StatusValue OpenForAppend(const OpenedFile& file, UniqueFd* fd) const;
    // Where an upload's file goes (links to files followed).
    StatusValue FindCreateTarget(const FileSpec& spec, CreateTarget* target) const;
    // Deletes a file, or an empty directory; with a wildcard every
    // matching file. `removed` counts what went.
    StatusValue Remove(const FileSpec& spec, size_t* removed) const;
    StatusValue MakeDirectory(const FileSpec& spec) const;
    // Refuses to replace an existing entry.
    StatusValue Rename(const FileSpec& from, const FileSpec& to) const;
    // The entries a listing shows: a directory's matching entries, the
    // contents of a directory named without wildcard, or one file.
    StatusValue List(const FileSpec& spec, ListingResult* result) const;

    // Lookup of a whole file spec: the directories, then the name. The
    // root itself is found only through a link followed as the last step,
    // so never when `followLast` is false.
    StatusValue Find(const FileSpec& spec, bool followLast, Found* found) const;

    // The most entries a listing keeps (its memory is bounded).
    static constexpr size_t kMaxListed = 100000;
    // Whether a name is one of the server's own temporary files.
    static bool IsStagingName(const std::string& name);
    // Whether a name is that of an upload's temporary file (StagedFile).
    static bool IsUploadStagingName(const std::string& name);

    // Removes the temporary files that uploads of a killed server left in
    // the tree: files named as an upload's temporary file that no running
    // server holds locked and that were last written before the sweep began
    // (an upload made meanwhile may not hold its lock yet). Links are not
    // followed. `removed` hears of each
    // one (its path beneath the root). The sweep ends early once `*stop` is
    // set (looked at before each file and each directory). Returns how many
    // were removed.
    size_t RemoveStaleUploads(const std::function<void(const std::string&)>& removed,
                              const std::atomic<bool>* stop) const;

private:
    Tree() = default;
    bool RootChain(Chain* chain) const;
    // The chain of the directory that `directories` lead to (links followed).
    StatusValue ReachDirectory(const std::vector<std::string>& directories, Chain* chain) const;

    UniqueFd root_;
    std::string rootPath_;
    Personality personality_ = Personality::kStream;
};

}  // namespace zeld
