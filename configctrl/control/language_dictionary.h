// Translation of the user interface texts. The English texts of the control
// are the keys of the language files; "Vexora.ini" beside the library picks
// the language (section LanguageType, key Language):
//   0 "language.ini", 1 "Front_China.ini", 2 "qxr_French.ini",
//   3 "qxr_Turkey.ini", anything else "language.ini" as language 0.
// A language file holds "key=value" lines. Language 1's values are kept as
// the bytes stand (the file is written in the system's 8-bit code page);
// the others are UTF-8 and are converted to the system code page (the
// locale's 8-bit encoding) when read. Language 0 never translates.
//
// One dictionary is the process-wide one; LoginDevice makes a new one on
// every call and the previous one is freed. GUI thread only.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

class QWidget;
class QString;

namespace configctrl {

class LanguageDictionary {
public:
    // Reads "Vexora.ini" and the chosen language file from `dir`. A missing
    // settings file selects language 0; a missing language file leaves the
    // dictionary empty.
    void Load(const std::string& dir);
    // The value stored under `text`, or `text` itself (language 0, no key).
    std::string Translate(const std::string& text) const;

    int language() const { return language_; }
    const std::string& file_name() const { return file_name_; }
    size_t size() const { return texts_.size(); }

private:
    int language_ = 0;
    std::string file_name_ = "language.ini";
    std::unordered_map<std::string, std::string> texts_;
};

// Makes `dictionary` the process-wide one, freeing the previous one.
void SetDictionary(std::unique_ptr<LanguageDictionary> dictionary);
const LanguageDictionary* Dictionary();

// Through the process-wide dictionary (unchanged when there is none).
// Translations are at most 255 bytes.
std::string TranslateText(const std::string& text);
QString TranslateText(const QString& text);
QString Tr(const char* english);

// Translates the widget's caption when it has one, then the text of every
// direct child widget (labels, buttons, line edits, group box titles), in
// the order of the widget's child list.
void TranslateWindowTexts(QWidget* window);

}  // namespace configctrl
