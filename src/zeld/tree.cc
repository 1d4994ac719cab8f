#include "zeld/tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "wire/wildcard.h"

namespace zeld {
namespace {

constexpr size_t kMaxDepth = 64;     // directory levels one lookup may hold open
constexpr int kMaxLinks = 40;        // links one lookup may follow
constexpr size_t kMaxLinkText = 4096;
constexpr std::string_view kStagingPrefix = ".zeld-";
constexpr size_t kUploadStagingLength = kStagingPrefix.size() + 6;  // ".zeld-" and six letters or digits

// One step of a lookup. `exact`: a real name from a link's target, taken
// as it is; otherwise a client's name, which the records personality maps
// without regard to case. ".." (only from a target) climbs the chain; "."
// as the last step stands for the directory reached.
struct Part {
    std::string name;
    bool exact = false;
    bool directoryOnly = false;
};

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

// A records pattern as the listing compares it: upper case, no version,
// and a name without a type stands for every type ("FOO" is "FOO.*").
std::string RecordsPatternKey(std::string_view pattern) {
    std::string key = Upper(pattern.substr(0, pattern.find(';')));
    if (key.find('.') == std::string::npos) key += ".*";
    return key;
}

// Calls `visit(name, type)` for every entry of the directory at `dirFd`
// other than "." and "..". False with errno when it cannot be read.
template <typename Visit>
bool ForEachEntry(int dirFd, Visit visit) {
    const int readable = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0) return false;
    DIR* dir = ::fdopendir(readable);
    if (dir == nullptr) {
        const int error = errno;
        ::close(readable);
        errno = error;
        return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (!visit(std::string(name), entry->d_type)) break;
    }
    ::closedir(dir);
    return true;
}

// Whether an entry of this type may be a directory (links may lead to one).
bool MaybeDirectory(int dirFd, const std::string& name, unsigned char type) {
    if (type == DT_DIR || type == DT_LNK) return true;
    if (type != DT_UNKNOWN) return false;
    struct stat info;
    return ::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           (S_ISDIR(info.st_mode) || S_ISLNK(info.st_mode));
}

// The real name `part` stands for in the directory at `dirFd`: the name
// itself when an entry has it; else, for a client's name in the records
// personality, the first (in byte order) entry with the same comparison
// key. False with errno (ENOENT when nothing fits).
bool MapName(Personality personality, int dirFd, const Part& part, std::string* real, struct stat* info) {
    if (::fstatat(dirFd, part.name.c_str(), info, AT_SYMLINK_NOFOLLOW) == 0) {
        *real = part.name;
        return true;
    }
    if (errno != ENOENT || part.exact || personality == Personality::kStream) return false;

    const std::string wanted = ComparisonKey(personality, part.name, false);
    std::string best;
    const bool listed = ForEachEntry(dirFd, [&](const std::string& name, unsigned char type) {
        if (Tree::IsStagingName(name)) return true;
        const bool maybeDirectory = MaybeDirectory(dirFd, name, type);
        if (part.directoryOnly && !maybeDirectory) return true;
        const bool fits = ComparisonKey(personality, name, false) == wanted ||
                          (maybeDirectory && ComparisonKey(personality, name, true) == wanted);
        if (fits && (best.empty() || name < best)) best = name;
        return true;
    });
    if (!listed) return false;
    if (best.empty() || ::fstatat(dirFd, best.c_str(), info, AT_SYMLINK_NOFOLLOW) != 0) {
        errno = ENOENT;
        return false;
    }
    *real = best;
    return true;
}

// The steps of a link's target, in front of the steps still to come.
StatusValue ExpandLink(int dirFd, const std::string& name, std::deque<Part>* parts) {
    char text[kMaxLinkText];
    const ssize_t length = ::readlinkat(dirFd, name.c_str(), text, sizeof text);
    if (length < 0) return StatusForErrno(errno, Stage::kOpen);
    if (length == 0 || static_cast<size_t>(length) == sizeof text) return kStatusFileNotFound;
    const std::string_view target(text, static_cast<size_t>(length));
    if (target.front() == '/') return kStatusPrivilege;  // absolute: not beneath the root
    std::vector<Part> steps;
    size_t start = 0;
    while (start <= target.size()) {
        size_t slash = target.find('/', start);
        if (slash == std::string_view::npos) slash = target.size();
        const std::string_view step = target.substr(start, slash - start);
        if (!step.empty() && step != ".") steps.push_back(Part{std::string(step), true, false});
        start = slash + 1;
    }
    if (steps.empty() || steps.back().name == "..") steps.push_back(Part{".", true, false});
    parts->insert(parts->begin(), steps.begin(), steps.end());
    return kOk;
}

// Walks `parts` down from `chain`: every step but the last must reach a
// directory; the last is looked up and, when it is a link and `followLast`
// is set, followed. On success `found` holds the last entry (which may not
// exist) and the chain of its directory.
StatusValue Walk(Personality personality, Chain chain, std::deque<Part> parts, bool followLast, Found* found) {
    int links = 0;
    while (!parts.empty()) {
        const Part part = std::move(parts.front());
        parts.pop_front();
        const bool last = parts.empty();
        if (part.name == "..") {
            if (chain.atRoot()) return kStatusPrivilege;
            chain.Pop();
            if (last) parts.push_back(Part{".", true, false});
            continue;
        }
        if (part.name == ".") {
            if (!last) continue;
            // The entry is the directory reached itself.
            if (chain.atRoot()) {
                if (::fstat(chain.fd(), &found->info) != 0) return StatusForErrno(errno, Stage::kOpen);
                found->name.clear();
                found->exists = found->isRoot = true;
                found->parent = std::move(chain);
                return kOk;
            }
            found->name = chain.names().back();
            chain.Pop();
            if (::fstatat(chain.fd(), found->name.c_str(), &found->info, AT_SYMLINK_NOFOLLOW) != 0) {
                return StatusForErrno(errno, Stage::kOpen);
            }
            found->exists = true;
            found->parent = std::move(chain);
            return kOk;
        }
        if (!part.exact && Tree::IsStagingName(part.name)) return kStatusPrivilege;

        std::string real;
        struct stat info;
        if (!MapName(personality, chain.fd(), part, &real, &info)) {
            const int error = errno;
            if (error == ENOENT && last) {
                found->name = part.name;
                found->exists = false;
                found->parent = std::move(chain);
                return kOk;
            }
            return error == ENOENT ? kStatusDirectoryNotFound : StatusForErrno(error, Stage::kOpen);
        }
        if (S_ISLNK(info.st_mode) && (!last || followLast)) {
            if (++links > kMaxLinks) return kStatusPrivilege;
            const StatusValue expanded = ExpandLink(chain.fd(), real, &parts);
            if (expanded != kOk) return expanded;
            continue;
        }
        if (last) {
            found->name = real;
            found->exists = true;
            found->info = info;
            found->parent = std::move(chain);
            return kOk;
        }
        if (!S_ISDIR(info.st_mode)) return kStatusDirectoryNotFound;
        UniqueFd next(::openat(chain.fd(), real.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) {
            const int error = errno;
            return error == ENOENT || error == ENOTDIR || error == ELOOP ? kStatusDirectoryNotFound
                                                                          : StatusForErrno(error, Stage::kOpen);
        }
        if (!chain.Push(std::move(next), real)) return kStatusBadDirectoryName;
    }
    return kStatusPrivilege;  // no steps: the root itself is no entry
}

std::deque<Part> DirectoryParts(const std::vector<std::string>& directories) {
    std::deque<Part> parts;
    for (const std::string& directory : directories) parts.push_back(Part{directory, false, true});
    return parts;
}

// The steps of a file spec. A directory form ("[A.B]", "a/b/") names
// its last directory.
std::deque<Part> SpecParts(const FileSpec& spec) {
    std::deque<Part> parts = DirectoryParts(spec.directories);
    if (!spec.name.empty()) parts.push_back(Part{spec.name, false, false});
    return parts;
}

// Descends from `chain` into its entry `name`, a directory.
StatusValue Descend(Chain* chain, const std::string& name) {
    UniqueFd next(::openat(chain->fd(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.valid()) return StatusForErrno(errno, Stage::kOpen);
    return chain->Push(std::move(next), name) ? kOk : kStatusBadDirectoryName;
}

// The chain of the directory a lookup found: the root itself, or an entry
// of its parent.
StatusValue EnterFound(Found* found, Chain* chain) {
    *chain = std::move(found->parent);
    return found->isRoot ? kOk : Descend(chain, found->name);
}

// A client takes only three statuses about one entry of a listing (locked,
// file not found, privilege violation) and ends the whole listing on any
// other: an entry it cannot be shown is one of those. A refusal of the
// system is a privilege violation; anything else (a link through a missing
// directory or through a file, an entry gone meanwhile) is not found.
StatusValue ListableStatus(StatusValue status) {
    if (status == kOk || status == kStatusLocked || status == kStatusFileNotFound || status == kStatusPrivilege)
        return status;
    return status == kStatusProtected ? kStatusPrivilege : kStatusFileNotFound;
}

// What a listing shows of the entry `name` of `chain`: its own status, or
// for a link the status of what it leads to beneath the root.
StatusValue DescribeEntry(Personality personality, const Chain& chain, const std::string& name, struct stat* info) {
    if (::fstatat(chain.fd(), name.c_str(), info, AT_SYMLINK_NOFOLLOW) != 0) return StatusForErrno(errno, Stage::kOpen);
    if (S_ISLNK(info->st_mode)) {
        Chain from;
        if (!chain.Clone(&from)) return StatusForErrno(errno, Stage::kOpen);
        Found target;
        const StatusValue status = Walk(personality, std::move(from), {Part{name, true, false}}, true, &target);
        if (status != kOk) return status;
        if (!target.exists) return kStatusFileNotFound;  // a link to nothing
        *info = target.info;
    }
    return S_ISREG(info->st_mode) || S_ISDIR(info->st_mode) ? kOk : kStatusPrivilege;
}

// A directory form ("[A.B]", "a/b/") as the entry it names: B in [A].
// False for the root, which is no entry.
bool NamedEntry(const FileSpec& spec, FileSpec* entry) {
    *entry = spec;
    if (!entry->name.empty()) return true;
    if (entry->directories.empty()) return false;
    entry->name = entry->directories.back();
    entry->directories.pop_back();
    return true;
}

// Whether a client may delete or rename the entry itself: a regular file,
// a directory, or a link (which goes, never what it leads to). Devices,
// pipes and sockets are not served.
bool Changeable(const struct stat& info) {
    return S_ISREG(info.st_mode) || S_ISDIR(info.st_mode) || S_ISLNK(info.st_mode);
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether the file's mode lets the server's account write it: the owner's,
// the group's or the others' write bit, whichever class the account is in.
// A file it may not write is one the server's protection says is denied
// writing and deleting, and it is neither replaced nor deleted, even by a
// server running as root, which the kernel would let through.
bool WritableByServer(const struct stat& info) {
    if (info.st_uid == ::geteuid()) return (info.st_mode & S_IWUSR) != 0;
    bool inGroup = info.st_gid == ::getegid();
    if (!inGroup) {
        gid_t groups[256];
        const int count = ::getgroups(256, groups);
        for (int i = 0; i < count && !inGroup; ++i) inGroup = groups[i] == info.st_gid;
    }
    return (info.st_mode & (inGroup ? S_IWGRP : S_IWOTH)) != 0;
}

bool Before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Removes the entry `name` of the directory at `dirFd` when it is a regular
// file that nobody holds locked and that was last written before the sweep
// began: a running server keeps the temporary file of its upload locked
// until the upload ends, and one made since the sweep began may not be
// locked yet (an upload locks its file just after creating it).
bool RemoveIfUnlocked(int dirFd, const std::string& name, const timespec& sweepBegan) {
    struct stat info;
    if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) return false;
    if (!Before(info.st_mtim, sweepBegan)) return false;
    const UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened;
    if (!fd.valid() || ::fstat(fd.get(), &opened) != 0 || !SameFile(opened, info)) return false;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
    return ::unlinkat(dirFd, name.c_str(), 0) == 0;
}

// The sweep of RemoveStaleUploads through the directory at `dirFd` (`path`
// beneath the root, with its slash) and, depth first, the directories in it:
// at most one descriptor per level is open. False once told to stop.
bool SweepStaleUploads(int dirFd, const std::string& path, size_t depth, const timespec& began,
                       const std::function<void(const std::string&)>& removed, const std::atomic<bool>* stop,
                       size_t* count) {
    if (stop->load()) return false;
    std::vector<std::string> stale;
    std::vector<std::string> directories;
    ForEachEntry(dirFd, [&](const std::string& name, unsigned char type) {
        if (Tree::IsUploadStagingName(name)) {
            stale.push_back(name);
        } else if (type == DT_DIR || type == DT_UNKNOWN) {
            directories.push_back(name);  // (an unknown type is tried: only directories open)
        }
        return true;
    });
    for (const std::string& name : stale) {
        if (stop->load()) return false;
        if (!RemoveIfUnlocked(dirFd, name, began)) continue;
        ++*count;
        removed(path + name);
    }
    if (depth >= kMaxDepth) return true;
    for (const std::string& name : directories) {
        const UniqueFd next(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.valid() &&
            !SweepStaleUploads(next.get(), path + name + "/", depth + 1, began, removed, stop, count)) {
            return false;
        }
    }
    return true;
}

}  // namespace

Chain::Chain(UniqueFd root) { fds_.push_back(std::move(root)); }

bool Chain::Push(UniqueFd fd, std::string name) {
    if (fds_.size() > kMaxDepth) return false;
    fds_.push_back(std::move(fd));
    names_.push_back(std::move(name));
    return true;
}

void Chain::Pop() {
    if (fds_.size() <= 1) return;
    fds_.pop_back();
    names_.pop_back();
}

bool Chain::Clone(Chain* copy) const {
    Chain clone;
    for (const UniqueFd& fd : fds_) {
        UniqueFd duplicate(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
        if (!duplicate.valid()) return false;
        clone.fds_.push_back(std::move(duplicate));
    }
    clone.names_ = names_;
    *copy = std::move(clone);
    return true;
}

std::unique_ptr<Tree> Tree::Open(const std::string& root, Personality personality, std::string* error) {
    std::unique_ptr<Tree> tree(new Tree);
    char* real = ::realpath(root.c_str(), nullptr);
    if (real == nullptr) {
        *error = "cannot find the root " + root + ": " + std::strerror(errno);
        return nullptr;
    }
    tree->rootPath_ = real;
    std::free(real);
    tree->root_.Reset(::open(tree->rootPath_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!tree->root_.valid()) {
        *error = "cannot open the root " + root + ": " + std::strerror(errno);
        return nullptr;
    }
    tree->personality_ = personality;
    return tree;
}

bool Tree::IsStagingName(const std::string& name) { return name.compare(0, kStagingPrefix.size(), kStagingPrefix) == 0; }

bool Tree::IsUploadStagingName(const std::string& name) {
    if (name.size() != kUploadStagingLength || !IsStagingName(name)) return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(kStagingPrefix.size()), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

size_t Tree::RemoveStaleUploads(const std::function<void(const std::string&)>& removed,
                                const std::atomic<bool>* stop) const {
    const UniqueFd root(::openat(root_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // The clock the file system stamps files with (the coarse one): a file
    // made after this moment never carries an earlier time.
    timespec began{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &began);
    size_t count = 0;
    if (root.valid()) SweepStaleUploads(root.get(), "", 0, began, removed, stop, &count);
    return count;
}

bool Tree::RootChain(Chain* chain) const {
    UniqueFd root(::fcntl(root_.get(), F_DUPFD_CLOEXEC, 0));
    if (!root.valid()) return false;
    *chain = Chain(std::move(root));
    return true;
}

StatusValue Tree::ReachDirectory(const std::vector<std::string>& directories, Chain* chain) const {
    if (!RootChain(chain)) return StatusForErrno(errno, Stage::kOpen);
    if (directories.empty()) return kOk;
    Found found;
    const StatusValue status = Walk(personality_, std::move(*chain), DirectoryParts(directories), true, &found);
    if (status != kOk) return status;
    if (!found.exists || !S_ISDIR(found.info.st_mode)) return kStatusDirectoryNotFound;
    return EnterFound(&found, chain);
}

std::string Tree::RealPath(const std::vector<std::string>& directory, const std::string& name) const {
    std::string path = rootPath_;
    for (const std::string& part : directory) path += "/" + part;
    if (!name.empty()) path += "/" + name;
    return path;
}

StatusValue Tree::Find(const FileSpec& spec, bool followLast, Found* found) const {
    Chain chain;
    if (!RootChain(&chain)) return StatusForErrno(errno, Stage::kOpen);
    return Walk(personality_, std::move(chain), SpecParts(spec), followLast, found);
}

StatusValue Tree::OpenEntry(const FileSpec& spec, OpenedFile* file) const {
    if (spec.wildcard) return kStatusBadWildcard;
    Found found;
    const StatusValue status = Find(spec, true, &found);
    if (status != kOk) return status;
    if (!found.exists) return spec.namesDirectory ? kStatusDirectoryNotFound : kStatusFileNotFound;

    int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC;
    if (S_ISDIR(found.info.st_mode)) {
        flags |= O_DIRECTORY;
    } else if (S_ISREG(found.info.st_mode)) {
        flags |= O_NONBLOCK;  // cleared below; no wait if it became a device
    } else {
        return kStatusPrivilege;  // devices, pipes and sockets are not served
    }
    UniqueFd fd(::openat(found.parent.fd(), found.isRoot ? "." : found.name.c_str(), flags));
    if (!fd.valid()) return StatusForErrno(errno, Stage::kOpen);
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) return StatusForErrno(errno, Stage::kOpen);
    if (!SameFile(info, found.info)) return kStatusLocked;  // replaced while we looked
    if (S_ISREG(info.st_mode)) {
        ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
        if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) return kStatusLocked;
    }
    file->parent.Reset(::fcntl(found.parent.fd(), F_DUPFD_CLOEXEC, 0));
    if (!file->parent.valid()) return StatusForErrno(errno, Stage::kOpen);
    file->fd = std::move(fd);
    file->info = info;
    file->realName = found.name;
    file->directory = found.parent.names();
    file->isDirectory = S_ISDIR(info.st_mode);
    file->isRoot = found.isRoot;
    return kOk;
}

StatusValue Tree::OpenForAppend(const OpenedFile& file, UniqueFd* fd) const {
    if (file.isDirectory || !WritableByServer(file.info)) return kStatusProtected;
    // Without waiting: a FIFO put in the file's place since it was opened
    // would hold the session until some reader came.
    UniqueFd opened(::openat(file.parent.get(), file.realName.c_str(),
                             O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!opened.valid()) return errno == ENXIO ? kStatusLocked : StatusForErrno(errno, Stage::kOpen);
    struct stat info;
    if (::fstat(opened.get(), &info) != 0) return StatusForErrno(errno, Stage::kOpen);
    if (!SameFile(info, file.info) || !S_ISREG(info.st_mode)) return kStatusLocked;  // replaced since it was opened
    ::fcntl(opened.get(), F_SETFL, ::fcntl(opened.get(), F_GETFL) & ~O_NONBLOCK);
    *fd = std::move(opened);
    return kOk;
}

StatusValue ReplaceableStatus(const struct stat& info) {
    if (S_ISDIR(info.st_mode)) return kStatusProtected;
    if (!S_ISREG(info.st_mode)) return kStatusPrivilege;
    return WritableByServer(info) ? kOk : kStatusProtected;
}

StatusValue RemoveMatches(int directoryFd, const std::vector<std::string>& names, size_t* removed) {
    for (const std::string& name : names) {
        if (::unlinkat(directoryFd, name.c_str(), 0) == 0) {
            ++*removed;
        } else if (errno != ENOENT) {
            return StatusForErrno(errno, Stage::kOpen);
        }
    }
    return kOk;
}

StatusValue Tree::FindCreateTarget(const FileSpec& spec, CreateTarget* target) const {
    if (spec.wildcard) return kStatusBadWildcard;
    if (spec.name.empty()) return kStatusProtected;  // a directory
    Found found;
    const StatusValue status = Find(spec, true, &found);
    if (status != kOk) return status;
    if (found.exists) {
        const StatusValue replaceable = ReplaceableStatus(found.info);
        if (replaceable != kOk) return replaceable;
    }
    target->exists = found.exists;
    target->name = found.exists ? found.name : NameToCreate(personality_, found.name, false);
    target->parent = std::move(found.parent);
    return kOk;
}

StatusValue Tree::Remove(const FileSpec& spec, size_t* removed) const {
    *removed = 0;
    if (!spec.wildcard) {
        Found found;
        const StatusValue status = Find(spec, false, &found);
        if (status != kOk) return status;
        if (!found.exists) return spec.namesDirectory ? kStatusDirectoryNotFound : kStatusFileNotFound;
        // "name/" names a directory: a file of that name is not it.
        if (spec.namesDirectory && !S_ISDIR(found.info.st_mode)) return kStatusDirectoryNotFound;
        if (!Changeable(found.info)) return kStatusPrivilege;
        if (S_ISREG(found.info.st_mode) && !WritableByServer(found.info)) return kStatusProtected;
        const int flags = S_ISDIR(found.info.st_mode) ? AT_REMOVEDIR : 0;
        if (::unlinkat(found.parent.fd(), found.name.c_str(), flags) != 0) return StatusForErrno(errno, Stage::kOpen);
        *removed = 1;
        return kOk;
    }

    // A wildcard deletes the matching files of one directory, never a directory.
    Chain chain;
    const StatusValue reached = ReachDirectory(spec.directories, &chain);
    if (reached != kOk) return reached;
    const std::string pattern = personality_ == Personality::kRecords ? RecordsPatternKey(spec.name) : spec.name;
    // Matches are taken a bounded batch at a time, and the directory read
    // again after each full batch, until none is left: every matching file
    // goes, however many. Files the server may not write stay, and make the
    // delete fail as protected once the others are gone; devices, pipes and
    // sockets stay too, and make it a privilege violation.
    size_t protectedFiles = 0;
    size_t unserved = 0;
    for (;;) {
        std::vector<std::string> victims;
        protectedFiles = unserved = 0;
        const bool listed = ForEachEntry(chain.fd(), [&](const std::string& name, unsigned char type) {
            if (IsStagingName(name) || type == DT_DIR) return true;
            struct stat info;
            if (::fstatat(chain.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(info.st_mode))
                return true;
            if (!wire::WildcardMatch(pattern, ComparisonKey(personality_, name, false))) return true;
            if (!Changeable(info)) {
                ++unserved;
                return true;
            }
            if (S_ISREG(info.st_mode) && !WritableByServer(info)) {
                ++protectedFiles;
                return true;
            }
            victims.push_back(name);
            return victims.size() < kMaxListed;
        });
        if (!listed) return StatusForErrno(errno, Stage::kOpen);
        std::sort(victims.begin(), victims.end());
        const StatusValue unlinked = RemoveMatches(chain.fd(), victims, removed);
        if (unlinked != kOk) return unlinked;
        if (victims.size() < kMaxListed) break;
    }
    if (unserved > 0) return kStatusPrivilege;
    if (protectedFiles > 0) return kStatusProtected;
    return *removed == 0 ? kStatusFileNotFound : kOk;
}

StatusValue Tree::MakeDirectory(const FileSpec& spec) const {
    if (spec.wildcard) return kStatusBadWildcard;
    FileSpec target;
    if (!NamedEntry(spec, &target)) return kStatusFileExists;  // the root
    Found found;
    const StatusValue status = Find(target, false, &found);
    if (status != kOk) return status;
    if (found.exists) return kStatusFileExists;
    const std::string name = NameToCreate(personality_, found.name, true);
    if (name.empty() || IsStagingName(name)) return kStatusBadDirectoryName;
    if (::mkdirat(found.parent.fd(), name.c_str(), 0777) != 0) return StatusForErrno(errno, Stage::kOpen);
    return kOk;
}

StatusValue Tree::Rename(const FileSpec& from, const FileSpec& to) const {
    if (from.wildcard || to.wildcard) return kStatusBadWildcard;
    Found source;
    StatusValue status = Find(from, false, &source);
    if (status != kOk) return status;
    if (!source.exists) return from.namesDirectory ? kStatusDirectoryNotFound : kStatusFileNotFound;
    if (!Changeable(source.info)) return kStatusPrivilege;
    FileSpec destinationSpec;
    if (!NamedEntry(to, &destinationSpec)) return kStatusPrivilege;
    Found destination;
    if ((status = Find(destinationSpec, false, &destination)) != kOk) return status;
    const bool isDirectory = S_ISDIR(source.info.st_mode);
    // The same entry under another spelling (records: a change of case) may
    // be renamed; anything else in the way is kept.
    if (destination.exists && !SameFile(destination.info, source.info)) return kStatusFileExists;
    std::string name = NameToCreate(personality_, destinationSpec.name, isDirectory);
    if (name.empty() || IsStagingName(name)) return kStatusBadDirectoryName;
    if (::renameat2(source.parent.fd(), source.name.c_str(), destination.parent.fd(), name.c_str(),
                    RENAME_NOREPLACE) == 0) {
        return kOk;
    }
    if (errno == EEXIST && destination.exists) {
        // A case-only rename of the same entry.
        if (::renameat(source.parent.fd(), source.name.c_str(), destination.parent.fd(), name.c_str()) == 0) return kOk;
    } else if (errno == EINVAL || errno == ENOSYS) {
        // A file system without RENAME_NOREPLACE: check, then rename.
        struct stat info;
        if (::fstatat(destination.parent.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            !SameFile(info, source.info)) {
            return kStatusFileExists;
        }
        if (::renameat(source.parent.fd(), source.name.c_str(), destination.parent.fd(), name.c_str()) == 0) return kOk;
    }
    return StatusForErrno(errno, Stage::kOpen);
}

StatusValue Tree::List(const FileSpec& spec, ListingResult* result) const {
    *result = ListingResult{};
    Chain chain;
    if (!RootChain(&chain)) return StatusForErrno(errno, Stage::kOpen);
    std::string pattern = spec.name.empty() ? "*" : spec.name;
    const bool recordsDirectoryName =
        personality_ == Personality::kRecords && Upper(spec.name).find(".DIR") != std::string::npos;

    Found found;
    StatusValue status = kOk;
    bool exactName = false;  // one entry, by its real name
    if (!spec.name.empty() && !spec.wildcard && !recordsDirectoryName) {
        // A name without wildcard: what a directory holds, or the one file;
        // else (records) a name without type stands for every type.
        status = Find(spec, true, &found);
        if (status != kOk) {
            // A link whose target cannot be reached (through a missing
            // directory or a file, out of the root) is still an entry of
            // its directory: listed with its own status, as "*" lists it.
            Found link;
            if (Find(spec, false, &link) != kOk || !link.exists || !S_ISLNK(link.info.st_mode)) return status;
            found = Found{};
        }
        if (found.exists && S_ISDIR(found.info.st_mode)) {
            if ((status = EnterFound(&found, &chain)) != kOk) return status;
            pattern.assign(1, '*');  // (not = "*": a false -Wrestrict of GCC 12 at -O3)
        } else if (found.exists) {
            chain = std::move(found.parent);
            pattern = found.name;
            exactName = true;
        } else {
            // Nothing of that name: its own directory is searched (records:
            // for every type), never the one a dangling link's target is in.
            if ((status = ReachDirectory(spec.directories, &chain)) != kOk) return status;
        }
    } else if ((status = ReachDirectory(spec.directories, &chain)) != kOk) {
        return status;
    }
    const std::string recordsPattern = RecordsPatternKey(pattern);

    std::vector<ListedEntry>& entries = result->entries;
    const bool listed = ForEachEntry(chain.fd(), [&](const std::string& name, unsigned char) {
        if (IsStagingName(name)) return true;
        ListedEntry entry;
        entry.realName = name;
        struct stat info {};
        entry.status = ListableStatus(DescribeEntry(personality_, chain, name, &info));
        entry.info = ListedStat{info.st_mode, info.st_uid, info.st_size, info.st_mtime};
        const bool isDirectory = entry.status == kOk && S_ISDIR(info.st_mode);
        bool matches;
        if (exactName) {
            matches = name == pattern;
        } else if (personality_ == Personality::kRecords) {
            matches = wire::WildcardMatch(recordsPattern, ComparisonKey(personality_, name, isDirectory));
        } else {
            matches = wire::WildcardMatch(pattern, name);
        }
        if (!matches) return true;
        if (entries.size() == kMaxListed) {
            result->truncated = true;
            return false;
        }
        entry.presentedName = PresentedName(personality_, name, isDirectory);
        entries.push_back(std::move(entry));
        return true;
    });
    if (!listed) return StatusForErrno(errno, Stage::kOpen);
    std::sort(entries.begin(), entries.end(), [](const ListedEntry& a, const ListedEntry& b) {
        return a.presentedName != b.presentedName ? a.presentedName < b.presentedName : a.realName < b.realName;
    });
    result->directory = chain.names();
    return kOk;
}

}  // namespace zeld
