// The SDK's message boxes (the two error boxes of the LAN search) go through
// one hook so that a desktop box can be plugged in later and tests can
// intercept them. The default writes "caption: text" to stderr.
#pragma once

namespace decodekit {

// (text, caption). Called on the thread that reports the error; must return.
using MessageBoxHook = void (*)(const char* text, const char* caption);

// Shows an error box (no owner window). Null strings are shown as "".
void show_message_box(const char* text, const char* caption);

// Replaces the hook; nullptr restores the default. Returns the previous hook.
// Safe from any thread.
MessageBoxHook set_message_box_hook(MessageBoxHook hook);

}  // namespace decodekit
