// get: one remote file, or every file a wildcard matches, copied here.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>

#include "zelft/commands.h"
#include "zelft/connection.h"
#include "zelft/copy_names.h"
#include "zelft/file_copy.h"
#include "zelft/listing_text.h"
#include "zelft/staged_download.h"
#include "zelft/terminal_text.h"
#include "zelft/wildcard_match.h"

namespace zelft {
namespace {

constexpr size_t kLongestName = 255;  // the library's name fields, less the NUL

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether a listed entry is a directory, not to be copied. On a peer that
// names its directories NAME.DIR (file system 1, 3 or 4, whose names carry
// a version: NAME.TYPE;N) the library marks -D every name holding ".DIR",
// "NOTES.DIRTY;1" too: there the mark counts only for a name of type DIR,
// and any other such name is tried as a file, so that a failure is
// reported. Elsewhere (a name without a version, or without ".DIR") the -D
// is the server's own word: a directory "old.DIRS" of a Unix server is one.
bool IsListedDirectory(const ListedEntry& entry) {
    if (entry.kind != ListedEntry::Kind::kDirectory) return false;
    const std::string name = RemoteBaseName(entry.name);
    const bool versioned = name.size() != RemoteFilePart(entry.name).size();
    if (!versioned || entry.name.find(".DIR") == std::string::npos) return true;
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && ::strcasecmp(name.c_str() + dot + 1, "DIR") == 0;
}

// Lists the files matching `spec` and copies each into `localDirectory`.
ExitCode GetMatches(const Invocation& invocation, const RemoteSpec& spec, const std::string& localDirectory,
                    RemoteLink* link, ProgressBar* progress) {
    Outcome outcome;
    outcome.Add(link->Dir(OperationName{"get", RemoteName(spec)}, 1, spec.path));
    std::string listing;
    if (outcome.exit() == ExitCode::kOk) outcome.Add(link->TakeListing(RemoteName(spec), &listing));
    if (outcome.exit() != ExitCode::kOk) return outcome.exit();

    const std::string_view directory = RemoteDirectoryPart(spec.path);
    const std::string_view pattern = RemoteFilePart(spec.path);
    size_t matched = 0;
    std::set<std::string> localNames;  // taken by a file of this listing
    for (const ListedEntry& entry : ParseListing(listing)) {
        if (IsListedDirectory(entry)) {
            if (invocation.verbose) Say("skipping the directory " + entry.name);
            continue;
        }
        CopyRequest request;
        request.direction = RFA_COPY_DOWNLOAD;
        request.remotePath = RemoteNameInDirectory(directory, entry.name);
        request.remoteName = spec.node + "::" + request.remotePath;
        const std::string localName = RemoteBaseName(entry.name);
        request.localPath = JoinLocal(localDirectory, localName);
        const std::string what = "get " + request.remoteName + ": ";
        // The server chose what to list: a name the pattern does not match
        // is none the user asked for, and is not written here; nor is one
        // whose local name holds a directory ("[]../../x" gives "../../x").
        if (!ListedNameFits(pattern, localName)) {
            outcome.Add(Failure{ExitCode::kRemoteFile,
                                what + "not a file name that " + std::string(pattern) + " matches; not copied"});
            continue;
        }
        ++matched;
        // A file that matches and is not copied fails the command, each
        // with its reason: the server could not describe it, its names are
        // too long for a copy, or an earlier file of the listing (another
        // version of it) already went to the same local name.
        if (entry.failed) {
            outcome.Add(Failure{ExitCode::kRemoteFile, what + "the server could not describe it; not copied"});
        } else if (request.remotePath.size() > kLongestName || request.localPath.size() > kLongestName) {
            outcome.Add(Failure{ExitCode::kRemoteFile, what + "name longer than 255 characters; not copied"});
        } else if (!localNames.insert(localName).second) {
            outcome.Add(Failure{ExitCode::kLocalFile,
                                what + request.localPath + " was already copied from another file; not copied"});
        } else {
            outcome.Add(CopyFile(invocation, link, progress, request));
            if (outcome.linkLost()) break;
        }
    }
    if (matched == 0) outcome.Add(Failure{ExitCode::kRemoteFile, "get " + RemoteName(spec) + ": no files match"});
    return outcome.exit();
}

}  // namespace

ExitCode RunGet(const Invocation& invocation) {
    std::vector<RemoteSpec> specs;
    Failure failure;
    if (!SplitRemoteArguments(invocation, {invocation.operands[0]}, true, &specs, &failure)) {
        return Reported(failure);
    }
    const RemoteSpec& spec = specs[0];
    const bool localGiven = invocation.operands.size() > 1;
    const std::string local = localGiven ? invocation.operands[1] : ".";
    if (localGiven && IsRemoteArgument(local)) {
        failure = UsageFailure("get copies to a local file; '" + local + "' is remote");
    } else if (HasWildcardInDirectory(spec.path)) {
        failure = UsageFailure("get: wildcards only in the file name: " + RemoteName(spec));
    } else if (HasWildcard(spec.path) && !IsDirectory(local)) {
        failure = UsageFailure("get: " + local + " must be a directory when the remote name has wildcards");
    } else if (!HasWildcard(spec.path) && RemoteBaseName(spec.path).empty()) {
        failure = UsageFailure("get: '" + RemoteName(spec) + "' names no file");
    } else if (!HasWildcard(spec.path) && IsDirectory(local) && !IsLocalFileName(RemoteBaseName(spec.path))) {
        // "[X]../a" or "sub/..": the remote name is no name for a file in LOCAL.
        failure = UsageFailure("get: '" + RemoteName(spec) + "' gives no local file name; name the local file");
    }
    std::string target;
    if (!failure.failed() && !HasWildcard(spec.path)) {
        target = IsDirectory(local) ? JoinLocal(local, RemoteBaseName(spec.path)) : local;
        failure = CheckDownloadTarget(target);
    }
    if (failure.failed()) return Reported(failure);

    std::unique_ptr<RemoteLink> link = Connect(invocation, spec, &failure);
    if (link == nullptr) return Reported(failure);
    std::unique_ptr<ProgressBar> progress = StartProgress(invocation, link.get());
    if (HasWildcard(spec.path)) return GetMatches(invocation, spec, local, link.get(), progress.get());

    Outcome outcome;
    outcome.Add(CopyFile(invocation, link.get(), progress.get(),
                         CopyRequest{RFA_COPY_DOWNLOAD, spec.path, RemoteName(spec), target}));
    return outcome.exit();
}

}  // namespace zelft
