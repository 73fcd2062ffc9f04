// Drives the vendor emulations from tests: the same library the tool loads
// (dlopen gives the same handle), so its virtual devices and call log.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "vendors/loader.h"

namespace search_test {

class Emulation {
public:
    explicit Emulation(const char* library);
    bool loaded() const { return lib_ != nullptr; }
    int Reset(const std::string& lines);  // the device file's format
    QStringList Calls() const;
    std::string Device(int index) const;
    std::vector<uint8_t> LastBlock() const;

private:
    std::shared_ptr<vendors::VendorLibrary> lib_;
};

// Resets every emulation with `lines` (each keeps its maker's lines).
void ResetAll(const std::string& lines);

QString ArtifactPath(const QString& name);  // artifacts/search/<name>

}  // namespace search_test
