// Message language of the SDK: English texts double as keys of a language
// file beside the library. "Vexora.ini" in the module folder selects the
// language (the number after the first "=" of its first line); the language
// file holds lines "English text=translation".
//
// All functions are safe from any thread (one internal lock guards the
// selected language; it is never held while a file is read for a lookup).
#pragma once

#include <cstddef>
#include <string>

// Reads "Vexora.ini" from the module folder and selects the language:
// 0 -> "language.ini", 1 -> "qxr_Chinese.ini", 2 -> "qxr_French.ini", any
// other number -> 0 and "language.ini". An empty file, or a first line without
// "=", changes nothing. When "Vexora.ini" cannot be opened the language becomes
// 0 and the box "Load language library fails, the program will use" (caption
// "error") is shown.
void LoadMessageLanguage();

// The translation of english in the selected language: english itself for
// language 0, for a null text "" , and when the language file has no line
// whose part before the first "=" equals english exactly (case-sensitive) or
// cannot be read. Translations are cut to 255 characters.
std::string LookupTranslation(const char* english);

namespace decodekit {

constexpr std::size_t kMaxTranslationChars = 255;

// Folder of the settings and language files, ending in '/': the folder of the
// module file that holds this code (dladdr), unless overridden.
std::string message_language_folder();
// Overrides the folder (tests); an empty string returns to the module folder.
void set_message_language_folder(const std::string& folder);

// The selected language number and the full path of its language file.
int message_language();
std::string message_language_file();
// Back to the state at load: language 0 with "language.ini" (tests).
void reset_message_language();

}  // namespace decodekit
