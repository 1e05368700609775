// Every operation of the platform seam, and the ways each can really fail: the list the
// fake faults from and the fault sweep walks. The build holds it to platform.h
// (check_fault_ways.py): an operation added there without its line here fails the
// build. Zero ways only where a call cannot fail, with the word why.
#pragma once

#include <cstddef>
#include <cstring>

enum class Operation {
  kShowMessageBox,
  kGetProfileStringA,
  kWriteProfileStringA,
  kGetPrivateProfileStringA,
  kGetOpenFileNameA,
  kIsLeadByte,
  kFindPayloadResource,
  kCreateOutputFile,
  kWriteOutputFile,
  kFlushOutputFile,
  kStampWriteTime,
  kSetFileAttributesByHandle,
  kMoveOpenFile,
  kDeleteAndCloseFile,
  kCloseOutputFile,
  kOpenExistingFile,
  kQueryOpenFile,
  kReadExistingFile,
  kOpenHostFolder,
  kGetFinalPathName,
  kWidenName,
  kGetFileAttributesA,
  kGetEnvironmentVariableA,
  kGetLongPathNameA,
  kGetSessionUserProfile,
  kSleep,
  kProbeFile,
  kProbePattern,
  kEndProcess,
  kCount
};

struct FaultWays {
  Operation operation;
  const char* name;  // as the fake records the call
  int ways;
  const char* what;  // the ways, or why there is none
};

inline constexpr FaultWays kFaultWays[] = {
    {Operation::kShowMessageBox, "ShowMessageBox", 1, "not shown"},
    {Operation::kGetProfileStringA, "GetProfileStringA", 1, "unreadable: the default"},
    {Operation::kWriteProfileStringA, "WriteProfileStringA", 0, "ignored"},
    {Operation::kGetPrivateProfileStringA, "GetPrivateProfileStringA", 1,
     "unreadable: the fallback"},
    {Operation::kGetOpenFileNameA, "GetOpenFileNameA", 1, "fails"},
    {Operation::kIsLeadByte, "IsLeadByte", 0, "a fact of the code page"},
    {Operation::kFindPayloadResource, "FindPayloadResource", 1, "not found"},
    {Operation::kCreateOutputFile, "CreateOutputFile", 1, "no file"},
    {Operation::kWriteOutputFile, "WriteOutputFile", 2, "fails, falls short"},
    {Operation::kFlushOutputFile, "FlushOutputFile", 1, "fails"},
    {Operation::kStampWriteTime, "StampWriteTime", 1, "not set"},
    {Operation::kSetFileAttributesByHandle, "SetFileAttributesByHandle", 1, "not set"},
    {Operation::kMoveOpenFile, "MoveOpenFile", 2, "fails, meets a hold"},
    {Operation::kDeleteAndCloseFile, "DeleteAndCloseFile", 1, "not removed"},
    {Operation::kCloseOutputFile, "CloseOutputFile", 0, "ignored"},
    {Operation::kOpenExistingFile, "OpenExistingFile", 2, "not found, a hold"},
    {Operation::kQueryOpenFile, "QueryOpenFile", 1, "no answer"},
    {Operation::kReadExistingFile, "ReadExistingFile", 2, "fails, falls short"},
    {Operation::kOpenHostFolder, "OpenHostFolder", 1, "not held"},
    {Operation::kGetFinalPathName, "GetFinalPathName", 1, "no name"},
    {Operation::kWidenName, "WidenName", 1, "not converted"},
    {Operation::kGetFileAttributesA, "GetFileAttributesA", 1, "no answer"},
    {Operation::kGetEnvironmentVariableA, "GetEnvironmentVariableA", 1, "not set"},
    {Operation::kGetLongPathNameA, "GetLongPathNameA", 1, "no long path"},
    {Operation::kGetSessionUserProfile, "GetSessionUserProfile", 1, "unknown"},
    {Operation::kSleep, "Sleep", 0, "cannot fail"},
    {Operation::kProbeFile, "ProbeFile", 1, "not found"},
    {Operation::kProbePattern, "ProbePattern", 1, "no match"},
    {Operation::kEndProcess, "EndRun", 0, "does not return"},
};

constexpr bool EveryOperationInItsPlace() {
  size_t count = sizeof kFaultWays / sizeof kFaultWays[0];
  if (count != static_cast<size_t>(Operation::kCount)) return false;
  for (size_t i = 0; i < count; ++i) {
    if (static_cast<size_t>(kFaultWays[i].operation) != i) return false;
  }
  return true;
}
static_assert(EveryOperationInItsPlace(), "one line for each operation, in the enum's order");

// The entry of an operation by the name its calls are recorded under; nullptr for none.
inline const FaultWays* FaultWaysOf(const char* name) {
  for (const FaultWays& entry : kFaultWays) {
    if (std::strcmp(entry.name, name) == 0) return &entry;
  }
  return nullptr;
}
