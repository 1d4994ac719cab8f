// Names on both sides of a copy: the directory part and the file part of a
// remote name ("sub/a.txt", "[SUB]A.TXT;1"), wildcards, and the
// local or remote name a copied file gets.
#pragma once

#include <string>
#include <string_view>

namespace zelft {

// Whether the file part of a remote name holds a wildcard (* or %).
bool HasWildcard(std::string_view remotePath);

// Whether the directory part of a remote name holds a wildcard.
bool HasWildcardInDirectory(std::string_view remotePath);

// The directory part, up to and including the last "/" or "]"; "" for none.
std::string_view RemoteDirectoryPart(std::string_view remotePath);

// The file part, after the directory part, as it is ("A.TXT;1", "*.txt").
std::string_view RemoteFilePart(std::string_view remotePath);

// The file part without directory and without a ";version".
std::string RemoteBaseName(std::string_view remotePath);

// Whether a remote name names a directory rather than a file: empty, or
// ending in "/" or in the closing bracket of "[DIR]" ("<DIR>", "DEV:[DIR]").
bool NamesRemoteDirectory(std::string_view remotePath);

// The remote name of a file copied into a remote directory: "dir/" + name,
// with a "/" added after a directory given without one.
std::string RemoteNameInDirectory(std::string_view remoteDirectory, std::string_view name);

// The last component of a local path ("a/b.txt" gives "b.txt").
std::string LocalBaseName(std::string_view localPath);

// The directory a local path lies in ("a/b.txt" gives "a", "b.txt" gives ".").
std::string LocalDirectoryOf(std::string_view localPath);

// Whether `name` can be a file's name in a local directory as it is: one
// path component, not "", "." or "..", without "/" or NUL. A name the
// server chose ("[]../../x", "[X]sub/y") is written only when it is one, so
// that a copy never lands outside the directory the user named.
bool IsLocalFileName(std::string_view name);

// "dir" + "/" + name, without doubling a "/".
std::string JoinLocal(std::string_view directory, std::string_view name);

}  // namespace zelft
