/* Progress of the player's background conversion: an extension of the
 * ZYNVS_PlAY_ conversion calls, which themselves report nothing. Plain C11, no
 * dependency but <stdint.h>, so the player's public header can include it. */
#ifndef ZYN_CONVERT_PROGRESS_H
#define ZYN_CONVERT_PROGRESS_H

#include <stddef.h>
#include <stdint.h>

typedef struct ZynConvertProgress {
    uint64_t bytes_read;     /* 0: source bytes consumed by the running (or last) job */
    uint64_t total_bytes;    /* 8: its source size; for a clip, the bytes to copy */
    int32_t mode;            /* 16: mode of the running (or last) job, 0 before the first */
    int32_t running;         /* 20: 1 while a job runs */
    uint32_t jobs_queued;    /* 24: jobs waiting in the queue */
    uint32_t jobs_finished;  /* 28: jobs ended (done, failed or stopped) since the engine
                                was created */
} ZynConvertProgress;

#ifdef __cplusplus
static_assert(sizeof(ZynConvertProgress) == 32, "ZynConvertProgress is 32 bytes");
static_assert(offsetof(ZynConvertProgress, mode) == 16, "ZynConvertProgress.mode");
static_assert(offsetof(ZynConvertProgress, jobs_finished) == 28, "ZynConvertProgress.jobs_finished");
#else
_Static_assert(sizeof(ZynConvertProgress) == 32, "ZynConvertProgress is 32 bytes");
_Static_assert(offsetof(ZynConvertProgress, mode) == 16, "ZynConvertProgress.mode");
_Static_assert(offsetof(ZynConvertProgress, jobs_finished) == 28,
               "ZynConvertProgress.jobs_finished");
#endif

#endif
