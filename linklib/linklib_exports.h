/*
 * ZEPComm, the serial link library: the whole interface of libZEPComm.so.
 *
 * It opens one serial port to the organizer, moves whole messages over it as
 * numbered packets (ENQ / SYN / data / ACK, two attempts a packet) and keeps a
 * process-wide error status with a catalogue of user messages.
 *
 * Threads: none of its own, no locks. Every call runs to completion on the
 * caller's thread (the user-interface thread) and, while it waits, keeps
 * pumping that thread's posted messages, so window procedures run inside a
 * call; that is how ZEPUserCancel reaches a transfer in progress.
 *
 * Ownership: texts are not kept. The block returned by ReceiveZep2 belongs to
 * the caller, who releases it with free(). Port handles are those returned by
 * OpenZep / OpenZepByName; -1 is the invalid handle. Window handles are
 * platform window ids, 0 = none.
 *
 * Results: non-zero (non-null) for success. Only the process-wide error status
 * tells why: 0 no error (a time-out leaves it 0), 999 the port did not open,
 * -1 cancelled by the user.
 */
#ifndef LINKLIB_EXPORTS_H
#define LINKLIB_EXPORTS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZEP_API __attribute__((visibility("default")))

#define ZEP_INVALID_PORT (-1)
#define ZEP_STATUS_OPEN_FAILED 999
#define ZEP_STATUS_CANCELLED (-1)

/* Port handling. */
ZEP_API int32_t OpenZep(int32_t port_number);
ZEP_API int32_t OpenZepByName(const char* port_name);
ZEP_API int32_t CloseZep(int32_t port);
ZEP_API void FlushZep(int32_t port);
ZEP_API int32_t ZEPSetSpeed(int32_t port, uint32_t bits_per_second);

/* Transfers. Time-outs in milliseconds, 0 = no overall limit; `reserved` is ignored. */
ZEP_API int32_t SendZep(uint32_t window, int32_t port, const void* data, int32_t length,
                        uint32_t timeout_ms, uint32_t reserved);
ZEP_API int32_t SendZep1Packet(uint32_t window, int32_t port, const void* data, uint16_t count,
                               uint16_t block);
ZEP_API int32_t ReceiveZep(uint32_t window, int32_t port, void* destination, int32_t capacity,
                           int32_t* length, uint32_t timeout_ms, uint32_t reserved);
ZEP_API int32_t ReceiveZepRapid(uint32_t window, int32_t port, void* destination, int32_t capacity,
                                int32_t* length, uint32_t timeout_ms, uint32_t reserved);
/* The message in a zero-filled block grown in steps of 8192 bytes; free() it. */
ZEP_API void* ReceiveZep2(uint32_t window, int32_t port, int32_t* length, uint32_t timeout_ms,
                          uint32_t reserved);
/* `buffer` holds at least 2050 bytes; `block` is the expected block number in,
 * 0xFFFF out when the packet ended its message. */
ZEP_API int32_t ReceiveZep1Packet(uint32_t window, int32_t port, void* buffer, uint16_t* length,
                                  uint16_t* block);

/* Error status, message id, cancel flag and user messages. */
ZEP_API void ClearErrorStatus(void);
ZEP_API int32_t SetErrorStatus(int32_t status);
ZEP_API int32_t GetErrorStatus(void);
ZEP_API int32_t SetMessageID(int32_t id);
ZEP_API int32_t GetMessageID(void);
ZEP_API int32_t OutputMessage(uint32_t window);
ZEP_API void SetFormatString(const char* text);
ZEP_API int32_t ZEPUserCancel(int32_t flag);

/* The types a loader resolves the exports as. */
typedef int32_t (*OpenZepFn)(int32_t);
typedef int32_t (*OpenZepByNameFn)(const char*);
typedef int32_t (*CloseZepFn)(int32_t);
typedef void (*FlushZepFn)(int32_t);
typedef int32_t (*ZEPSetSpeedFn)(int32_t, uint32_t);
typedef int32_t (*SendZepFn)(uint32_t, int32_t, const void*, int32_t, uint32_t, uint32_t);
typedef int32_t (*SendZep1PacketFn)(uint32_t, int32_t, const void*, uint16_t, uint16_t);
typedef int32_t (*ReceiveZepFn)(uint32_t, int32_t, void*, int32_t, int32_t*, uint32_t, uint32_t);
typedef int32_t (*ReceiveZepRapidFn)(uint32_t, int32_t, void*, int32_t, int32_t*, uint32_t,
                                     uint32_t);
typedef void* (*ReceiveZep2Fn)(uint32_t, int32_t, int32_t*, uint32_t, uint32_t);
typedef int32_t (*ReceiveZep1PacketFn)(uint32_t, int32_t, void*, uint16_t*, uint16_t*);
typedef void (*ClearErrorStatusFn)(void);
typedef int32_t (*SetErrorStatusFn)(int32_t);
typedef int32_t (*GetErrorStatusFn)(void);
typedef int32_t (*SetMessageIDFn)(int32_t);
typedef int32_t (*GetMessageIDFn)(void);
typedef int32_t (*OutputMessageFn)(uint32_t);
typedef void (*SetFormatStringFn)(const char*);
typedef int32_t (*ZEPUserCancelFn)(int32_t);

#ifdef __cplusplus
}
#endif

#endif /* LINKLIB_EXPORTS_H */
