// The message language: "Vexora.ini" beside the program names a language
// number (section LanguageType, key Language); 0 "language.ini", 1
// "qxr_Chinese.ini", 2 "qxr_French.ini", 3 "qxr_Turkey.ini", anything else
// "language.ini" as language 0. A language file holds "English=translation"
// lines, UTF-8 here for every language.
#pragma once

#include <string>
#include <unordered_map>

namespace zynsearch {

class Language {
public:
    // Reads the settings and, unless the language is 0, its file from `dir`.
    void Load(const std::string& dir);
    // The translation of `english`, or `english` itself (language 0, no line).
    std::string Lookup(const std::string& english) const;
    int language() const { return language_; }
    const std::string& file_name() const { return file_name_; }

private:
    int language_ = 0;
    std::string file_name_ = "language.ini";
    std::unordered_map<std::string, std::string> texts_;
};

std::string ProgramDir();

}  // namespace zynsearch
