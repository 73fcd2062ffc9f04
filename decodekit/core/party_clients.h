// The service-side parties that log into the platform services: encoders
// (CVexora), user clients, recording and stream servers.
#pragma once

#include "decodekit/core/video_device.h"

class CVexora : public CVideoDevice {
public:
    using CVideoDevice::CVideoDevice;
    int GetType() override { return zyn::kTypeVexora; }
    void KeepAlive() override {}
};

class CUserClient : public CVideoDevice {
public:
    using CVideoDevice::CVideoDevice;
    int GetType() override { return zyn::kTypeUserClient; }
    void KeepAlive() override {}
};

class CRecordClient : public CVideoDevice {
public:
    using CVideoDevice::CVideoDevice;
    int GetType() override { return zyn::kTypeRecordClient; }
    void KeepAlive() override {}
};

class CStreamClient : public CVideoDevice {
public:
    using CVideoDevice::CVideoDevice;
    int GetType() override { return zyn::kTypeStreamClient; }
    void KeepAlive() override {}
};
