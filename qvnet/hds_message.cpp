#include "qvnet/hds_message.h"

#include <cstdlib>

namespace qvnet {

namespace {

std::string RequestHead(std::string_view method, uint32_t sequence, std::string_view client_id) {
    std::string s;
    s.append(method).append(" * HDS/1.0\r\n");
    s.append("CSeq:").append(std::to_string(sequence)).append("\r\n");
    s.append("Client-ID:").append(client_id).append("\r\n");
    s.append("Accept-Type:text/HDP\r\n");
    return s;
}

std::string Bounded(std::string_view value, size_t limit) {
    return std::string(value.substr(0, limit - 1));
}

}  // namespace

std::string BuildHdsSearch(uint32_t sequence, std::string_view client_id) {
    return RequestHead("SEARCH", sequence, client_id) + "Content-Length:0\r\n\r\n";
}

std::string BuildHdsCommand(uint32_t sequence, std::string_view client_id,
                            std::string_view device_id, std::string_view command_text) {
    std::string s = RequestHead("CMD", sequence, client_id);
    s.append("Device-ID:").append(device_id).append("\r\n");
    s.append("Content-Length:").append(std::to_string(command_text.size() + 1)).append("\r\n\r\n");
    s.append(command_text);
    s.push_back('\0');
    return s;
}

std::string HdsMessage::Header(std::string_view name) const {
    std::string_view rest = headers;
    while (!rest.empty()) {
        size_t eol = rest.find("\r\n");
        std::string_view line = rest.substr(0, eol);
        size_t colon = line.find(':');
        if (colon != std::string_view::npos && line.substr(0, colon) == name)
            return std::string(line.substr(colon + 1));
        if (eol == std::string_view::npos) break;
        rest.remove_prefix(eol + 2);
    }
    return {};
}

std::optional<HdsMessage> SplitHdsMessage(std::string_view message) {
    size_t nul = message.find('\0');
    size_t head_end = message.find("\r\n\r\n");
    if (head_end == std::string_view::npos || (nul != std::string_view::npos && nul < head_end))
        return std::nullopt;
    HdsMessage m;
    size_t first_eol = message.find("\r\n");
    m.start_line = std::string(message.substr(0, first_eol));
    if (first_eol < head_end)
        m.headers = std::string(message.substr(first_eol + 2, head_end - first_eol));
    std::string_view body = message.substr(head_end + 4);
    m.body = std::string(body.substr(0, body.find('\0')));
    return m;
}

std::optional<HdsDevice> ParseHdsDevice(std::string_view message, std::string_view client_id) {
    auto m = SplitHdsMessage(message);
    if (!m) return std::nullopt;
    bool reply = m->start_line.rfind("HDS/1.0 200", 0) == 0;
    bool announce = m->start_line.rfind("REGISTER ", 0) == 0;
    if (!reply && !announce) return std::nullopt;
    std::string type = m->Header("Content-Type");
    if (type.empty()) type = m->Header("Accept-Type");
    if (type != "text/HDP") return std::nullopt;
    if (reply && m->Header("Client-ID") != client_id) return std::nullopt;

    struct Field {
        const char* key;
        std::string HdsDevice::*member;
        size_t limit;
    };
    static const Field kFields[] = {
        {"IP", &HdsDevice::ip, 16},
        {"MAC", &HdsDevice::mac, 18},
        {"MASK", &HdsDevice::mask, 16},
        {"Gateway", &HdsDevice::gateway, 16},
        {"Device-ID", &HdsDevice::device_id, 33},
        {"Device-Model", &HdsDevice::device_model, 41},
        {"Software-Version", &HdsDevice::software_version, 33},
        {"Device-Name", &HdsDevice::device_name, 41},
        {"Http-Port", &HdsDevice::http_port, 16},
        {"Media-Port", &HdsDevice::media_port, 16},
    };
    HdsDevice d;
    std::string_view rest = m->body;
    while (!rest.empty()) {
        size_t eol = rest.find('\n');
        std::string_view line = rest.substr(0, eol);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        size_t eq = line.find('=');
        if (eq != std::string_view::npos) {
            for (const Field& f : kFields)
                if (line.substr(0, eq) == f.key)
                    d.*f.member = Bounded(line.substr(eq + 1), f.limit);
        }
        if (eol == std::string_view::npos) break;
        rest.remove_prefix(eol + 1);
    }
    if (size_t at = m->body.find("cam-count="); at != std::string::npos) {
        long n = std::strtol(m->body.c_str() + at + 10, nullptr, 10);
        d.cam_count = n < 0 || n > 128 ? 0 : static_cast<int>(n);
    }
    if (d.ip.empty() && d.mac.empty() && d.device_id.empty()) return std::nullopt;
    return d;
}

}  // namespace qvnet
