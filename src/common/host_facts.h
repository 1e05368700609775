// What the installer knows of its host program, each fact written once: where WIN.INI
// keeps the host's folder, the host program file, the host's own settings, the oldest
// version that can use these dictionaries, and the lexicons the completion report looks
// for. The messages that name a fact keep it as plain text, and are checked against it
// here when they are built; the tests read these too.
#pragma once

// WIN.INI: the section and key of the host's folder, and the folder when there is none.
inline constexpr char kHostSection[] = "Applications";
inline constexpr char kHostKey[] = "Torvix";
inline constexpr char kDefaultHostFolder[] = "C:\\TORVIX";
// WIN.INI's file in the Windows folder, where an old host may have had it virtualized.
inline constexpr char kWinIniFile[] = "win.ini";

// The host program file, looked for in the host folder.
inline constexpr char kHostProgram[] = "torvixx.exe";

// The host's settings file in its folder, and where in it the version is.
inline constexpr char kSettingsFile[] = "torvix.ini";
inline constexpr char kSettingsSection[] = "Common";
inline constexpr char kSettingsKey[] = "Version";

// The oldest host version that can use these dictionaries, compared as text.
inline constexpr char kMinimumVersion[] = "41";

// The compressed lexicons whose presence the completion report tells.
inline constexpr char kLexiconPattern[] = "*.clx";

// True when piece stands in text: for the checks of the messages that name a fact.
constexpr bool TextContains(const char* text, const char* piece) {
  for (; *text != '\0'; ++text) {
    const char* a = text;
    const char* b = piece;
    while (*b != '\0' && *a == *b) {
      ++a;
      ++b;
    }
    if (*b == '\0') return true;
  }
  return false;
}
