// The benchmark's floor: only the irreducible work of one road (empty, repair, upgrade) on
// an installer's payload, read in place, with no checks; with --boxes, the fair floor,
// which also shows the two boxes (docs/benchmarks.md). Exit status 0 when all was done.
//
//   bench_floor.exe ROAD SETUP_EXE FOLDER [--boxes]
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "common/messages.h"
#include "payload/resource_layout.h"

namespace {

constexpr DWORD kPiece = 32768;

struct Resource {
  const unsigned char* bytes;
  DWORD size;
};

bool Find(HMODULE module, const char* name, Resource& resource) {
  HRSRC info = FindResourceA(module, name, RT_RCDATA);
  if (info == nullptr) return false;
  resource.size = SizeofResource(module, info);
  resource.bytes = static_cast<const unsigned char*>(LockResource(LoadResource(module, info)));
  return resource.bytes != nullptr;
}

bool FindEntry(HMODULE module, EntryKind kind, unsigned index, Resource& resource) {
  char name[16];
  snprintf(name, sizeof name, "%s%0*u", kEntryKindNames[kind], static_cast<int>(kIndexDigits),
           index);
  return Find(module, name, resource);
}

void Stamp(HANDLE file, const unsigned char* time) {
  DWORD stamp = ReadLittleEndian32(time);
  FILETIME local;
  FILETIME universal;
  if (DosDateTimeToFileTime(HIWORD(stamp), LOWORD(stamp), &local) &&
      LocalFileTimeToFileTime(&local, &universal)) {
    SetFileTime(file, nullptr, nullptr, &universal);
  }
}

bool Write(HANDLE file, const Resource& data) {
  for (DWORD offset = 0; offset < data.size || offset == 0; offset += kPiece) {
    DWORD piece = data.size - offset < kPiece ? data.size - offset : kPiece;
    DWORD written = 0;
    if (!WriteFile(file, data.bytes + offset, piece, &written, nullptr) || written != piece) {
      return false;
    }
    if (data.size == 0) break;
  }
  return true;
}

bool Compare(HANDLE file, const Resource& data) {
  static unsigned char buffer[kPiece];
  for (DWORD offset = 0; offset < data.size; offset += kPiece) {
    DWORD piece = data.size - offset < kPiece ? data.size - offset : kPiece;
    DWORD read = 0;
    if (!ReadFile(file, buffer, piece, &read, nullptr) || read != piece ||
        memcmp(buffer, data.bytes + offset, piece) != 0) {
      return false;
    }
  }
  return true;
}

bool DoRoad(const char* road, const char* path, const char* temporary, const Resource& time,
            const Resource& data) {
  const bool repair = strcmp(road, "repair") == 0;
  const bool upgrade = strcmp(road, "upgrade") == 0;
  HANDLE file = repair ? CreateFileA(path, GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr)
                       : CreateFileA(upgrade ? temporary : path, GENERIC_READ | GENERIC_WRITE, 0,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool done = repair ? Compare(file, data) : Write(file, data);
  Stamp(file, time.bytes);
  if (upgrade) done = FlushFileBuffers(file) && done;
  CloseHandle(file);
  return done && (!upgrade ||
                  MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

using MessageBoxFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);

// MessageBoxA of user32 from the system folder, as the installer loads it; nullptr for
// the bare floor.
MessageBoxFunction BoxesOfTheSystem(bool wanted) {
  if (!wanted) return nullptr;
  HMODULE user = LoadLibraryExA("user32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return reinterpret_cast<MessageBoxFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(user, "MessageBoxA")));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && strcmp(argv[4], "--boxes") == 0)) return 2;
  MessageBoxFunction box = BoxesOfTheSystem(argc == 5);
  if (argc == 5 && box == nullptr) return 2;
  if (box != nullptr) box(nullptr, kConfirmationOpening, kConfirmationCaption, MB_OKCANCEL);
  HMODULE module = LoadLibraryExA(argv[2], nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  Resource files;
  if (module == nullptr || !Find(module, kCountResource, files) || files.size < 1) return 2;
  char temporary[MAX_PATH];
  snprintf(temporary, sizeof temporary, "%s\\~floor.tmp", argv[3]);
  for (unsigned index = 1; index <= files.bytes[0]; ++index) {
    Resource name;
    Resource time;
    Resource data;
    if (!FindEntry(module, kEntryName, index, name) ||
        !FindEntry(module, kEntryTime, index, time) ||
        !FindEntry(module, kEntryData, index, data)) {
      return 1;
    }
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%s", argv[3], reinterpret_cast<const char*>(name.bytes));
    if (!DoRoad(argv[1], path, temporary, time, data)) return 1;
  }
  if (box != nullptr) box(nullptr, kCompletionOpening, kCompletionCaption, MB_OK);
  return 0;
}
