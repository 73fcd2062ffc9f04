// zynsearch --list: one search without a window, rows printed as a table or JSON.
#pragma once

namespace zynsearch {
int RunList(int argc, char** argv);
}
