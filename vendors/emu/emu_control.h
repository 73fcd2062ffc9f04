/* Test and demo control of every emulated vendor library (the same names in
 * each library; resolve them on the library's own handle). */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Replaces the devices with the lines of `lines` (newline-separated, the
 * device file's format; lines of other makers are ignored) and clears the
 * call log. Returns the number of devices kept. */
typedef int (*ZynVendorEmu_Reset_t)(const char* lines);
/* Copies the call log (one call per line) into buf; returns the bytes
 * needed, including the terminator. */
typedef int (*ZynVendorEmu_Calls_t)(char* buf, int size);
/* Copies device `index` as a device-file line; returns the bytes needed or 0. */
typedef int (*ZynVendorEmu_Device_t)(int index, char* buf, int size);
/* Copies the last record or block handed to a change call; returns its size. */
typedef int (*ZynVendorEmu_LastBlock_t)(void* buf, int size);

/* Makes the named calls fail from now on (names separated by commas, e.g.
 * "ANTS_NET_DVR_GetDVRConfig,NetClient_Ord126"; empty: none). Reset clears
 * it. Returns 1. */
typedef int (*ZynVendorEmu_Fail_t)(const char* names);
/* Emulated events (libraries that deliver them): kind 1 an alarm of the
 * given vendor alarm type, kind 2 an exception with the given code; sent on
 * the library's own thread to every logged-in session. Returns the number of
 * sessions told. */
typedef int (*ZynVendorEmu_Event_t)(int kind, int value);

#ifdef __cplusplus
}
#endif
