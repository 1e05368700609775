// Every text the installer shows, in one place. The build reads this file too: it
// refuses a language name, a web site or a file name that would not fit the message it
// goes into (resources/payload_resources.py), so each text is written once, as
// adjacent string literals in a kName[] constant, and nowhere else.
#pragma once

#include "common/host_facts.h"
#include "common/text.h"

// The confirmation: the opening, the language name, the closing.
inline constexpr char kConfirmationCaption[] = "Lexward Dictionary";
inline constexpr char kConfirmationOpening[] = "Installation of ";
inline constexpr char kConfirmationClosing[] = " dictionary for Lexward is about to begin.";

// The prompt before each open-file dialog, and the dialog's own texts.
inline constexpr char kLocatePromptCaption[] = "Torvix not found in default folder";
inline constexpr char kLocatePrompt[] = "Please locate the Torvix program (torvixx.exe)";
inline constexpr char kLocateDialogTitle[] = "Locate Torvix Folder";
// One filter: its description, its pattern, and the closing zero byte.
inline constexpr char kLocateDialogFilter[] = "Torvix program\0torvixx*.exe\0";

// The version gate's refusals: a version that could not be read, and one too old, with
// the version and the vendor's web site between the pieces.
inline constexpr char kVersionCaption[] = "Error";
inline constexpr char kVersionUnknown[] =
    "Your Torvix version could not be determined.\r\r"
    "If you have just now installed it, you need to first run it once "
    "and then run this program again.";
inline constexpr char kVersionTooOld[] = "Torvix version must be 41 or newer.\rYour version is ";
inline constexpr char kVersionTooOldSite[] =
    ".\r\rYou can download the newest Torvix version from ";

// The completion report: the opening, then one of the two sentences.
inline constexpr char kCompletionCaption[] = "Setup Complete";
inline constexpr char kCompletionOpening[] = "Installation completed successfully.\r\r";
inline constexpr char kCompletionWithLexicon[] =
    "You can select which dictionary should be used in Torvix in "
    "Options > Spell Checker > Options.";
inline constexpr char kCompletionWithoutLexicon[] =
    "You will now need to install one or more dictionaries.\r"
    "Download them from ";
inline constexpr char kCompletionWithoutLexiconEnd[] = "\r";

// A resource the extraction cannot use: Resource "<name>" <fault> Aborting.
inline constexpr char kResourceCaption[] = "Internal error";
inline constexpr char kResourceOpening[] = "Resource \"";
inline constexpr char kResourceNameEnd[] = "\" ";
inline constexpr char kResourceNotFound[] = "not found.";
inline constexpr char kResourceMalformed[] = "is malformed.";
inline constexpr char kResourceDamaged[] = "is damaged.";
inline constexpr char kResourceClosing[] = " Aborting.";

// A file that could not be put in place: <name> could not be created.
inline constexpr char kEntryFailedCaption[] = "Fatal error";
inline constexpr char kEntryFailed[] = " could not be created.";

// The messages that name a host fact name it as host_facts.h has it.
static_assert(TextContains(kLocatePrompt, kHostProgram), "the prompt names the host program");
static_assert(TextContains(kVersionTooOld, kMinimumVersion), "the refusal names the minimum");
static_assert(TextContains(kLocateDialogFilter + sizeof "Torvix program", "torvixx"),
              "the filter offers the host program's names");
static_assert(TextContains(kHostProgram, "torvixx"), "the filter offers the host program");

// The composed messages with no build-time part fit MessageText whole; the build checks
// the language name, the web site and the file names against the others.
static_assert(sizeof kCompletionOpening - 1 + sizeof kCompletionWithLexicon <= kTextAreaSize,
              "the completion report fits");
