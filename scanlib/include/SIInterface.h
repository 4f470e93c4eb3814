// The scanner library's C interface: result codes, the property and event
// records, and the twenty SI_ functions. Front ends bind these names at run
// time; the records are the wire format between modules.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define SI_EXPORT __attribute__((visibility("default")))
#else
#define SI_EXPORT
#endif

typedef uint32_t SIResult;

enum {
    SI_OK = 0,
    SI_ERR_UNKNOWN_SCANNER = 10,
    SI_ERR_NO_HARDWARE = 11,
    SI_ERR_INVALID_PARAMETER = 14,
    SI_ERR_ALREADY_OPEN = 15,
    SI_ERR_NOT_OPEN = 17,
    SI_ERR_CALIBRATION_FILE = 18,
    SI_ERR_BUSY = 19,
    SI_END_OF_PAGE = 20,
    SI_ERR_NOT_SCANNING = 21,
    SI_ERR_COMMUNICATION = 256,
    SI_ERR_UNKNOWN = 2048,
    SI_ERR_CALIBRATION_FAILED = 2050,
    SI_ERR_INIT_FAILED = 2051,
    SI_ERR_CANCELLED = 2052,
    SI_CALIBRATED_WHITE_ONLY = 2112,
    SI_ERR_PROPERTY_UNSUPPORTED = 2304,
    SI_ERR_PROPERTY_INVALID = 2305,
    SI_ERR_PROPERTY_READ_ONLY = 2306
};

/* The model name suffix that selects the usbscan device file. */
#define SI_DIRECT_PORT_SUFFIX "__"

/* Scanner, paper and button states. */
enum { SI_SCANNER_NOT_READY = 0, SI_SCANNER_READY = 1, SI_SCANNER_BUSY = 2 };
enum { SI_PAPER_ABSENT = 0, SI_PAPER_PRESENT = 1 };
enum { SI_BUTTON_SCAN = 0 };

/* SI_Diagnostic codes: port check (words[0] := 1 when the port answers), a
   read of words[0] kilobytes of scan data (words[1] := bytes read), and the
   read (words[1] := level) and drive (to words[1]) of board line words[0]. */
enum {
    SI_DIAG_DEVICE_CHECK = 0,
    SI_DIAG_READ_TEST = 16,
    SI_DIAG_GPIO_READ = 0x10000,
    SI_DIAG_GPIO_WRITE = 0x20000
};

/* SIProperty container kinds, item types and access modes. */
enum { SI_CONTAINER_SINGLE = 0, SI_CONTAINER_RANGE = 1, SI_CONTAINER_LIST = 2, SI_CONTAINER_ARRAY = 3 };
enum { SI_TYPE_INT32 = 1, SI_TYPE_UINT16 = 4, SI_TYPE_BOOL = 7, SI_TYPE_FLOAT = 8, SI_TYPE_STRING = 9 };
enum { SI_ACCESS_READ_ONLY = 0, SI_ACCESS_READ_WRITE = 1 };

typedef uint16_t SIPropertyId;

/* One property value exchanged with SI_GetProperty / SI_SetProperty. Value
   slots are pointer sized; an int32, bool or float occupies the low 32 bits. */
typedef struct SIProperty {
    uint16_t id;
    uint16_t container;
    uint16_t itemType;
    uint16_t access;
    uintptr_t value[5];
} SIProperty;

/* Interrupt bytes in, decoded events out. */
typedef struct SIEvent {
    uint8_t count;
    uint8_t data[20];
    uint8_t padding[3];
    uint32_t events;
} SIEvent;

enum { SI_EVENT_SCAN_BUTTON = 0x01, SI_EVENT_PAPER_IN = 0x10 };

/* Progress callback: percentage done; return 0 to cancel. */
typedef int (*SIProgressCallback)(int percent);

SI_EXPORT SIResult SI_Calibrate(int argument, SIProgressCallback progress);
SI_EXPORT SIResult SI_Clean(SIProgressCallback progress);
SI_EXPORT SIResult SI_CloseInterface(void);
SI_EXPORT SIResult SI_Diagnostic(int code, int* words);
SI_EXPORT SIResult SI_EndScan(void);
SI_EXPORT SIResult SI_Feed(void);
SI_EXPORT SIResult SI_FeedPaperOut(void);
SI_EXPORT SIResult SI_GetButtonStatus(int button, int* pressed);
SI_EXPORT SIResult SI_GetEvent(SIEvent* event);
SI_EXPORT SIResult SI_GetLastError(void);
SI_EXPORT SIResult SI_GetLastErrorText(const char** text);
SI_EXPORT SIResult SI_GetPaperStatus(int* present);
SI_EXPORT SIResult SI_GetProperty(SIProperty* property);
SI_EXPORT SIResult SI_GetScannerStatus(int* status);
SI_EXPORT SIResult SI_IsCalibrated(int* calibrated);
SI_EXPORT SIResult SI_OpenInterface(const char* name);
SI_EXPORT SIResult SI_ReadImageData(uint8_t* buffer, uint32_t lines, uint32_t side, int* linesRead);
SI_EXPORT SIResult SI_Reset(void);
SI_EXPORT SIResult SI_SetProperty(const SIProperty* property);
SI_EXPORT SIResult SI_StartScan(void);

#ifdef __cplusplus
}

static_assert(offsetof(SIProperty, value) == 8, "SIProperty slots start at 8");
static_assert(sizeof(SIProperty) == 8 + 5 * sizeof(void*), "SIProperty is 48 bytes (x64) or 28 (x86)");
static_assert(sizeof(SIEvent) == 28 && offsetof(SIEvent, events) == 24, "SIEvent wire layout");
#endif
