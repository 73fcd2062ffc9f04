#include "renderkit/picture_convert.h"

#include <algorithm>

#include "renderkit/ffmpeg_util.h"

namespace renderkit {
namespace {

bool IsI420(int format) { return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P; }

// Full-range JPEG formats are mapped to their plain twins; swscale is told the
// range separately.
AVPixelFormat PlainFormat(int format, bool* full_range) {
    *full_range = false;
    switch (format) {
        case AV_PIX_FMT_YUVJ420P: *full_range = true; return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: *full_range = true; return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: *full_range = true; return AV_PIX_FMT_YUV444P;
        default: return static_cast<AVPixelFormat>(format);
    }
}

// Colour matrix and range of the source as one number, to notice changes.
int ColourKey(const AVFrame* picture, bool full_range_in) {
    const bool full = full_range_in || picture->color_range == AVCOL_RANGE_JPEG;
    const int space = picture->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    return space * 2 + (full ? 1 : 0);
}

void SetColourDetails(SwsContext* sws, int colour_key) {
    const int* coefficients = sws_getCoefficients(colour_key / 2);
    sws_setColorspaceDetails(sws, coefficients, colour_key & 1, sws_getCoefficients(SWS_CS_DEFAULT),
                             1, 0, 1 << 16, 1 << 16);
}

// Plane pointers of `picture` moved to the top-left corner of `crop`. The
// corner is rounded down to the chroma grid.
bool CroppedPlanes(const AVFrame* picture, AVPixelFormat format, ZYNVS_RECT* crop,
                   const uint8_t* planes[4], int strides[4]) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (desc == nullptr || (desc->flags & AV_PIX_FMT_FLAG_HWACCEL) != 0) return false;
    crop->left &= ~((1 << desc->log2_chroma_w) - 1);
    crop->top &= ~((1 << desc->log2_chroma_h) - 1);
    for (int p = 0; p < 4; ++p) {
        planes[p] = picture->data[p];
        strides[p] = picture->linesize[p];
    }
    bool done[4] = {false, false, false, false};
    for (int c = 0; c < desc->nb_components; ++c) {
        const AVComponentDescriptor& comp = desc->comp[c];
        if (done[comp.plane] || planes[comp.plane] == nullptr) continue;
        done[comp.plane] = true;
        const bool chroma = (c == 1 || c == 2) && (desc->flags & AV_PIX_FMT_FLAG_RGB) == 0;
        const int x = chroma ? crop->left >> desc->log2_chroma_w : crop->left;
        const int y = chroma ? crop->top >> desc->log2_chroma_h : crop->top;
        planes[comp.plane] += static_cast<ptrdiff_t>(y) * strides[comp.plane] +
                              static_cast<ptrdiff_t>(x) * comp.step;
    }
    return true;
}

int ScaleFlags(int src_w, int src_h, int dst_w, int dst_h) {
    // Unscaled conversions take swscale's fast paths; scaled ones use bilinear.
    return (src_w == dst_w && src_h == dst_h) ? SWS_POINT : SWS_BILINEAR;
}

}  // namespace

ZYNVS_RECT ClipRect(const ZYNVS_RECT* rect, int width, int height) {
    ZYNVS_RECT full{0, 0, width, height};
    if (rect == nullptr) return full;
    ZYNVS_RECT r{std::max(rect->left, 0), std::max(rect->top, 0), std::min(rect->right, width),
                 std::min(rect->bottom, height)};
    if (r.right - r.left < 2 || r.bottom - r.top < 2) return full;
    return r;
}

YuvToBgra::~YuvToBgra() { sws_freeContext(sws_); }

