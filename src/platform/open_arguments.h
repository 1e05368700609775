// How each kind of open in the host folder calls CreateFile: the access, the sharing,
// the disposition and the flags, decided here and nowhere else, free of windows.h so
// that a native test holds every kind to its rules. win32_platform.cpp checks every
// number against the Windows headers.
#pragma once

#include <stdint.h>

constexpr uint32_t kAccessGenericRead = 0x80000000;
constexpr uint32_t kAccessGenericWrite = 0x40000000;
constexpr uint32_t kAccessDelete = 0x00010000;
constexpr uint32_t kAccessListDirectory = 0x0001;
constexpr uint32_t kAccessReadAttributes = 0x0080;
constexpr uint32_t kAccessWriteAttributes = 0x0100;
constexpr uint32_t kShareRead = 0x1;
constexpr uint32_t kShareWrite = 0x2;
constexpr uint32_t kShareDelete = 0x4;
constexpr uint32_t kDispositionCreateNew = 1;
constexpr uint32_t kDispositionOpenExisting = 3;
constexpr uint32_t kFlagAttributeNormal = 0x80;
constexpr uint32_t kFlagOpenReparsePoint = 0x00200000;
constexpr uint32_t kFlagBackupSemantics = 0x02000000;

enum class OpenKind {
  kNewFile,     // a payload file or a copy, created only where no entry has the name
  kToStamp,     // a file already there, read and given its time
  kToRemove,    // a file already there, removed through its handle
  kToQuery,     // an entry already there, a folder too, only asked its attributes
  kHostFolder,  // the host folder itself, held for the run
};
constexpr OpenKind kOpenKinds[] = {OpenKind::kNewFile, OpenKind::kToStamp, OpenKind::kToRemove,
                                   OpenKind::kToQuery, OpenKind::kHostFolder};

struct OpenArguments {
  uint32_t access;
  uint32_t sharing;
  uint32_t disposition;
  uint32_t flags;
};

// A name in the folder is always opened as itself (FILE_FLAG_OPEN_REPARSE_POINT): a
// create through a link whose target is missing would otherwise create the target
// (Microsoft Learn, "Symbolic Link Effects on File Systems Functions"), and an open
// would reach what the link points to. The folder is opened following links, as the
// path leads now, with data access so that its sharing counts, and without delete
// sharing, so that neither it nor a folder above it can be renamed during the run.
constexpr OpenArguments OpenArgumentsFor(OpenKind kind) {
  switch (kind) {
    case OpenKind::kNewFile:
      // Delete access lets the file be moved and removed through this very handle.
      return {kAccessGenericRead | kAccessGenericWrite | kAccessDelete, 0, kDispositionCreateNew,
              kFlagAttributeNormal | kFlagOpenReparsePoint};
    case OpenKind::kToStamp:
      // Its bytes are never written through this handle; others may only read it.
      return {kAccessGenericRead | kAccessWriteAttributes, kShareRead, kDispositionOpenExisting,
              kFlagOpenReparsePoint};
    case OpenKind::kToRemove:
      return {kAccessDelete | kAccessReadAttributes, kShareRead | kShareWrite | kShareDelete,
              kDispositionOpenExisting, kFlagOpenReparsePoint};
    case OpenKind::kToQuery:
      // Attributes alone meet no sharing: another program's hold never refuses it.
      return {kAccessReadAttributes, kShareRead | kShareWrite | kShareDelete,
              kDispositionOpenExisting, kFlagOpenReparsePoint | kFlagBackupSemantics};
    case OpenKind::kHostFolder:
      return {kAccessListDirectory | kAccessReadAttributes, kShareRead | kShareWrite,
              kDispositionOpenExisting, kFlagBackupSemantics};
  }
  return {0, 0, 0, 0};
}
