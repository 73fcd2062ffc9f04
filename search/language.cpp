#include "search/language.h"

#include "vendors/loader.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>

namespace zynsearch {

namespace {

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
    size_t start = s.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : s.substr(start);
}

int ReadLanguageNumber(const std::string& path) {
    std::ifstream in(path);
    bool in_section = false;
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (!line.empty() && line[0] == '[') {
            in_section = line == "[LanguageType]";
            continue;
        }
        size_t eq = line.find('=');
        if (in_section && eq != std::string::npos && Trim(line.substr(0, eq)) == "Language")
            return std::atoi(line.c_str() + eq + 1);
    }
    return 0;
}

}  // namespace

std::string ProgramDir() {
    return vendors::ProgramDir();
}

void Language::Load(const std::string& dir) {
    static const char* const kFiles[] = {"language.ini", "qxr_Chinese.ini", "qxr_French.ini",
                                         "qxr_Turkey.ini"};
    texts_.clear();
    int n = ReadLanguageNumber(dir + "/Vexora.ini");
    language_ = n >= 0 && n <= 3 ? n : 0;
    file_name_ = kFiles[language_];
    if (language_ == 0) return;
    std::ifstream in(dir + "/" + file_name_);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        texts_.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
}

std::string Language::Lookup(const std::string& english) const {
    if (language_ == 0) return english;
    auto it = texts_.find(english);
    return it == texts_.end() ? english : it->second;
}

}  // namespace zynsearch
