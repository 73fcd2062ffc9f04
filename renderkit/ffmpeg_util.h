// FFmpeg includes for renderkit's .cpp files (C headers inside extern "C").
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace renderkit {

struct AVFrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, AVFrameDeleter>;

inline FramePtr MakeFrame() { return FramePtr(av_frame_alloc()); }

}  // namespace renderkit
