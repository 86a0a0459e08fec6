/*
 * TPXCmd, the command library: the whole interface of libTPXCmd.so.
 *
 * It keeps one connection to the organizer (made by TPXInit, which binds the
 * serial link library libZEPComm.so by name at run time), sends the
 * organizer's system commands over it and runs the reprogramming of its flash
 * (TPXWsysPatchSendVQ3).
 *
 * Threads: none of its own, no locks. Every export runs to completion on the
 * caller's thread, the user-interface thread. While the link library waits it
 * dispatches that thread's posted messages, so a window procedure may call
 * TPXUserCancel, TPXUseWM, TPXSetReproStatus or TPXGetReproStatus in the
 * middle of another export; those only store or load a value.
 *
 * Progress: the library registers the window message "WM_USER_TepixProgress"
 * when it is loaded and, while TPXUseWM(1) is in force, posts it to the window
 * given to TPXInit: wparam 2 with the image size in KB once, then wparam 1
 * with the index of each kilobyte sent. Trace texts go to the platform's trace
 * output ($VQ3_TRACE).
 *
 * Ownership: texts are not kept. The block returned by TPXWsysReceiveQimAll
 * belongs to the caller, who releases it with TPXFreeBuf. Window handles are
 * platform window ids, 0 = none.
 *
 * Results: booleans are one byte, 1 success, 0 failure. A failed system
 * command has already shown the link library's message for it, if any.
 * After TPXInit returned 0 only TPXUseWM, TPXSetReproStatus,
 * TPXGetReproStatus and TPXFreeBuf may be called.
 */
#ifndef CMDLIB_EXPORTS_H
#define CMDLIB_EXPORTS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TPX_API __attribute__((visibility("default")))

/* Connection. */
TPX_API uint8_t TPXInit(uint32_t owner_window);
TPX_API uint8_t TPXOpen(const char* port_name);
TPX_API int32_t TPXClose(void);
TPX_API void TPXFreeBuf(void* block);

/* System commands. */
TPX_API uint8_t TPXReceiveStart(void);
TPX_API uint8_t TPXWsysReset(void);
TPX_API uint8_t TPXWsysQuit(void);
TPX_API uint8_t TPXWsysReceiveQimAll(void** block, uint32_t* length);
TPX_API uint8_t TPXWsysSetBaud(uint32_t bits_per_second);

/* Library-wide switches. */
TPX_API void TPXUseWM(uint32_t flag);
TPX_API int32_t TPXUserCancel(int32_t flag);
TPX_API uint8_t TPXSetSpeed(int32_t bits_per_second);

/* Reprogramming: ROM image path, loader map path, transfer speed (19200, or
 * 38400 for any other value), send-command flag (low byte: send
 * "WSYS PATCH SEND" first). */
TPX_API uint8_t TPXWsysPatchSendVQ3(const char* rom_path, const char* map_path,
                                    int32_t transfer_baud, int32_t send_command);
TPX_API void TPXSetReproStatus(int32_t status);
TPX_API int32_t TPXGetReproStatus(void);

/* The types a loader resolves the exports as. */
typedef uint8_t (*TPXInitFn)(uint32_t);
typedef uint8_t (*TPXOpenFn)(const char*);
typedef int32_t (*TPXCloseFn)(void);
typedef void (*TPXFreeBufFn)(void*);
typedef uint8_t (*TPXReceiveStartFn)(void);
typedef uint8_t (*TPXWsysResetFn)(void);
typedef uint8_t (*TPXWsysQuitFn)(void);
typedef uint8_t (*TPXWsysReceiveQimAllFn)(void**, uint32_t*);
typedef uint8_t (*TPXWsysSetBaudFn)(uint32_t);
typedef void (*TPXUseWMFn)(uint32_t);
typedef int32_t (*TPXUserCancelFn)(int32_t);
typedef uint8_t (*TPXSetSpeedFn)(int32_t);
typedef uint8_t (*TPXWsysPatchSendVQ3Fn)(const char*, const char*, int32_t, int32_t);
typedef void (*TPXSetReproStatusFn)(int32_t);
typedef int32_t (*TPXGetReproStatusFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* CMDLIB_EXPORTS_H */
