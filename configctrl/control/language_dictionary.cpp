#include "configctrl/control/language_dictionary.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QWidget>

#include <cstdlib>
#include <fstream>

namespace configctrl {

namespace {

constexpr size_t kMaxTranslationBytes = 255;

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
    const size_t start = s.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : s.substr(start);
}

// The integer key "Language" of section "LanguageType"; 0 when absent.
int ReadLanguageNumber(const std::string& path) {
    std::ifstream in(path);
    bool in_section = false;
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (!line.empty() && line[0] == '[') {
            in_section = line == "[LanguageType]";
            continue;
        }
        const size_t eq = line.find('=');
        if (in_section && eq != std::string::npos && Trim(line.substr(0, eq)) == "Language")
            return std::atoi(line.c_str() + eq + 1);
    }
    return 0;
}

std::unique_ptr<LanguageDictionary>& Current() {
    static std::unique_ptr<LanguageDictionary> dictionary;
    return dictionary;
}

}  // namespace

void LanguageDictionary::Load(const std::string& dir) {
    static const char* const kFiles[] = {"language.ini", "Front_China.ini", "qxr_French.ini",
                                         "qxr_Turkey.ini"};
    texts_.clear();
    const int n = ReadLanguageNumber(dir + "/Vexora.ini");
    language_ = n >= 0 && n <= 3 ? n : 0;
    file_name_ = kFiles[language_];
    std::ifstream in(dir + "/" + file_name_, std::ios::binary);
    bool first = true;
    for (std::string line; std::getline(in, line); first = false) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (first && language_ != 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        const size_t eq = line.find('=');
        std::string key = eq == std::string::npos ? std::string() : line.substr(0, eq);
        std::string value = eq == std::string::npos ? line : line.substr(eq + 1);
        if (language_ != 1) {
            const QByteArray local =
                QString::fromUtf8(value.data(), qsizetype(value.size())).toLocal8Bit();
            value.assign(local.constData(), size_t(local.size()));
        }
        if (value.size() > kMaxTranslationBytes) value.resize(kMaxTranslationBytes);
        texts_[std::move(key)] = std::move(value);
    }
}

std::string LanguageDictionary::Translate(const std::string& text) const {
    if (language_ == 0) return text;
    const auto it = texts_.find(text);
    return it == texts_.end() ? text : it->second;
}

void SetDictionary(std::unique_ptr<LanguageDictionary> dictionary) {
    Current() = std::move(dictionary);
}

const LanguageDictionary* Dictionary() {
    return Current().get();
}

std::string TranslateText(const std::string& text) {
    const LanguageDictionary* d = Dictionary();
    return d ? d->Translate(text) : text;
}

QString TranslateText(const QString& text) {
    const LanguageDictionary* d = Dictionary();
    if (!d || d->language() == 0 || text.isEmpty()) return text;
    const QByteArray key = text.toLocal8Bit();
    return QString::fromLocal8Bit(d->Translate(std::string(key.constData(), size_t(key.size()))));
}

QString Tr(const char* english) {
    return TranslateText(QString::fromLocal8Bit(english));
}

void TranslateWindowTexts(QWidget* window) {
    if (!window) return;
    if (!window->windowTitle().isEmpty())
        window->setWindowTitle(TranslateText(window->windowTitle()));
    for (QObject* child : window->children()) {
        if (auto* label = qobject_cast<QLabel*>(child))
            label->setText(TranslateText(label->text()));
        else if (auto* button = qobject_cast<QAbstractButton*>(child))
            button->setText(TranslateText(button->text()));
        else if (auto* edit = qobject_cast<QLineEdit*>(child))
            edit->setText(TranslateText(edit->text()));
        else if (auto* group = qobject_cast<QGroupBox*>(child))
            group->setTitle(TranslateText(group->title()));
    }
}

}  // namespace configctrl
