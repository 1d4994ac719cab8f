// put: local files copied to the server, one by one.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "zelft/commands.h"
#include "zelft/connection.h"
#include "zelft/copy_names.h"
#include "zelft/file_copy.h"

namespace zelft {
namespace {

constexpr size_t kMostNameCharacters = 255;

// A local file that can be sent: a regular file we may read.
Failure CheckLocalSource(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return LocalFailure("put " + path + ": " + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) return LocalFailure("put " + path + ": not a regular file");
    if (::access(path.c_str(), R_OK) != 0) return LocalFailure("put " + path + ": " + std::strerror(errno));
    return Failure{};
}

}  // namespace

ExitCode RunPut(const Invocation& invocation) {
    const std::vector<std::string> locals(invocation.operands.begin(), invocation.operands.end() - 1);
    std::vector<RemoteSpec> specs;
    Failure failure;
    if (!SplitRemoteArguments(invocation, {invocation.operands.back()}, false, &specs, &failure)) {
        return Reported(failure);
    }
    const RemoteSpec& spec = specs[0];
    const bool intoDirectory = locals.size() > 1 || NamesRemoteDirectory(spec.path);

    Outcome outcome;
    std::vector<CopyRequest> requests;
    for (const std::string& local : locals) {
        if (IsRemoteArgument(local)) {
            outcome.Add(UsageFailure("put copies local files; '" + local + "' is remote"));
            return outcome.exit();
        }
        const Failure problem = CheckLocalSource(local);
        if (problem.failed()) {
            outcome.Add(problem);
            continue;
        }
        CopyRequest request;
        request.direction = RFA_COPY_UPLOAD;
        request.localPath = local;
        request.remotePath = intoDirectory ? RemoteNameInDirectory(spec.path, LocalBaseName(local)) : spec.path;
        request.remoteName = spec.node + "::" + request.remotePath;
        if (request.remotePath.size() > kMostNameCharacters) {
            outcome.Add(UsageFailure("put: remote name longer than 255 characters: " + request.remoteName));
            continue;
        }
        requests.push_back(std::move(request));
    }
    if (requests.empty()) return outcome.exit();

    std::unique_ptr<RemoteLink> link = Connect(invocation, spec, &failure);
    if (link == nullptr) {
        outcome.Add(failure);
        return outcome.exit();
    }
    std::unique_ptr<ProgressBar> progress = StartProgress(invocation, link.get());
    for (const CopyRequest& request : requests) {
        outcome.Add(CopyFile(invocation, link.get(), progress.get(), request));
        if (outcome.linkLost()) break;
    }
    return outcome.exit();
}

}  // namespace zelft
