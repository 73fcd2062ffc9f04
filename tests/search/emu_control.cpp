#include "tests/search/emu_control.h"

#include <QDir>

#include "vendors/emu/emu_control.h"

namespace search_test {

Emulation::Emulation(const char* library) : lib_(vendors::VendorLibrary::Open(library)) {}

int Emulation::Reset(const std::string& lines) {
    ZynVendorEmu_Reset_t fn = nullptr;
    return lib_ && lib_->Get("ZynVendorEmu_Reset", &fn) ? fn(lines.c_str()) : -1;
}

QStringList Emulation::Calls() const {
    ZynVendorEmu_Calls_t fn = nullptr;
    if (!lib_ || !lib_->Get("ZynVendorEmu_Calls", &fn)) return {};
    std::string buf(static_cast<size_t>(fn(nullptr, 0)), '\0');
    fn(buf.data(), static_cast<int>(buf.size()));
    return QString::fromStdString(buf.c_str()).split('\n', Qt::SkipEmptyParts);
}

std::string Emulation::Device(int index) const {
    ZynVendorEmu_Device_t fn = nullptr;
    if (!lib_ || !lib_->Get("ZynVendorEmu_Device", &fn)) return {};
    char buf[1024] = {};
    fn(index, buf, sizeof buf);
    return buf;
}

std::vector<uint8_t> Emulation::LastBlock() const {
    ZynVendorEmu_LastBlock_t fn = nullptr;
    if (!lib_ || !lib_->Get("ZynVendorEmu_LastBlock", &fn)) return {};
    std::vector<uint8_t> out(1024);
    out.resize(static_cast<size_t>(fn(out.data(), static_cast<int>(out.size()))));
    return out;
}

void ResetAll(const std::string& lines) {
    for (const char* lib : {"I8_NetSDK", "CamSearch", "NetClient", "NetSDK", "JSNetProtocol"})
        Emulation(lib).Reset(lines);
}

QString ArtifactPath(const QString& name) {
    QDir dir(QString(ZYNVS_ARTIFACT_DIR) + "/search");
    dir.mkpath(".");
    return dir.filePath(name);
}

}  // namespace search_test
