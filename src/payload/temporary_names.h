#pragma once

// A file that already exists is replaced only by a complete copy, written beside it
// under the first of these names that can be created new. The first is the
// installer's own; the others, of the same length, are tried when an entry already
// holds it. None is longer than the host program's name, so their paths fit wherever
// the host was found.
constexpr unsigned kTemporaryNameCount = 4;
inline constexpr const char* kTemporaryNames[kTemporaryNameCount] = {"~setup.tmp", "~setup.tm1",
                                                                     "~setup.tm2", "~setup.tm3"};
