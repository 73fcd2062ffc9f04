#include "search/list_command.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "search/search_engine.h"

namespace zynsearch {

namespace {

std::string JsonText(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

int RunList(int argc, char** argv) {
    int seconds = 6;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--list")) continue;
        if (!std::strcmp(argv[i], "--json")) {
            json = true;
        } else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
            char* end = nullptr;
            long v = std::strtol(argv[++i], &end, 10);
            if (*end || v < 1 || v > 600) {
                std::fprintf(stderr, "zynsearch: --seconds wants 1 to 600\n");
                return 2;
            }
            seconds = static_cast<int>(v);
        } else {
            std::fprintf(stderr, "usage: zynsearch --list [--seconds N] [--json]\n");
            return 2;
        }
    }
    QCoreApplication app(argc, argv);
    bool lan = InPrivateNetworkNamespace() || std::getenv("ZYNSEARCH_ALLOW_LAN");
    SearchEngine engine(lan);
    for (const std::string& line : engine.Describe()) std::fprintf(stderr, "%s\n", line.c_str());
    engine.Start(nullptr);
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    engine.Stop();

    auto rows = engine.session().Rows();
    if (json)
        std::printf("[\n");
    else
        std::printf("%-4s %-17s %-15s %-9s %-8s %-15s %-10s %-20s %s\n", "NO.", "MAC address",
                    "IP address", "Data port", "Web port", "Gateway", "Type", "Device name",
                    "Identity");
    for (size_t i = 0; i < rows.size(); ++i) {
        const _stNetDeviceAddr& r = rows[i];
        if (json) {
            std::printf(
                "  {\"no\": %zu, \"mac\": %s, \"ip\": %s, \"mask\": %s, \"data_port\": %u, "
                "\"web_port\": %u, \"gateway\": %s, \"maker_type\": %d, \"type\": %s, "
                "\"name\": %s, \"identity\": %s, \"channels\": %d}%s\n",
                i + 1, JsonText(Text(r.mac)).c_str(), JsonText(Text(r.ip)).c_str(),
                JsonText(Text(r.mask)).c_str(), r.data_port, r.web_port,
                JsonText(Text(r.gateway)).c_str(), r.maker_type,
                JsonText(MakerTypeText(r.maker_type)).c_str(),
                JsonText(Text(r.device_name)).c_str(), JsonText(Text(r.identity)).c_str(),
                r.channel_count, i + 1 < rows.size() ? "," : "");
        } else {
            std::printf("%-4zu %-17s %-15s %-9u %-8u %-15s %-10s %-20s %s\n", i + 1,
                        Text(r.mac).c_str(), Text(r.ip).c_str(), r.data_port, r.web_port,
                        Text(r.gateway).c_str(), MakerTypeText(r.maker_type),
                        Text(r.device_name).c_str(), Text(r.identity).c_str());
        }
    }
    if (json) std::printf("]\n");
    return 0;
}

}  // namespace zynsearch
