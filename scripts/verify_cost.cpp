// Times the installer's damage check: the CRC-32 of every RCDATA resource, read in place.
// The first pass also maps the payload in (as the writes would); the second reads it mapped.
//
//   verify_cost.exe SETUP_EXE    prints: bytes, first pass ms, second pass ms
#include <stdio.h>
#include <windows.h>

#include "payload/crc32.h"
#include "payload/crc32_ways.h"

namespace {

struct Totals {
  HMODULE module;
  unsigned long long bytes;
  uint32_t combined;
};

BOOL CALLBACK CheckOne(HMODULE module, LPCSTR, LPSTR name, LONG_PTR context) {
  Totals& totals = *reinterpret_cast<Totals*>(context);
  HRSRC info = FindResourceA(module, name, MAKEINTRESOURCEA(10));
  DWORD size = SizeofResource(module, info);
  const unsigned char* bytes =
      static_cast<const unsigned char*>(LockResource(LoadResource(module, info)));
  totals.combined ^= Crc32(bytes, size);
  totals.bytes += size;
  return TRUE;
}

double Pass(Totals& totals) {
  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  totals.bytes = 0;
  EnumResourceNamesA(totals.module, MAKEINTRESOURCEA(10), CheckOne,
                     reinterpret_cast<LONG_PTR>(&totals));
  QueryPerformanceCounter(&end);
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  // Mapped as an image, as the loader maps the running installer.
  Totals totals = {LoadLibraryExA(argv[1], nullptr, DONT_RESOLVE_DLL_REFERENCES), 0, 0};
  if (totals.module == nullptr) return 1;
  double first = Pass(totals);
  double second = Pass(totals);
  printf("%llu %.2f %.2f %d\n", totals.bytes, first, second, Crc32FoldingSupported() ? 1 : 0);
  return 0;
}
