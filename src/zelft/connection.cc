#include "zelft/connection.h"

#include "zelft/password_source.h"

namespace zelft {
namespace {

constexpr size_t kMostNameCharacters = 255;

}  // namespace

std::string RemoteName(const RemoteSpec& spec) { return spec.node + "::" + spec.path; }

std::string UserFor(const Invocation& invocation, const RemoteSpec& spec) {
    return spec.user.empty() ? invocation.user : spec.user;
}

bool SplitRemoteArguments(const Invocation& invocation, const std::vector<std::string>& arguments, bool pathRequired,
                          std::vector<RemoteSpec>* specs, Failure* failure) {
    specs->clear();
    for (const std::string& argument : arguments) {
        RemoteSpec spec;
        std::string error;
        if (!ParseRemoteSpec(argument, &spec, &error)) {
            *failure = UsageFailure(error);
            return false;
        }
        if (pathRequired && spec.path.empty()) {
            *failure = UsageFailure("'" + argument + "' names no file");
            return false;
        }
        if (spec.path.size() > kMostNameCharacters) {
            *failure = UsageFailure("remote name longer than 255 characters: " + argument);
            return false;
        }
        if (!spec.user.empty() && !invocation.user.empty() && spec.user != invocation.user) {
            *failure = UsageFailure("'" + argument + "' names user " + spec.user + " but --user is " + invocation.user);
            return false;
        }
        if (!specs->empty() && (spec.node != specs->front().node || UserFor(invocation, spec) !=
                                                                         UserFor(invocation, specs->front()))) {
            *failure = UsageFailure("all remote files of one command must be on one node, for one user");
            return false;
        }
        specs->push_back(std::move(spec));
    }
    return true;
}

std::unique_ptr<RemoteLink> Connect(const Invocation& invocation, const RemoteSpec& spec, Failure* failure) {
    LinkSettings settings;
    settings.node = spec.node;
    settings.user = UserFor(invocation, spec);
    settings.traceFile = invocation.traceFile;
    settings.traceAppend = invocation.traceAppend;
    settings.verbose = invocation.verbose;
    if (!IsValidUserName(settings.user)) {
        *failure = UsageFailure("bad user name '" + settings.user + "'");
        return nullptr;
    }
    std::string error;
    if (ObtainPassword(invocation.passwordFile, settings.user, settings.node, &settings.password, &error) ==
        PasswordResult::kError) {
        *failure = LocalFailure(error);
        return nullptr;
    }
    std::unique_ptr<RemoteLink> link = RemoteLink::Open(settings, failure);
    settings.password.assign(settings.password.size(), '\0');
    return link;
}


std::unique_ptr<RemoteLink> ConnectFor(const Invocation& invocation, const std::vector<std::string>& arguments,
                                       bool pathRequired, std::vector<RemoteSpec>* specs, Failure* failure) {
    if (!SplitRemoteArguments(invocation, arguments, pathRequired, specs, failure)) return nullptr;
    return Connect(invocation, specs->front(), failure);
}

}  // namespace zelft
