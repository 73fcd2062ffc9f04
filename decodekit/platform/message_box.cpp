#include "decodekit/platform/message_box.h"

#include <atomic>
#include <cstdio>

namespace decodekit {
namespace {

void stderr_message_box(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

std::atomic<MessageBoxHook> g_hook{&stderr_message_box};

}  // namespace

void show_message_box(const char* text, const char* caption) {
    g_hook.load()(text ? text : "", caption ? caption : "");
}

MessageBoxHook set_message_box_hook(MessageBoxHook hook) {
    return g_hook.exchange(hook ? hook : &stderr_message_box);
}

}  // namespace decodekit
