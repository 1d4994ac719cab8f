// What every command does to reach the server: split its remote arguments,
// check that they name one node and one user, settle the password and open
// the link.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zelft/command_line.h"
#include "zelft/failure.h"
#include "zelft/remote_link.h"
#include "zelft/remote_spec.h"

namespace zelft {

// Splits remote arguments; they must all name the same user and node, which
// must agree with --user when both are given. `pathRequired`: an empty path
// (NODE::) is refused.
bool SplitRemoteArguments(const Invocation& invocation, const std::vector<std::string>& arguments, bool pathRequired,
                          std::vector<RemoteSpec>* specs, Failure* failure);

// The user of a remote argument, or --user.
std::string UserFor(const Invocation& invocation, const RemoteSpec& spec);

// Opens a link to the node of `spec` with the invocation's user, password
// source and trace file.
std::unique_ptr<RemoteLink> Connect(const Invocation& invocation, const RemoteSpec& spec, Failure* failure);

// SplitRemoteArguments and Connect in one: null, with the failure in
// *failure, when either fails.
std::unique_ptr<RemoteLink> ConnectFor(const Invocation& invocation, const std::vector<std::string>& arguments,
                                       bool pathRequired, std::vector<RemoteSpec>* specs, Failure* failure);

// "node::path", how files are named in messages.
std::string RemoteName(const RemoteSpec& spec);

}  // namespace zelft
