// A recording of either kind, read record by record through one interface:
// a native recording (optional 512-byte header, then frame records) or an
// AVI file (its "movi" chunks). An AVI chunk is handed out as the record a
// native recording would hold for it, so whoever reads records need not know
// which kind of file it has:
//   - a video chunk is one whole frame: fragment 0 of 1, its frame number
//     counting the video chunks from 0, frame type 7 when the H.264 data holds
//     an IDR slice or an SPS (else 8), and a capture time that advances by the
//     file's frame interval from 1 s on;
//   - an audio chunk of G.711 (mu-law, A-law) or 16-bit PCM, 8000 Hz mono, is
//     an audio record whose payload begins with the 4-byte audio header
//     (00 01, length in 16-bit words), header byte 0 the audio type (1 mu-law,
//     2 A-law, 3 PCM); chunks of other sound formats are passed over.
// Positions are file offsets: a record's offset is where its "XCXB" or its
// chunk tag starts, and Seek continues at the first record at or after the
// position given.
//
// A reader belongs to one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "mediafile/avi_reader.h"
#include "mediafile/record_reader.h"

namespace mediafile {

enum class RecordingFormat { kNative, kAvi };

struct OpenedRecording {
    RecordingFormat format = RecordingFormat::kNative;
    RecordingHeader header;      // native: its header (valid false without one)
    uint64_t records_start = 0;  // where the first record (or chunk) starts
    int picture_width = 0;       // AVI: from its header; 0 when not given
    int picture_height = 0;
    uint64_t avi_video_chunks = 0;        // AVI: whole video chunks found
    std::unique_ptr<MediaReader> reader;  // positioned at records_start
};

// Looks at the start of `file` and opens a reader of the right kind. An AVI
// file is read as one (its whole chunks up to the index, the end of the
// "movi" list or where the file was cut off); every other file, an AVI whose
// header lists are broken too, is a native recording (one without the header
// is records from byte 0). The reader reads from `file`, which the caller
// keeps open while it lives, through `payload_buffer` (kFrameBufferBytes; the
// reader allocates its own when null). Null reader only without a file.
OpenedRecording OpenRecording(std::FILE* file, uint8_t* payload_buffer);

}  // namespace mediafile
