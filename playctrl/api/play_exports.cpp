// The player's C interface: a thin layer over the port table and CImageDraw.
// Every per-port function holds the table lock for its whole run, except the
// data-callback setters (see OnPortUnlocked).
#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include <zynvs/ZynPlayCtrl.h>

#include "playctrl/convert/convert_api.h"
#include "playctrl/port_table.h"

using playctrl::CImageDraw;
using playctrl::PortTable;

namespace {

// Runs f on the port under the table lock; `missing` when the port is not
// open (or anything throws).
template <class F>
auto OnPort(int port, decltype(std::declval<F>()(std::declval<CImageDraw&>())) missing, F&& f) {
    try {
        PortTable& table = PortTable::Instance();
        std::lock_guard lock(table.mutex());
        std::shared_ptr<CImageDraw> p = table.Find(port);
        if (!p) return missing;
        return f(*p);
    } catch (...) {
        return missing;
    }
}

// Runs f on the port without holding the table lock (the port is kept alive
// by its reference): for setting callbacks, which waits for a running call
// that may itself be inside a player function.
template <class F>
int OnPortUnlocked(int port, int missing, F&& f) {
    try {
        std::shared_ptr<CImageDraw> p;
        {
            PortTable& table = PortTable::Instance();
            std::lock_guard lock(table.mutex());
            p = table.Find(port);
        }
        if (!p) return missing;
        return f(*p);
    } catch (...) {
        return missing;
    }
}

// Construct, open, number, enter; -1 on any failure (the port is released).
template <class Open>
int OpenPort(CImageDraw::Kind kind, ZYNVS_WND window, const char* path, Open&& open) {
    try {
        auto port = std::make_shared<CImageDraw>(kind, window, path);
        if (open(*port) == 0) {
            port->Shutdown();
            return -1;
        }
        const int number = PortTable::Instance().Add(port);
        if (number < 0) port->Shutdown();
        return number;
    } catch (...) {
        return -1;
    }
}

}  // namespace

