/* Records that cross the SDK's C interface or the device wire. Every record is
 * packed and little-endian; sizes and offsets are checked at compile time.
 * Plain C11. */
#ifndef ZYNVS_RECORDS_H
#define ZYNVS_RECORDS_H

#include "zynvs_platform.h"

ZYNVS_PACKED_BEGIN

/* Login record of ZYNVS_Login / ZYNVS_AddDevice (136 bytes). */
typedef struct DeviceLoginInfo {
    int32_t device_id;          /* 0: the registry key */
    uint32_t reserved0;         /* 4 */
    int32_t channel_count;      /* 8: video channels; at most 4 are tracked */
    char control_address[32];   /* 12: dotted IPv4 text */
    char stream_address[32];    /* 44: overwritten with the control address at login */
    uint16_t control_port;      /* 76 */
    uint16_t stream_port;       /* 78 */
    char user_name[8];          /* 80: account block, sent unchanged at login */
    char password[8];           /* 88 */
    uint8_t control_transport;  /* 96: 0 TCP, 1 UDP */
    uint8_t stream_transport;   /* 97: 0 TCP, 1 UDP, 2 multicast */
    uint8_t online;             /* 98: kept by the control service */
    uint8_t reserved1;          /* 99 */
    int32_t device_kind;        /* 100: selects the device class */
    uint8_t platform_data[32];  /* 104: platform-attached devices only */
} DeviceLoginInfo;

/* Live-view request of ZYNVS_RealPlay (68 bytes). */
typedef struct ClientInfo {
    uint8_t stream_kind;        /* 0: 0 main, 1 sub, 2 audio, 3 talk */
    uint8_t channel;            /* 1: 0..3 */
    uint8_t request_flag;       /* 2: copied into byte 2 of the stream request */
    uint8_t kept_byte;          /* 3: kept with the channel, not sent */
    uint32_t link_value;        /* 4: sent in stream requests, passed to DecRealDataCallback */
    uint8_t stream_transport;   /* 8: 0 TCP, 1 UDP, 2 multicast */
    uint8_t display_flag;       /* 9 */
    uint16_t stream_port;       /* 10: group port for multicast */
    uint16_t reserved0;         /* 12 */
    char stream_address[32];    /* 14: empty = not restored after a reconnect */
    uint16_t reserved1;         /* 46 */
    uint32_t window;            /* 48: native window id; 0 = no display */
    uint8_t display_guid[16];   /* 52 */
} ClientInfo;

/* Payload of command 0x0201 (16 bytes). */
typedef struct StreamRequest {
    uint8_t stream_kind;        /* 0 */
    uint8_t channel;            /* 1 */
    uint8_t open_flag;          /* 2: 1 open, 0 close */
    uint8_t stream_transport;   /* 3 */
    uint32_t link_value;        /* 4 */
    uint16_t zero;              /* 8 */
    uint16_t stream_port;       /* 10 */
    uint32_t stream_address;    /* 12: first octet in the most significant byte */
} StreamRequest;

/* Device message header (8 bytes); the payload follows. */
typedef struct MessageHeader {
    uint8_t sync[2];            /* 0x11 0x11 */
    uint16_t command;           /* 2 */
    uint16_t second_word;       /* 4: the sender's session word */
    uint16_t payload_length;    /* 6 */
} MessageHeader;

/* The 24-byte header of a video fragment (0x0301) or audio block (0x0302). */
typedef struct FrameFragmentHeader {
    uint8_t audio_type;         /* 0: audio frame type / codec byte */
    uint8_t channel;            /* 1: 0..3; 4 = channel 0 sub stream */
    uint8_t resolution;         /* 2: resolution code (5 = 1920x1080) */
    uint8_t stream_kind;        /* 3: 0 main, 1 sub */
    uint8_t frame_type;         /* 4: 7 = key frame */
    uint8_t time_mark;          /* 5: 3 = an 8-byte time stamp follows (callback copies, files) */
    uint8_t fragment_index;     /* 6 */
    uint8_t fragment_count;     /* 7: 1 in complete-frame copies */
    uint32_t frame_number;      /* 8 */
    uint32_t total_length;      /* 12: bytes in the whole frame */
    uint32_t time_sec;          /* 16 */
    uint16_t time_msec;         /* 20 */
    uint16_t fragment_length;   /* 22: data bytes in this fragment */
} FrameFragmentHeader;

/* Record of ZYNVS_ModifyNetPara / ZYNVS_Reboot (176 bytes). */
typedef struct ModifyNetParaRecord {
    char mac[20];               /* 0: XX:XX:XX:XX:XX:XX */
    char ip_address[32];        /* 20 */
    char subnet_mask[20];       /* 52 */
    char gateway[22];           /* 72 */
    uint16_t port;              /* 94 */
    char text_d[44];            /* 96: first 20 characters are sent */
    uint8_t byte_b;             /* 140 */
    uint8_t reserved0[7];       /* 141 */
    uint16_t word_w;            /* 148 */
    uint8_t reserved1[2];       /* 150 */
    char text_e[24];            /* 152 */
} ModifyNetParaRecord;

