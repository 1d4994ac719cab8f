// Which names a wildcard get asked for. A server answers the pattern with a
// listing, and zelft copies a listed file only when its name matches the
// pattern it sent: a server that lists other names (".bashrc" for "*.txt")
// cannot make a get write files the user did not ask for. "*" stands for
// any run of characters, "%" for exactly one, as the server's own matcher
// reads them.
#pragma once

#include <string_view>

namespace zelft {

// Whether a listed file may be copied under `localName` (its name without
// directory and version, as RemoteBaseName gives it) for `pattern` (the
// file part of the remote name): a local file name (IsLocalFileName: not
// "", "." or "..", no "/" or NUL; "*" would match "../x") that matches the
// pattern as a server may read it:
// - as it is (a Unix server compares names byte for byte);
// - without a version, the pattern cut before one of its ";" (a server may
//   take what follows as a version and match the listed one against it);
// - ignoring the case of ASCII letters and the pattern's version, a pattern
//   without "." standing for NAME.* and a name without "." as NAME. (a
//   server of NAME.TYPE;VERSION names).
bool ListedNameFits(std::string_view pattern, std::string_view localName);

}  // namespace zelft
