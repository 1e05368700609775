// The Win32 side's portable maps: the arguments of each kind of open, and the class of
// each error those opens answer with.
#include <gtest/gtest.h>

#include <utility>

#include "platform/file_errors.h"
#include "platform/narrowing.h"
#include "platform/open_arguments.h"

namespace {

// A name in the folder is opened as itself, never where a link leads; the folder is held
// following links, with data access and without delete sharing, so it cannot be renamed.
TEST(OpenArguments, HowEachKindOfOpenCallsCreateFile) {
  for (OpenKind kind : kOpenKinds) {
    SCOPED_TRACE(static_cast<int>(kind));
    OpenArguments open = OpenArgumentsFor(kind);
    bool folder = kind == OpenKind::kHostFolder;
    bool query = kind == OpenKind::kToQuery;
    EXPECT_EQ((open.flags & 0x200000) != 0, !folder) << "FILE_FLAG_OPEN_REPARSE_POINT";
    EXPECT_EQ((open.flags & 0x02000000) != 0, folder || query) << "FILE_FLAG_BACKUP_SEMANTICS";
    EXPECT_EQ((open.access & 0xC0010000) == 0 && (open.sharing & 0x7) == 0x7, query)
        << "attributes alone, no read, write or delete: no hold refuses it";
    EXPECT_EQ(open.disposition, kind == OpenKind::kNewFile ? 1u : 3u);
    if (folder) {
      EXPECT_EQ(open.sharing, 0x3u) << "read and write, not delete";
      EXPECT_NE(open.access & 0x1, 0u) << "FILE_LIST_DIRECTORY: data access, so sharing counts";
    }
  }
}

TEST(FileErrors, TheClassOfEachWin32Error) {
  const std::pair<uint32_t, FileError> cases[] = {
      {0, FileError::kNone},         {1, FileError::kUnsupported},  {2, FileError::kNotFound},
      {3, FileError::kNotFound},     {5, FileError::kAccessDenied}, {32, FileError::kSharing},
      {33, FileError::kSharing},     {50, FileError::kUnsupported}, {80, FileError::kExists},
      {87, FileError::kUnsupported}, {183, FileError::kExists},     {112, FileError::kOther},
      {665, FileError::kOther},      {1920, FileError::kOther},
  };
  for (const auto& c : cases) EXPECT_EQ(FileErrorOf(c.first), c.second) << c.first;
}

// Where the ANSI code page is UTF-8 or GB 18030 the conversion takes no best-fit flag and
// no used-default pointer, or it fails for every name; elsewhere it takes both.
TEST(Narrowing, TheFlagsOfEachAnsiCodePage) {
  const std::pair<uint32_t, bool> cases[] = {{65001, true}, {54936, true}, {1252, false},
                                             {932, false},  {1251, false}, {874, false}};
  for (const auto& c : cases) {
    Narrowing narrowing = NarrowingFor(c.first);
    EXPECT_EQ(narrowing.flags, c.second ? 0x80u : 0x400u) << c.first;
    EXPECT_EQ(narrowing.asksUsedDefault, !c.second) << c.first;
  }
}

}  // namespace