ZYNVS_PACKED_END

#define ZYNVS_CHECK_OFFSET(type, field, off) \
    ZYNVS_STATIC_ASSERT(offsetof(type, field) == (off), #type "." #field " offset")

ZYNVS_STATIC_ASSERT(sizeof(DeviceLoginInfo) == 136, "DeviceLoginInfo is 136 bytes");
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, reserved0, 4);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, channel_count, 8);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, control_address, 12);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, stream_address, 44);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, control_port, 76);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, stream_port, 78);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, user_name, 80);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, password, 88);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, control_transport, 96);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, stream_transport, 97);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, online, 98);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, device_kind, 100);
ZYNVS_CHECK_OFFSET(DeviceLoginInfo, platform_data, 104);

ZYNVS_STATIC_ASSERT(sizeof(ClientInfo) == 68, "ClientInfo is 68 bytes");
ZYNVS_CHECK_OFFSET(ClientInfo, channel, 1);
ZYNVS_CHECK_OFFSET(ClientInfo, request_flag, 2);
ZYNVS_CHECK_OFFSET(ClientInfo, kept_byte, 3);
ZYNVS_CHECK_OFFSET(ClientInfo, link_value, 4);
ZYNVS_CHECK_OFFSET(ClientInfo, stream_transport, 8);
ZYNVS_CHECK_OFFSET(ClientInfo, display_flag, 9);
ZYNVS_CHECK_OFFSET(ClientInfo, stream_port, 10);
ZYNVS_CHECK_OFFSET(ClientInfo, stream_address, 14);
ZYNVS_CHECK_OFFSET(ClientInfo, window, 48);
ZYNVS_CHECK_OFFSET(ClientInfo, display_guid, 52);

ZYNVS_STATIC_ASSERT(sizeof(StreamRequest) == 16, "StreamRequest is 16 bytes");
ZYNVS_CHECK_OFFSET(StreamRequest, channel, 1);
ZYNVS_CHECK_OFFSET(StreamRequest, open_flag, 2);
ZYNVS_CHECK_OFFSET(StreamRequest, stream_transport, 3);
ZYNVS_CHECK_OFFSET(StreamRequest, link_value, 4);
ZYNVS_CHECK_OFFSET(StreamRequest, zero, 8);
ZYNVS_CHECK_OFFSET(StreamRequest, stream_port, 10);
ZYNVS_CHECK_OFFSET(StreamRequest, stream_address, 12);

ZYNVS_STATIC_ASSERT(sizeof(MessageHeader) == 8, "MessageHeader is 8 bytes");
ZYNVS_CHECK_OFFSET(MessageHeader, command, 2);
ZYNVS_CHECK_OFFSET(MessageHeader, second_word, 4);
ZYNVS_CHECK_OFFSET(MessageHeader, payload_length, 6);

ZYNVS_STATIC_ASSERT(sizeof(FrameFragmentHeader) == 24, "FrameFragmentHeader is 24 bytes");
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, channel, 1);
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, resolution, 2);
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, stream_kind, 3);
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, frame_type, 4);
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, time_mark, 5);
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, fragment_index, 6);
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, fragment_count, 7);
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, frame_number, 8);
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, total_length, 12);
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, time_sec, 16);
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, time_msec, 20);
ZYNVS_CHECK_OFFSET(FrameFragmentHeader, fragment_length, 22);

ZYNVS_STATIC_ASSERT(sizeof(ModifyNetParaRecord) == 176, "ModifyNetParaRecord is 176 bytes");
ZYNVS_CHECK_OFFSET(ModifyNetParaRecord, ip_address, 20);
ZYNVS_CHECK_OFFSET(ModifyNetParaRecord, subnet_mask, 52);
ZYNVS_CHECK_OFFSET(ModifyNetParaRecord, gateway, 72);
ZYNVS_CHECK_OFFSET(ModifyNetParaRecord, port, 94);
ZYNVS_CHECK_OFFSET(ModifyNetParaRecord, text_d, 96);
ZYNVS_CHECK_OFFSET(ModifyNetParaRecord, byte_b, 140);
ZYNVS_CHECK_OFFSET(ModifyNetParaRecord, word_w, 148);
ZYNVS_CHECK_OFFSET(ModifyNetParaRecord, text_e, 152);

/* Frame records handed to the application and written to recordings start
 * with this 6-byte prefix, then the 24-byte fragment header. */
#define ZYNVS_VIDEO_PREFIX "XCXBV"
#define ZYNVS_AUDIO_PREFIX "XCXBA"
#define ZYNVS_FRAME_PREFIX_BYTES 6
#define ZYNVS_FRAME_RECORD_HEADER_BYTES 30

#define ZYNVS_MESSAGE_SYNC 0x11
#define ZYNVS_MESSAGE_HEADER_BYTES 8

#endif
