// What the extraction's tests share: the host folder they write into, and a run of the
// extraction that ends as the process would.
#pragma once

#include <string>

#include "common/messages.h"
#include "support/fake_platform.h"

inline const char kFolder[] = "C:\\TORVIX";

// The path of a name in kFolder.
std::string InFolder(const std::string& name);

// Extracts the payload into kFolder until the extraction returns or the run ends.
void Extract(FakePlatform& platform);

// The box text of an entry that could not be put in place.
inline std::string EntryFailed(const std::string& name) { return name + kEntryFailed; }

// How many of the recorded calls start with prefix.
size_t CountCalls(const FakePlatform& platform, const std::string& prefix);
