/* Drives setup.exe under Wine as a person would: starts it, waits for each of its
 * windows, prints what the window says and answers it, then prints the exit status.
 *
 *   driver.exe [--hold PATH | --hold-shared PATH [--release-when FILE --release-after MS]]
 *              [--timeout SECONDS] [--shots FOLDER] [--cwd FOLDER] PROGRAM ANSWER...
 *
 * ANSWER: ok or cancel (a button of a box or of the open-file dialog), close (its close
 * box), or file=PATH (typed as the dialog's file name, then OK). Output, a line a window,
 * with \r, \n and \t written as such:
 *   BOX<TAB>caption<TAB>text<TAB>ok|okcancel<TAB>error|none, DIALOG<TAB>title, EXIT<TAB>status
 * --hold holds PATH without sharing from before the start (--hold-shared lets others read
 * it), until MS milliseconds after FILE appears, or for good. --cwd starts PROGRAM in
 * FOLDER; --shots saves each window as the screen shows it to FOLDER\NN.bmp. A window
 * after the last answer prints UNANSWERED (exit 3); a longer wait, TIMEOUT (exit 4).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#define MESSAGE_TEXT_ID 0xFFFF
#define FILE_NAME_COMBO_ID 0x47C
#define FILE_NAME_EDIT_ID 0x480

static DWORD target_process;
static HWND found_window;
static HWND answered_window;

static BOOL CALLBACK find_window(HWND window, LPARAM unused) {
  DWORD process = 0;
  char class_name[64];
  (void)unused;
  GetWindowThreadProcessId(window, &process);
  if (process != target_process || window == answered_window || !IsWindowVisible(window)) {
    return TRUE;
  }
  GetClassNameA(window, class_name, sizeof class_name);
  if (strcmp(class_name, "#32770") != 0) return TRUE;
  found_window = window;
  return FALSE;
}

static void print_escaped(const char* text) {
  for (; *text != '\0'; ++text) {
    const char* escape = strchr("\r\n\t", *text);
    if (escape != NULL) {
      putchar('\\');
      putchar("rnt"[escape - "\r\n\t"]);
    } else {
      putchar(*text);
    }
  }
}

static BOOL CALLBACK find_icon(HWND child, LPARAM result) {
  char class_name[64];
  GetClassNameA(child, class_name, sizeof class_name);
  if (_stricmp(class_name, "Static") == 0 &&
      (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
      SendMessageA(child, STM_GETICON, 0, 0) != 0) {
    *(BOOL*)result = TRUE;
    return FALSE;
  }
  return TRUE;
}

/* Prints what the window says. */
static void describe(HWND window) {
  static char text[4096];
  char caption[512];
  HWND message = GetDlgItem(window, MESSAGE_TEXT_ID);
  GetWindowTextA(window, caption, sizeof caption);
  if (message != NULL) {
    BOOL icon = FALSE;
    GetWindowTextA(message, text, sizeof text);
    EnumChildWindows(window, find_icon, (LPARAM)&icon);
    fputs("BOX\t", stdout);
    print_escaped(caption);
    putchar('\t');
    print_escaped(text);
    printf("\t%s\t%s\n", GetDlgItem(window, IDCANCEL) != NULL ? "okcancel" : "ok",
           icon ? "error" : "none");
  } else {
    fputs("DIALOG\t", stdout);
    print_escaped(caption);
    putchar('\n');
  }
  fflush(stdout);
}

