// Every operation of the platform seam, and the ways each can really fail: the list the
// fake faults from and the fault sweep walks. The build holds it to platform.h
// (check_fault_ways.py): an operation added there without its line here fails the
// build. Zero ways only where a call cannot fail, with the word why.
#pragma once

#include <cstddef>
#include <cstring>

// Each operation: its name in platform.h, the name its calls are recorded under, its
// ways, and what they are, or why there is none.
#define FAULT_WAYS(X)                                                                    \
  X(ShowMessageBox, "ShowMessageBox", 1, "not shown")                                    \
  X(GetProfileStringA, "GetProfileStringA", 1, "unreadable: the default")                \
  X(WriteProfileStringA, "WriteProfileStringA", 0, "ignored")                            \
  X(GetPrivateProfileStringA, "GetPrivateProfileStringA", 1, "unreadable: the fallback") \
  X(GetOpenFileNameA, "GetOpenFileNameA", 1, "fails")                                    \
  X(IsLeadByte, "IsLeadByte", 0, "a fact of the code page")                              \
  X(FindPayloadResource, "FindPayloadResource", 1, "not found")                          \
  X(CreateOutputFile, "CreateOutputFile", 1, "no file")                                  \
  X(WriteOutputFile, "WriteOutputFile", 2, "fails, falls short")                         \
  X(FlushOutputFile, "FlushOutputFile", 2, "fails, not implemented")                     \
  X(StampWriteTime, "StampWriteTime", 1, "not set")                                      \
  X(SetFileAttributesByHandle, "SetFileAttributesByHandle", 1, "not set")                \
  X(MoveOpenFile, "MoveOpenFile", 2, "fails, meets a hold")                              \
  X(DeleteAndCloseFile, "DeleteAndCloseFile", 1, "not removed")                          \
  X(CloseOutputFile, "CloseOutputFile", 0, "ignored")                                    \
  X(OpenExistingFile, "OpenExistingFile", 2, "not found, a hold")                        \
  X(QueryOpenFile, "QueryOpenFile", 1, "no answer")                                      \
  X(ReadExistingFile, "ReadExistingFile", 2, "fails, falls short")                       \
  X(OpenHostFolder, "OpenHostFolder", 1, "not held")                                     \
  X(GetFinalPathName, "GetFinalPathName", 1, "no name")                                  \
  X(WidenName, "WidenName", 1, "not converted")                                          \
  X(GetFileAttributesInFolder, "GetFileAttributesInFolder", 1, "no answer")              \
  X(GetEnvironmentVariableA, "GetEnvironmentVariableA", 1, "not set")                    \
  X(GetLongPathNameA, "GetLongPathNameA", 1, "no long path")                             \
  X(GetSessionUserProfile, "GetSessionUserProfile", 1, "unknown")                        \
  X(Sleep, "Sleep", 0, "cannot fail")                                                    \
  X(ProbeFile, "ProbeFile", 1, "not found")                                              \
  X(ProbePattern, "ProbePattern", 1, "no match")                                         \
  X(EndProcess, "EndRun", 0, "does not return")

enum class Operation {
#define AS_ENUM(operation, name, ways, what) k##operation,
  FAULT_WAYS(AS_ENUM)
#undef AS_ENUM
      kCount
};

struct FaultWays {
  Operation operation;
  const char* name;  // as the fake records the call
  int ways;
  const char* what;  // the ways, or why there is none
};

inline constexpr FaultWays kFaultWays[] = {
#define AS_ROW(operation, name, ways, what) {Operation::k##operation, name, ways, what},
    FAULT_WAYS(AS_ROW)
#undef AS_ROW
};
static_assert(sizeof kFaultWays / sizeof kFaultWays[0] == static_cast<size_t>(Operation::kCount),
              "one row for each operation");

// The entry of an operation by the name its calls are recorded under; nullptr for none.
inline const FaultWays* FaultWaysOf(const char* name) {
  for (const FaultWays& entry : kFaultWays) {
    if (std::strcmp(entry.name, name) == 0) return &entry;
  }
  return nullptr;
}
