// The usbscan device files: I/O control codes and their records.
#pragma once

#include <windef.h>
#include <minwinbase.h>
#include <winioctl.h>

#define FILE_DEVICE_USB_SCAN 0x8000
#define IOCTL_INDEX 0x0800

#define IOCTL_WAIT_ON_DEVICE_EVENT CTL_CODE(FILE_DEVICE_USB_SCAN, IOCTL_INDEX + 2, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_READ_REGISTERS CTL_CODE(FILE_DEVICE_USB_SCAN, IOCTL_INDEX + 3, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_WRITE_REGISTERS CTL_CODE(FILE_DEVICE_USB_SCAN, IOCTL_INDEX + 4, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_GET_CHANNEL_ALIGN_RQST CTL_CODE(FILE_DEVICE_USB_SCAN, IOCTL_INDEX + 5, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_GET_DEVICE_DESCRIPTOR CTL_CODE(FILE_DEVICE_USB_SCAN, IOCTL_INDEX + 6, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define IOCTL_RESET_PIPE CTL_CODE(FILE_DEVICE_USB_SCAN, IOCTL_INDEX + 7, METHOD_BUFFERED, FILE_ANY_ACCESS)

typedef struct _IO_BLOCK {
    unsigned uOffset;
    unsigned uLength;
    PUCHAR pbyData;
    unsigned uIndex;
} IO_BLOCK, *PIO_BLOCK;

typedef struct _CHANNEL_INFO {
    ULONG EventChannelSize;
    ULONG uReadDataAlignment;
    ULONG uWriteDataAlignment;
} CHANNEL_INFO, *PCHANNEL_INFO;

typedef struct _DEVICE_DESCRIPTOR {
    USHORT usVendorId;
    USHORT usProductId;
    USHORT usBcdDevice;
    USHORT usLanguageId;
} DEVICE_DESCRIPTOR, *PDEVICE_DESCRIPTOR;

typedef enum _PIPE_TYPE {
    EVENT_PIPE,
    READ_DATA_PIPE,
    WRITE_DATA_PIPE,
    ALL_PIPE
} PIPE_TYPE;

#ifdef __cplusplus
static_assert(IOCTL_READ_REGISTERS == 0x8000200Cu, "IOCTL_READ_REGISTERS");
static_assert(IOCTL_RESET_PIPE == 0x8000201Cu, "IOCTL_RESET_PIPE");
static_assert(sizeof(IO_BLOCK) == (sizeof(void*) == 8 ? 24 : 16), "IO_BLOCK layout");
static_assert(offsetof(IO_BLOCK, pbyData) == 8, "IO_BLOCK pbyData");
static_assert(offsetof(IO_BLOCK, uIndex) == (sizeof(void*) == 8 ? 16 : 12), "IO_BLOCK uIndex");
static_assert(sizeof(CHANNEL_INFO) == 12, "CHANNEL_INFO layout");
static_assert(sizeof(DEVICE_DESCRIPTOR) == 8, "DEVICE_DESCRIPTOR layout");
#endif