static void answer(HWND window, const char* what) {
  if (strncmp(what, "file=", 5) == 0) {
    HWND name = GetDlgItem(window, FILE_NAME_COMBO_ID);
    if (name == NULL) name = GetDlgItem(window, FILE_NAME_EDIT_ID);
    SetWindowTextA(name, what + 5);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
  } else if (strcmp(what, "ok") == 0 || strcmp(what, "cancel") == 0) {
    PostMessageA(window, WM_COMMAND, what[0] == 'o' ? IDOK : IDCANCEL, 0);
  } else if (strcmp(what, "close") == 0) {
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else {
    printf("BADANSWER\t%s\n", what);
    exit(2);
  }
}

/* What the screen shows of the window, as 24-bit bottom-up rows (malloc'd; size bytes). */
static unsigned char* capture(HWND window, BITMAPINFOHEADER* info, DWORD* size) {
  RECT r;
  GetWindowRect(window, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);

  *info = (BITMAPINFOHEADER){.biSize = sizeof *info, .biPlanes = 1, .biBitCount = 24};
  info->biWidth = width;
  info->biHeight = height;
  *size = (DWORD)((width * 3 + 3) & ~3) * (DWORD)height;
  unsigned char* pixels = (unsigned char*)calloc(1, *size ? *size : 1);
  GetDIBits(memory, bitmap, 0, (UINT)info->biHeight, pixels, (BITMAPINFO*)info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
  return pixels;
}

/* Saves the window as a BMP file once it has finished drawing: two captures 200 ms
   apart must be alike (the dialog fills its folder view after it shows, and under an
   emulator its controls draw one by one), ten seconds at most. */
static void save_shot(HWND window, const char* folder, int number) {
  BITMAPINFOHEADER info;
  DWORD size;
  unsigned char* pixels = capture(window, &info, &size);
  for (int look = 0; look < 50; ++look) { /* never settled: the last look is saved */
    Sleep(200);
    unsigned char* earlier = pixels;
    DWORD earlier_size = size;
    pixels = capture(window, &info, &size);
    BOOL settled = size == earlier_size && memcmp(pixels, earlier, size) == 0;
    free(earlier);
    if (settled) break;
  }

  BITMAPFILEHEADER file = {.bfType = 0x4D42, .bfOffBits = sizeof file + sizeof info};
  file.bfSize = file.bfOffBits + size;
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%s\\%02d.bmp", folder, number);
  FILE* out = fopen(path, "wb");
  if (out != NULL) {
    fwrite(&file, sizeof file, 1, out);
    fwrite(&info, sizeof info, 1, out);
    fwrite(pixels, 1, size, out);
    fclose(out);
  }
  free(pixels);
}

/* Waits for a new window of the process; NULL when the process ended first. */
static HWND wait_for_window(HANDLE process, DWORD timeout_ms) {
  DWORD waited = 0;
  /* Every look is a round trip to the Wine server: 10 ms at first, growing to 50. */
  DWORD step = 10;
  for (;;) {
    /* The window answered last must be gone before its successor can be told apart. */
    if (answered_window != NULL && !IsWindow(answered_window)) answered_window = NULL;
    found_window = NULL;
    EnumWindows(find_window, 0);
    if (found_window != NULL) {
      /* Answered once the program waits for input: the window has finished drawing. */
      WaitForInputIdle(process, 1000);
      return found_window;
    }
    if (WaitForSingleObject(process, step) == WAIT_OBJECT_0) return NULL;
    waited += step;
    if (step < 50) step += 10;
    if (waited >= timeout_ms) {
      puts("TIMEOUT");
      fflush(stdout);
      TerminateProcess(process, 1);
      exit(4);
    }
  }
}

static HANDLE held = INVALID_HANDLE_VALUE;
static const char* release_when = NULL;
static DWORD release_after_ms = 0;

/* Lets go of the held file a while after another file appears. */
static DWORD WINAPI release_later(LPVOID unused) {
  (void)unused;
  while (GetFileAttributesA(release_when) == INVALID_FILE_ATTRIBUTES) Sleep(5);
  Sleep(release_after_ms);
  CloseHandle(held);
  held = INVALID_HANDLE_VALUE;
  return 0;
}

int main(int argc, char** argv) {
  STARTUPINFOA startup = {.cb = sizeof startup};
  PROCESS_INFORMATION info;
  DWORD timeout_ms = 30000;
  const char* shots = NULL;
  const char* cwd = NULL;
  int shot = 0;
  int i = 1;

  for (; i < argc && strncmp(argv[i], "--", 2) == 0; i += 2) {
    if (i + 1 >= argc) return 2;
    if (strcmp(argv[i], "--hold") == 0 || strcmp(argv[i], "--hold-shared") == 0) {
      DWORD sharing = strcmp(argv[i], "--hold-shared") == 0 ? FILE_SHARE_READ : 0;
      held = CreateFileA(argv[i + 1], GENERIC_READ, sharing, NULL, OPEN_EXISTING, 0, NULL);
      if (held == INVALID_HANDLE_VALUE) {
        printf("HOLDFAILED\t%s\n", argv[i + 1]);
        return 2;
      }
    } else if (strcmp(argv[i], "--release-when") == 0) {
      release_when = argv[i + 1];
    } else if (strcmp(argv[i], "--release-after") == 0) {
      release_after_ms = (DWORD)atoi(argv[i + 1]);
    } else if (strcmp(argv[i], "--timeout") == 0) {
      timeout_ms = (DWORD)atoi(argv[i + 1]) * 1000;
    } else if (strcmp(argv[i], "--shots") == 0) {
      shots = argv[i + 1];
    } else if (strcmp(argv[i], "--cwd") == 0) {
      cwd = argv[i + 1];
    } else if (strcmp(argv[i], "--short-path") == 0) {
      /* Only prints the 8.3 form of a path, as this Wine makes it. */
      char shortened[MAX_PATH + 1];
      DWORD length = GetShortPathNameA(argv[i + 1], shortened, sizeof shortened);
      if (length == 0 || length >= sizeof shortened) return 2;
      printf("SHORT\t%s\n", shortened);
      return 0;
    } else {
      return 2;
    }
  }
  if (i >= argc) return 2;

  if (!CreateProcessA(argv[i], NULL, NULL, NULL, FALSE, 0, NULL, cwd, &startup, &info)) {
    printf("STARTFAILED\t%lu\n", GetLastError());
    return 2;
  }
  target_process = info.dwProcessId;
  if (held != INVALID_HANDLE_VALUE && release_when != NULL) {
    CloseHandle(CreateThread(NULL, 0, release_later, NULL, 0, NULL));
  }

  for (++i; i < argc; ++i) {
    HWND window = wait_for_window(info.hProcess, timeout_ms);
    if (window == NULL) break;
    describe(window);
    if (shots != NULL) save_shot(window, shots, ++shot);
    answer(window, argv[i]);
    answered_window = window;
  }
  if (i >= argc) {
    HWND extra = wait_for_window(info.hProcess, timeout_ms);
    if (extra != NULL) {
      fputs("UNANSWERED\t", stdout);
      describe(extra);
      TerminateProcess(info.hProcess, 1);
      return 3;
    }
  }
  WaitForSingleObject(info.hProcess, timeout_ms);
  DWORD status = 0;
  GetExitCodeProcess(info.hProcess, &status);
  printf("EXIT\t%lu\n", status);
  fflush(stdout);
  if (held != INVALID_HANDLE_VALUE && release_when == NULL) CloseHandle(held);
  return 0;
}
