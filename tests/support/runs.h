// How the tests run the logic against the fake: the whole run, or the extraction alone
// into the host folder they share, each until it returns or ends the process as the
// process would, and each checked to leave no handle open.
#pragma once

#include <string>

#include "common/messages.h"
#include "support/fake_platform.h"

inline const char kFolder[] = "C:\\TORVIX";

// The path of a name in kFolder.
std::string InFolder(const std::string& name);

// Runs the whole installer until it ends, which it must through the one exit.
void RunToEnd(FakePlatform& platform);

// Extracts the payload into kFolder until the extraction returns or the run ends.
void Extract(FakePlatform& platform);

// The box text of an entry that could not be put in place.
inline std::string EntryFailed(const std::string& name) { return name + kEntryFailed; }

// The box text of a resource that is kResourceNotFound, kResourceMalformed or kResourceDamaged.
inline std::string ResourceFault(const std::string& name, const char* fault) {
  return kResourceOpening + name + kResourceNameEnd + fault + kResourceClosing;
}