bool YuvToBgra::Convert(const AVFrame* picture, const ZYNVS_RECT& crop_in, uint8_t* dst,
                        int dst_width, int dst_height, int dst_stride) {
    if (picture == nullptr || dst == nullptr || dst_width <= 0 || dst_height <= 0) return false;
    bool full_range = false;
    const AVPixelFormat format = PlainFormat(picture->format, &full_range);
    ZYNVS_RECT crop = crop_in;
    const uint8_t* planes[4];
    int strides[4];
    if (!CroppedPlanes(picture, format, &crop, planes, strides)) return false;
    const int src_w = crop.right - crop.left;
    const int src_h = crop.bottom - crop.top;
    if (src_w <= 0 || src_h <= 0) return false;
    SwsContext* before = sws_;
    sws_ = sws_getCachedContext(sws_, src_w, src_h, format, dst_width, dst_height, AV_PIX_FMT_BGRA,
                                ScaleFlags(src_w, src_h, dst_width, dst_height), nullptr, nullptr,
                                nullptr);
    if (sws_ == nullptr) return false;
    const int key = ColourKey(picture, full_range);
    if (sws_ != before || key != colour_key_) {
        SetColourDetails(sws_, key);
        colour_key_ = key;
    }
    uint8_t* dst_planes[4] = {dst, nullptr, nullptr, nullptr};
    int dst_strides[4] = {dst_stride, 0, 0, 0};
    return sws_scale(sws_, planes, strides, 0, src_h, dst_planes, dst_strides) > 0;
}

BgraScaler::~BgraScaler() { sws_freeContext(sws_); }

bool BgraScaler::Scale(const uint8_t* src, int src_stride, const ZYNVS_RECT& crop, uint8_t* dst,
                       int dst_width, int dst_height, int dst_stride) {
    const int src_w = crop.right - crop.left;
    const int src_h = crop.bottom - crop.top;
    if (src == nullptr || dst == nullptr || src_w <= 0 || src_h <= 0 || dst_width <= 0 ||
        dst_height <= 0) {
        return false;
    }
    const uint8_t* start = src + static_cast<ptrdiff_t>(crop.top) * src_stride + crop.left * 4;
    if (src_w == dst_width && src_h == dst_height) {
        for (int y = 0; y < src_h; ++y) {
            std::copy_n(start + static_cast<ptrdiff_t>(y) * src_stride, src_w * 4,
                        dst + static_cast<ptrdiff_t>(y) * dst_stride);
        }
        return true;
    }
    sws_ = sws_getCachedContext(sws_, src_w, src_h, AV_PIX_FMT_BGRA, dst_width, dst_height,
                                AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (sws_ == nullptr) return false;
    const uint8_t* planes[4] = {start, nullptr, nullptr, nullptr};
    const int strides[4] = {src_stride, 0, 0, 0};
    uint8_t* dst_planes[4] = {dst, nullptr, nullptr, nullptr};
    const int dst_strides[4] = {dst_stride, 0, 0, 0};
    return sws_scale(sws_, planes, strides, 0, src_h, dst_planes, dst_strides) > 0;
}

I420View::~I420View() { sws_freeContext(sws_); }

bool I420View::Make(const AVFrame* picture, uint32_t frame_number, ZynDecodedPicture* view) {
    if (picture == nullptr || view == nullptr || picture->width <= 0 || picture->height <= 0) {
        return false;
    }
    view->width = picture->width;
    view->height = picture->height;
    view->format = 0;
    view->frame_number = frame_number;
    if (IsI420(picture->format)) {
        for (int p = 0; p < 3; ++p) {
            view->planes[p] = picture->data[p];
            view->strides[p] = picture->linesize[p];
        }
        return true;
    }
    bool full_range = false;
    const AVPixelFormat format = PlainFormat(picture->format, &full_range);
    const int w = picture->width;
    const int h = picture->height;
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    scratch_.resize(static_cast<size_t>(w) * h + 2 * static_cast<size_t>(cw) * ch);
    sws_ = sws_getCachedContext(sws_, w, h, format, w, h, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                                nullptr, nullptr);
    if (sws_ == nullptr) return false;
    uint8_t* dst[4] = {scratch_.data(), scratch_.data() + static_cast<size_t>(w) * h,
                       scratch_.data() + static_cast<size_t>(w) * h + static_cast<size_t>(cw) * ch,
                       nullptr};
    int dst_strides[4] = {w, cw, cw, 0};
    if (sws_scale(sws_, picture->data, picture->linesize, 0, h, dst, dst_strides) <= 0) return false;
    for (int p = 0; p < 3; ++p) {
        view->planes[p] = dst[p];
        view->strides[p] = dst_strides[p];
    }
    return true;
}

}  // namespace renderkit
