/* Calling convention, export marker and the few platform types that cross the
 * exported C interfaces of ZynDecodeKit and ZynPlayCtrl. Plain C11. */
#ifndef ZYNVS_PLATFORM_H
#define ZYNVS_PLATFORM_H

#include <stddef.h>
#include <stdint.h>

/* stdcall on 32-bit Windows, nothing elsewhere. */
#if defined(_WIN32) && !defined(_WIN64)
#define ZYNVS_CALL __stdcall
#else
#define ZYNVS_CALL
#endif

/* Marks an exported function. The libraries build with hidden visibility, so
 * only functions carrying this marker are visible in the shared object. */
#if defined(_WIN32)
#ifdef ZYNVS_BUILDING_LIBRARY
#define ZYNVS_API __declspec(dllexport)
#else
#define ZYNVS_API __declspec(dllimport)
#endif
#else
#define ZYNVS_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define ZYNVS_EXTERN_C extern "C"
#define ZYNVS_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define ZYNVS_EXTERN_C
#define ZYNVS_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#if defined(_MSC_VER)
#define ZYNVS_PACKED_BEGIN __pragma(pack(push, 1))
#define ZYNVS_PACKED_END __pragma(pack(pop))
#else
#define ZYNVS_PACKED_BEGIN _Pragma("pack(push, 1)")
#define ZYNVS_PACKED_END _Pragma("pack(pop)")
#endif

/* A native window: an X11 Window id on Linux (0 = none). Pointer-sized in
 * arguments; fixed records carry it in 32 bits. */
typedef unsigned long ZYNVS_WND;

/* A rectangle in picture pixels (source rectangles). */
typedef struct ZYNVS_RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} ZYNVS_RECT;

typedef struct ZYNVS_SIZE {
    int32_t cx;
    int32_t cy;
} ZYNVS_SIZE;

/* The surface a drawing callback paints on: the picture about to be shown, as
 * 32-bit BGRA pixels (byte order B, G, R, A), top row first. The host may
 * change the pixels during the call; the changes are what the window shows. */
typedef struct ZynDrawSurface {
    uint8_t* pixels;
    int32_t width;
    int32_t height;
    int32_t stride; /* bytes per row */
    int32_t format; /* 0 = BGRA32 */
} ZynDrawSurface;

/* The device context handed to a drawing callback is a ZynDrawSurface pointer. */
typedef ZynDrawSurface* ZYNVS_HDC;

/* Drawing callback of both libraries (DrawOSDCallback in the SDK,
 * PlayDrawCallback in the player): the picture about to be shown, its size,
 * the channel (the player passes its port number) and the user value. */
typedef void(ZYNVS_CALL* ZynDrawCallback)(ZYNVS_HDC dc, ZYNVS_SIZE* frame_size, int channel,
                                          void* user);

/* A decoded picture as handed to decode callbacks: planar YUV 4:2:0 (I420),
 * valid only during the call. The callback's size argument is
 * sizeof(ZynDecodedPicture). */
typedef struct ZynDecodedPicture {
    const uint8_t* planes[3]; /* Y, U, V */
    int32_t strides[3];
    int32_t width;
    int32_t height;
    int32_t format;        /* 0 = I420 */
    uint32_t frame_number; /* the number given with the compressed frame */
} ZynDecodedPicture;

#endif
