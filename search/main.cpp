// zynsearch: finds devices of several makers on the LAN, lists them, and
// changes, reboots, restores or upgrades one (see search/README.md).
#include <QApplication>

#include <cstring>

#include "search/list_command.h"
#include "search/search_dlg.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--list")) return zynsearch::RunList(argc, argv);
    return zynsearch::RunWindow(argc, argv);
}
