#include "apps/zynvs/options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace zynvs_app {

bool ParseNumber(const std::string& text, long lo, long hi, long* out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *out = v;
    return true;
}

namespace {
std::string RangeError(const std::string& text, long lo, long hi) {
    return "wants a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
           ", not '" + text + "'";
}
}  // namespace

OptionParser::OptionParser(std::string command, std::string synopsis, std::string about)
    : command_(std::move(command)), synopsis_(std::move(synopsis)), about_(std::move(about)) {}

void OptionParser::Flag(const char* name, bool* out, const char* help) {
    options_.push_back({name, "", help, "", [out](const std::string&) {
                            *out = true;
                            return std::string();
                        }});
}

void OptionParser::Int(const char* name, int* out, long lo, long hi, const char* help) {
    Option o{name, "N", help, std::to_string(*out), nullptr};
    o.help += " (" + std::to_string(lo) + ".." + std::to_string(hi) + ")";
    o.set = [out, lo, hi](const std::string& v) {
        long n = 0;
        if (!ParseNumber(v, lo, hi, &n)) return RangeError(v, lo, hi);
        *out = static_cast<int>(n);
        return std::string();
    };
    options_.push_back(std::move(o));
}

void OptionParser::IntList(const char* name, std::vector<int>* out, long lo, long hi,
                           const char* help) {
    std::string shown;
    for (int v : *out) shown += (shown.empty() ? "" : ",") + std::to_string(v);
    Option o{name, "N", help, shown, nullptr};
    o.help += " (" + std::to_string(lo) + ".." + std::to_string(hi) + ", repeatable)";
    // The first value given replaces the default list.
    auto fresh = std::make_shared<bool>(true);
    o.set = [out, lo, hi, fresh](const std::string& v) {
        long n = 0;
        if (!ParseNumber(v, lo, hi, &n)) return RangeError(v, lo, hi);
        if (*fresh) out->clear();
        *fresh = false;
        out->push_back(static_cast<int>(n));
        return std::string();
    };
    options_.push_back(std::move(o));
}

void OptionParser::Text(const char* name, std::string* out, const char* value_name,
                        const char* help) {
    options_.push_back({name, value_name, help, *out, [out](const std::string& v) {
                            *out = v;
                            return std::string();
                        }});
}

void OptionParser::Choice(const char* name, std::string* out, std::vector<std::string> values,
                          const char* help) {
    std::string value_name;
    for (const auto& v : values) value_name += (value_name.empty() ? "" : "|") + v;
    options_.push_back(
        {name, value_name, help, *out, [out, values, value_name](const std::string& v) {
             if (std::find(values.begin(), values.end(), v) == values.end())
                 return "is " + value_name + ", not '" + v + "'";
             *out = v;
             return std::string();
         }});
}

void OptionParser::Positional(const char* name, std::string* out, const char* help, bool required) {
    Option o{name, name, help, "", [out](const std::string& v) {
                 *out = v;
                 return std::string();
             }};
    o.positional = true;
    o.required = required;
    options_.push_back(std::move(o));
}

void OptionParser::PositionalList(const char* name, std::vector<std::string>* out,
                                  const char* help) {
    Option o{name, name, help, "", [out](const std::string& v) {
                 out->push_back(v);
                 return std::string();
             }};
    o.positional = true;
    o.repeats = true;
    options_.push_back(std::move(o));
}

void OptionParser::Note(std::string text) {
    notes_.push_back(std::move(text));
}

OptionParser::Option* OptionParser::Find(const std::string& name) {
    for (auto& o : options_)
        if (!o.positional && o.name == name) return &o;
    return nullptr;
}

bool OptionParser::Given(const char* name) const {
    for (const auto& o : options_)
        if (o.name == name) return o.given;
    return false;
}

int OptionParser::UsageError(const std::string& why) const {
    std::fprintf(stderr, "zynvs %s: %s (zynvs %s --help)\n", command_.c_str(), why.c_str(),
                 command_.c_str());
    return kExitUsage;
}

int OptionParser::Parse(const std::vector<std::string>& args) {
    std::size_t next_positional = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            PrintHelp();
            return kExitOk;
        }
        if (a.size() > 1 && a[0] == '-' && !(a.size() > 1 && std::isdigit(a[1]))) {
            Option* o = Find(a);
            if (o == nullptr) return UsageError("unknown option '" + a + "'");
            std::string value;
            if (!o->value_name.empty()) {
                if (i + 1 >= args.size()) return UsageError(a + " needs a value " + o->value_name);
                value = args[++i];
            }
            const std::string error = o->set(value);
            if (!error.empty()) return UsageError(a + " " + error);
            o->given = true;
            continue;
        }
        std::size_t seen = 0;
        Option* target = nullptr;
        for (auto& o : options_) {
            if (!o.positional) continue;
            if (seen++ == next_positional) {
                target = &o;
                break;
            }
        }
        if (target == nullptr) return UsageError("unexpected argument '" + a + "'");
        if (!target->repeats) ++next_positional;
        target->set(a);
        target->given = true;
    }
    for (const auto& o : options_)
        if (o.positional && o.required && !o.given) return UsageError(o.name + " is missing");
    return -1;
}

void OptionParser::PrintHelp() const {
    std::printf("usage: zynvs %s %s\n%s\n", command_.c_str(), synopsis_.c_str(), about_.c_str());
    bool any_positional = false, any_option = false;
    for (const auto& o : options_) (o.positional ? any_positional : any_option) = true;
    auto row = [](const std::string& left, const std::string& help, const std::string& def) {
        std::string text = help;
        if (!def.empty()) text += " [default: " + def + "]";
        std::printf("  %-22s %s\n", left.c_str(), text.c_str());
    };
    if (any_positional) {
        std::printf("\narguments:\n");
        for (const auto& o : options_)
            if (o.positional) row(o.name + (o.required ? "" : " (optional)"), o.help, "");
    }
    std::printf("\noptions:\n");
    if (any_option) {
        for (const auto& o : options_)
            if (!o.positional)
                row(o.value_name.empty() ? o.name : o.name + " " + o.value_name, o.help,
                    o.default_text);
    }
    row("--verbose", "also show the libraries' own messages", "");
    row("--help", "this text", "");
    for (const auto& n : notes_) std::printf("\n%s\n", n.c_str());
}

}  // namespace zynvs_app