extern "C" {

// ---- Library --------------------------------------------------------------------------

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Init(void) {
    return 0;
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_UnInit(void) { return playctrl::convert::PlayUnInit(); }

// ---- Ports ----------------------------------------------------------------------------

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Create(ZYNVS_WND window) {
    return OpenPort(CImageDraw::Kind::kDisplay, window, nullptr,
                    [&](CImageDraw& p) { return p.OpenDisplay(window); });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_OpenFile(ZYNVS_WND window, const char* path) {
    if (path == nullptr || *path == '\0') return -1;
    return OpenPort(CImageDraw::Kind::kFile, window, path,
                    [](CImageDraw& p) { return p.OpenFile(); });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_OpenStream(ZYNVS_WND window, int, int, int) {
    return OpenPort(CImageDraw::Kind::kStream, window, nullptr,
                    [](CImageDraw& p) { return p.OpenStream(); });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_CloseStream(int port) {
    try {
        std::shared_ptr<CImageDraw> p = PortTable::Instance().Remove(port);
        if (!p) return 0;
        p->Shutdown();  // outside the table lock
        return 1;
    } catch (...) {
        return 0;
    }
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Destory(int port) {
    try {
        PortTable& table = PortTable::Instance();
        std::lock_guard lock(table.mutex());
        std::shared_ptr<CImageDraw> p = table.Remove(port);
        if (p) p->Shutdown();
    } catch (...) {
    }
    return 1;
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_CloseFile(int port) {
    return OnPort(port, 1, [](CImageDraw& p) {
        p.CloseFile();
        return 1;
    });
}

// ---- Stream input ---------------------------------------------------------------------

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_InputData(int port, int type, unsigned char* buffer,
                                              unsigned int size) {
    return OnPort(port, 0, [&](CImageDraw& p) {
        p.InputData(type, buffer, size);
        return 1;
    });
}

// ---- File playback --------------------------------------------------------------------

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Play(int port, ZYNVS_WND) {
    return OnPort(port, 1, [](CImageDraw& p) { return p.Play(); });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Stop(int port) {
    return OnPort(port, 0, [](CImageDraw& p) {
        p.Stop();
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Pause(int port, int) {
    return OnPort(port, 0, [](CImageDraw& p) { return p.Pause(); });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Fast(int port) {
    return OnPort(port, 0, [](CImageDraw& p) {
        p.Fast();
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_Slow(int port) {
    return OnPort(port, 0, [](CImageDraw& p) {
        p.Slow();
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetSpeed(int port) {
    return OnPort(port, 0, [](CImageDraw& p) { return p.speed(); });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetSpeed(int port, int level) {
    return OnPort(port, 1, [&](CImageDraw& p) {
        p.SetSpeed(level);
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_OneByOne(int port) {
    return OnPort(port, 0, [](CImageDraw& p) {
        p.OneByOne();
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_OneByOneBack(int port) {
    return OnPort(port, 0, [](CImageDraw& p) {
        p.OneByOneBack();
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetPlayPos(int port, int percent) {
    return OnPort(port, 0, [&](CImageDraw& p) {
        p.SetPlayPos(percent);
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetPlayPos(int port) {
    return OnPort(port, 0, [](CImageDraw& p) { return p.GetPlayPos(); });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetPlayByTime(int port, unsigned int time_low,
                                                  unsigned int time_high) {
    const uint64_t t = (static_cast<uint64_t>(time_high) << 32) | time_low;
    return OnPort(port, 0, [&](CImageDraw& p) {
        p.SetPlayByTime(t);
        return 1;
    });
}

ZYNVS_API uint64_t ZYNVS_CALL ZYNVS_PlAY_GetPlayTime(int port) {
    return OnPort(port, uint64_t{0}, [](CImageDraw& p) { return p.GetPlayTime(); });
}

ZYNVS_API unsigned int ZYNVS_CALL ZYNVS_PlAY_GetPlayedTime(int port) {
    return OnPort(port, 0u,
                  [](CImageDraw& p) { return static_cast<unsigned int>(p.GetPlayTime()); });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetFileEndMsg(int port, ZYNVS_WND window,
                                                  unsigned int message) {
    return OnPort(port, 1, [&](CImageDraw& p) {
        p.SetFileEndMsg(window, message);
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetFileName(int port, const char* path) {
    return OnPort(port, 1, [&](CImageDraw& p) {
        p.SetFileName(path);
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_GetFileName(int port, char* buffer) {
    return OnPort(port, 1, [&](CImageDraw& p) {
        if (buffer != nullptr) {
            const std::string name = p.file_name();
            const std::size_t n = std::min(name.size(), playctrl::kFileNameLimit - 1);
            std::memcpy(buffer, name.data(), n);
            buffer[n] = '\0';
        }
        return 1;
    });
}

// ---- Callbacks, display, snapshots ---------------------------------------------------

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetDecCallBack(int port, PlayDataCallback callback,
                                                   void* user) {
    return OnPortUnlocked(port, 1, [&](CImageDraw& p) {
        p.SetDecCallback(callback, user);
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetRealDataCallBack(int port, PlayDataCallback callback,
                                                        void* user) {
    return OnPortUnlocked(port, 1, [&](CImageDraw& p) {
        p.SetRealDataCallback(callback, user);
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetRealDataCallBackEx(int port, PlayDataCallback callback,
                                                          void* user) {
    return OnPortUnlocked(port, 1, [&](CImageDraw& p) {
        p.SetAudioCallback(callback, user);
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_RegisterDrawOSDFuncPtr(int port, PlayDrawCallback callback,
                                                           void* user) {
    return OnPort(port, 1, [&](CImageDraw& p) {
        p.RegisterDrawCallback(callback, user);
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PLAY_ChangeWindow(int port, ZYNVS_WND window) {
    return OnPort(port, 1, [&](CImageDraw& p) {
        p.ChangeWindow(window);
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PLAY_CapPic(int port, const char* path, int type) {
    return OnPort(port, 1, [&](CImageDraw& p) {
        p.CapPic(path, type);
        return 1;
    });
}

// ---- Sound ----------------------------------------------------------------------------

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_PlaySound(int port) {
    return OnPort(port, 0, [](CImageDraw& p) {
        p.StartSound(true);
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_StopSound(int port) {
    return OnPort(port, 0, [](CImageDraw& p) {
        p.StopSound();
        return 1;
    });
}

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_SetVolume(int port, unsigned int volume) {
    return OnPort(port, 0, [&](CImageDraw& p) {
        p.SetVolume(static_cast<uint16_t>(volume));
        return 1;
    });
}

// ---- Conversion (the engine has its own lock; the table lock is not taken) -----------

ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_ConvertFile(const char* source, const char* target, int mode,
                                                int first, int second) {
    return playctrl::convert::PlayConvertFile(source, target, mode, first, second);
}
ZYNVS_API int ZYNVS_CALL ZYNVS_PlAY_StopConvert(int handle) {
    return playctrl::convert::PlayStopConvert(handle);
}

}  // extern "C"
