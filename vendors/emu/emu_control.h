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

#ifdef __cplusplus
}
#endif
