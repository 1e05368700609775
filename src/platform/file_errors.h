// The class of a Win32 error that a file operation ended with, keyed by its number: the
// map the Windows side applies to GetLastError, kept free of windows.h so that it is
// tested natively. win32_platform.cpp checks every number against winerror.h.
#pragma once

#include <stdint.h>

#include "platform/platform.h"

constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorLockViolation = 33;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorAlreadyExists = 183;

constexpr FileError FileErrorOf(uint32_t code) {
  switch (code) {
    case kErrorSuccess:
      return FileError::kNone;
    case kErrorSharingViolation:
    case kErrorLockViolation:
      return FileError::kSharing;
    case kErrorAccessDenied:
      return FileError::kAccessDenied;
    case kErrorFileExists:
    case kErrorAlreadyExists:
      return FileError::kExists;
    case kErrorFileNotFound:
    case kErrorPathNotFound:
      return FileError::kNotFound;
    case kErrorInvalidParameter:
    case kErrorInvalidFunction:
    case kErrorNotSupported:
      return FileError::kUnsupported;
    default:
      return FileError::kOther;
  }
}
