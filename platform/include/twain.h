// TWAIN 2.x declarations: the types, records and constants that data sources,
// Source Managers and applications exchange through DSM_Entry and DS_Entry.
// Integers are fixed-width (TW_INT32/TW_UINT32 are 32-bit in both builds),
// handles and memory references pointer-sized, records packed to 2 bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define TWAIN_CALLBACK

typedef char TW_STR32[34];
typedef char TW_STR64[66];
typedef char TW_STR128[130];
typedef char TW_STR255[256];
typedef int8_t TW_INT8;
typedef int16_t TW_INT16;
typedef int32_t TW_INT32;
typedef uint8_t TW_UINT8;
typedef uint16_t TW_UINT16;
typedef uint32_t TW_UINT32;
typedef uint16_t TW_BOOL;
typedef void* TW_HANDLE;
typedef void* TW_MEMREF;
typedef uintptr_t TW_UINTPTR;

#pragma pack(push, 2)

typedef struct TW_FIX32 {
    TW_INT16 Whole;
    TW_UINT16 Frac;
} TW_FIX32, *pTW_FIX32;

typedef struct TW_FRAME {
    TW_FIX32 Left;
    TW_FIX32 Top;
    TW_FIX32 Right;
    TW_FIX32 Bottom;
} TW_FRAME, *pTW_FRAME;

typedef struct TW_VERSION {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;
    TW_UINT16 Country;
    TW_STR32 Info;
} TW_VERSION, *pTW_VERSION;

typedef struct TW_IDENTITY {
    TW_UINT32 Id;
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
} TW_IDENTITY, *pTW_IDENTITY;

typedef struct TW_CAPABILITY {
    TW_UINT16 Cap;
    TW_UINT16 ConType;
    TW_HANDLE hContainer;
} TW_CAPABILITY, *pTW_CAPABILITY;

typedef struct TW_ONEVALUE {
    TW_UINT16 ItemType;
    TW_UINT32 Item;
} TW_ONEVALUE, *pTW_ONEVALUE;

typedef struct TW_ENUMERATION {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT32 CurrentIndex;
    TW_UINT32 DefaultIndex;
    TW_UINT8 ItemList[1];
} TW_ENUMERATION, *pTW_ENUMERATION;

typedef struct TW_ARRAY {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT8 ItemList[1];
} TW_ARRAY, *pTW_ARRAY;

typedef struct TW_RANGE {
    TW_UINT16 ItemType;
    TW_UINT32 MinValue;
    TW_UINT32 MaxValue;
    TW_UINT32 StepSize;
    TW_UINT32 DefaultValue;
    TW_UINT32 CurrentValue;
} TW_RANGE, *pTW_RANGE;

typedef struct TW_EVENT {
    TW_MEMREF pEvent;
    TW_UINT16 TWMessage;
} TW_EVENT, *pTW_EVENT;

typedef struct TW_PENDINGXFERS {
    TW_UINT16 Count;
    union {
        TW_UINT32 EOJ;
        TW_UINT32 Reserved;
    };
} TW_PENDINGXFERS, *pTW_PENDINGXFERS;

typedef struct TW_SETUPMEMXFER {
    TW_UINT32 MinBufSize;
    TW_UINT32 MaxBufSize;
    TW_UINT32 Preferred;
} TW_SETUPMEMXFER, *pTW_SETUPMEMXFER;

typedef struct TW_SETUPFILEXFER {
    TW_STR255 FileName;
    TW_UINT16 Format;
    TW_INT16 VRefNum;
} TW_SETUPFILEXFER, *pTW_SETUPFILEXFER;

typedef struct TW_STATUS {
    TW_UINT16 ConditionCode;
    union {
        TW_UINT16 Data;
        TW_UINT16 Reserved;
    };
} TW_STATUS, *pTW_STATUS;

typedef struct TW_USERINTERFACE {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
} TW_USERINTERFACE, *pTW_USERINTERFACE;

typedef struct TW_IMAGEINFO {
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_INT32 ImageWidth;
    TW_INT32 ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;
    TW_UINT16 Compression;
} TW_IMAGEINFO, *pTW_IMAGEINFO;

typedef struct TW_IMAGELAYOUT {
    TW_FRAME Frame;
    TW_UINT32 DocumentNumber;
    TW_UINT32 PageNumber;
    TW_UINT32 FrameNumber;
} TW_IMAGELAYOUT, *pTW_IMAGELAYOUT;

typedef struct TW_MEMORY {
    TW_UINT32 Flags;
    TW_UINT32 Length;
    TW_MEMREF TheMem;
} TW_MEMORY, *pTW_MEMORY;

typedef struct TW_IMAGEMEMXFER {
    TW_UINT16 Compression;
    TW_UINT32 BytesPerRow;
    TW_UINT32 Columns;
    TW_UINT32 Rows;
    TW_UINT32 XOffset;
    TW_UINT32 YOffset;
    TW_UINT32 BytesWritten;
    TW_MEMORY Memory;
} TW_IMAGEMEMXFER, *pTW_IMAGEMEMXFER;

typedef struct TW_CALLBACK {
    TW_MEMREF CallBackProc;
    TW_UINT32 RefCon;
    TW_INT16 Message;
} TW_CALLBACK, *pTW_CALLBACK;

typedef struct TW_CALLBACK2 {
    TW_MEMREF CallBackProc;
    TW_UINTPTR RefCon;
    TW_INT16 Message;
} TW_CALLBACK2, *pTW_CALLBACK2;

#ifdef __cplusplus
extern "C" {
#endif
typedef TW_UINT16(TWAIN_CALLBACK* DSMENTRYPROC)(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG, TW_UINT16 DAT,
                                                TW_UINT16 MSG, TW_MEMREF pData);
typedef TW_UINT16(TWAIN_CALLBACK* DSENTRYPROC)(pTW_IDENTITY pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                               TW_MEMREF pData);
typedef TW_HANDLE(TWAIN_CALLBACK* DSM_MEMALLOCATE)(TW_UINT32 size);
typedef void(TWAIN_CALLBACK* DSM_MEMFREE)(TW_HANDLE handle);
typedef TW_MEMREF(TWAIN_CALLBACK* DSM_MEMLOCK)(TW_HANDLE handle);
typedef void(TWAIN_CALLBACK* DSM_MEMUNLOCK)(TW_HANDLE handle);
#ifdef __cplusplus
}
#endif

typedef struct TW_ENTRYPOINT {
    TW_UINT32 Size;
    DSMENTRYPROC DSM_Entry;
    DSM_MEMALLOCATE DSM_MemAllocate;
    DSM_MEMFREE DSM_MemFree;
    DSM_MEMLOCK DSM_MemLock;
    DSM_MEMUNLOCK DSM_MemUnlock;
} TW_ENTRYPOINT, *pTW_ENTRYPOINT;

#pragma pack(pop)

// Data groups and the identity's feature flags.
#define DG_CONTROL 0x0001
#define DG_IMAGE 0x0002
#define DG_AUDIO 0x0004
#define DF_DSM2 0x10000000
#define DF_APP2 0x20000000
#define DF_DS2 0x40000000
#define DG_MASK 0xFFFF

// Data argument types.
#define DAT_NULL 0x0000
#define DAT_CUSTOMBASE 0x8000
#define DAT_CAPABILITY 0x0001
#define DAT_EVENT 0x0002
#define DAT_IDENTITY 0x0003
#define DAT_PARENT 0x0004
#define DAT_PENDINGXFERS 0x0005
#define DAT_SETUPMEMXFER 0x0006
#define DAT_SETUPFILEXFER 0x0007
#define DAT_STATUS 0x0008
#define DAT_USERINTERFACE 0x0009
#define DAT_XFERGROUP 0x000a
#define DAT_CUSTOMDSDATA 0x000c
#define DAT_DEVICEEVENT 0x000d
#define DAT_FILESYSTEM 0x000e
#define DAT_PASSTHRU 0x000f
#define DAT_CALLBACK 0x0010
#define DAT_STATUSUTF8 0x0011
#define DAT_CALLBACK2 0x0012
#define DAT_IMAGEINFO 0x0101
#define DAT_IMAGELAYOUT 0x0102
#define DAT_IMAGEMEMXFER 0x0103
#define DAT_IMAGENATIVEXFER 0x0104
#define DAT_IMAGEFILEXFER 0x0105
#define DAT_CIECOLOR 0x0106
#define DAT_GRAYRESPONSE 0x0107
#define DAT_RGBRESPONSE 0x0108
#define DAT_JPEGCOMPRESSION 0x0109
#define DAT_PALETTE8 0x010a
#define DAT_EXTIMAGEINFO 0x010b
#define DAT_FILTER 0x010c
#define DAT_AUDIOFILEXFER 0x0201
#define DAT_AUDIOINFO 0x0202
#define DAT_AUDIONATIVEXFER 0x0203
#define DAT_ICCPROFILE 0x0401
#define DAT_IMAGEMEMFILEXFER 0x0402
#define DAT_ENTRYPOINT 0x0403

// Messages.
#define MSG_NULL 0x0000
#define MSG_CUSTOMBASE 0x8000
#define MSG_GET 0x0001
#define MSG_GETCURRENT 0x0002
#define MSG_GETDEFAULT 0x0003
#define MSG_GETFIRST 0x0004
#define MSG_GETNEXT 0x0005
#define MSG_SET 0x0006
#define MSG_RESET 0x0007
#define MSG_QUERYSUPPORT 0x0008
#define MSG_GETHELP 0x0009
#define MSG_GETLABEL 0x000a
#define MSG_GETLABELENUM 0x000b
#define MSG_SETCONSTRAINT 0x000c
#define MSG_XFERREADY 0x0101
#define MSG_CLOSEDSREQ 0x0102
#define MSG_CLOSEDSOK 0x0103
#define MSG_DEVICEEVENT 0x0104
#define MSG_OPENDSM 0x0301
#define MSG_CLOSEDSM 0x0302
#define MSG_OPENDS 0x0401
#define MSG_CLOSEDS 0x0402
#define MSG_USERSELECT 0x0403
#define MSG_DISABLEDS 0x0501
#define MSG_ENABLEDS 0x0502
#define MSG_ENABLEDSUIONLY 0x0503
#define MSG_PROCESSEVENT 0x0601
#define MSG_ENDXFER 0x0701
#define MSG_STOPFEEDER 0x0702
#define MSG_CHANGEDIRECTORY 0x0801
#define MSG_CREATEDIRECTORY 0x0802
#define MSG_DELETE 0x0803
#define MSG_FORMATMEDIA 0x0804
#define MSG_GETCLOSE 0x0805
#define MSG_GETFIRSTFILE 0x0806
#define MSG_GETINFO 0x0807
#define MSG_GETNEXTFILE 0x0808
#define MSG_RENAME 0x0809
#define MSG_COPY 0x080A
#define MSG_AUTOMATICCAPTUREDIRECTORY 0x080B
#define MSG_PASSTHRU 0x0901
#define MSG_REGISTER_CALLBACK 0x0902
#define MSG_RESETALL 0x0A01

// Return codes.
#define TWRC_SUCCESS 0
#define TWRC_FAILURE 1
#define TWRC_CHECKSTATUS 2
#define TWRC_CANCEL 3
#define TWRC_DSEVENT 4
#define TWRC_NOTDSEVENT 5
#define TWRC_XFERDONE 6
#define TWRC_ENDOFLIST 7
#define TWRC_INFONOTSUPPORTED 8
#define TWRC_DATANOTAVAILABLE 9
#define TWRC_BUSY 10
#define TWRC_SCANNERLOCKED 11

// Condition codes.
#define TWCC_SUCCESS 0
#define TWCC_BUMMER 1
#define TWCC_LOWMEMORY 2
#define TWCC_NODS 3
#define TWCC_MAXCONNECTIONS 4
#define TWCC_OPERATIONERROR 5
#define TWCC_BADCAP 6
#define TWCC_BADPROTOCOL 9
#define TWCC_BADVALUE 10
#define TWCC_SEQERROR 11
#define TWCC_BADDEST 12
#define TWCC_CAPUNSUPPORTED 13
#define TWCC_CAPBADOPERATION 14
#define TWCC_CAPSEQERROR 15
#define TWCC_DENIED 16
#define TWCC_FILEEXISTS 17
#define TWCC_FILENOTFOUND 18
#define TWCC_NOTEMPTY 19
#define TWCC_PAPERJAM 20
#define TWCC_PAPERDOUBLEFEED 21
#define TWCC_FILEWRITEERROR 22
#define TWCC_CHECKDEVICEONLINE 23
#define TWCC_INTERLOCK 24
#define TWCC_DAMAGEDCORNER 25
#define TWCC_FOCUSERROR 26
#define TWCC_DOCTOOLIGHT 27
#define TWCC_DOCTOODARK 28
#define TWCC_NOMEDIA 29

// Container kinds and item types.
#define TWON_ARRAY 3
#define TWON_ENUMERATION 4
#define TWON_ONEVALUE 5
#define TWON_RANGE 6
#define TWON_DONTCARE16 0xffff
#define TWON_DONTCARE32 0xffffffff
#define TWTY_INT8 0x0000
#define TWTY_INT16 0x0001
#define TWTY_INT32 0x0002
#define TWTY_UINT8 0x0003
#define TWTY_UINT16 0x0004
#define TWTY_UINT32 0x0005
#define TWTY_BOOL 0x0006
#define TWTY_FIX32 0x0007
#define TWTY_FRAME 0x0008
#define TWTY_STR32 0x0009
#define TWTY_STR64 0x000a
#define TWTY_STR128 0x000b
#define TWTY_STR255 0x000c
#define TWTY_HANDLE 0x000f

// Capabilities.
#define CAP_CUSTOMBASE 0x8000
#define CAP_XFERCOUNT 0x0001
#define ICAP_COMPRESSION 0x0100
#define ICAP_PIXELTYPE 0x0101
#define ICAP_UNITS 0x0102
#define ICAP_XFERMECH 0x0103
#define CAP_FEEDERENABLED 0x1002
#define CAP_SUPPORTEDCAPS 0x1005
#define CAP_INDICATORS 0x100b
#define CAP_UICONTROLLABLE 0x100e
#define CAP_DUPLEX 0x1012
#define CAP_DUPLEXENABLED 0x1013
#define ICAP_XRESOLUTION 0x1118
#define ICAP_YRESOLUTION 0x1119
#define ICAP_PIXELFLAVOR 0x111f
#define ICAP_BITDEPTH 0x112b
#define CAP_FEEDERLOADED 0x1003
#define CAP_AUTOFEED 0x1007
#define CAP_PAPERDETECTABLE 0x100d
#define CAP_DEVICEONLINE 0x100f
#define CAP_ENABLEDSUIONLY 0x1014
#define CAP_FEEDERALIGNMENT 0x102d
#define CAP_REACQUIREALLOWED 0x1030
#define ICAP_BRIGHTNESS 0x1101
#define ICAP_CONTRAST 0x1103
#define ICAP_GAMMA 0x1108
#define ICAP_HIGHLIGHT 0x110a
#define ICAP_IMAGEFILEFORMAT 0x110c
#define ICAP_ORIENTATION 0x1110
#define ICAP_PHYSICALWIDTH 0x1111
#define ICAP_PHYSICALHEIGHT 0x1112
#define ICAP_SHADOW 0x1113
#define ICAP_XNATIVERESOLUTION 0x1116
#define ICAP_YNATIVERESOLUTION 0x1117
#define ICAP_BITORDER 0x111c
#define ICAP_PLANARCHUNKY 0x1120
#define ICAP_SUPPORTEDSIZES 0x1122
#define ICAP_THRESHOLD 0x1123
#define ICAP_BITDEPTHREDUCTION 0x112c
#define ICAP_AUTOMATICBORDERDETECTION 0x1150
#define ICAP_AUTOMATICDESKEW 0x1151

// Operations a capability supports (MSG_QUERYSUPPORT).
#define TWQC_GET 0x0001
#define TWQC_SET 0x0002
#define TWQC_GETDEFAULT 0x0004
#define TWQC_GETCURRENT 0x0008
#define TWQC_RESET 0x0010

// Capability values.
#define TWSX_NATIVE 0
#define TWSX_FILE 1
#define TWSX_MEMORY 2
#define TWFF_TIFF 0
#define TWFF_PICT 1
#define TWFF_BMP 2
#define TWPT_BW 0
#define TWPT_GRAY 1
#define TWPT_RGB 2
#define TWCP_NONE 0
#define TWPF_CHOCOLATE 0
#define TWPF_VANILLA 1
#define TWUN_INCHES 0
#define TWDX_NONE 0
#define TWDX_1PASSDUPLEX 1
#define TWDX_2PASSDUPLEX 2
#define TWBO_LSBFIRST 0
#define TWBO_MSBFIRST 1
#define TWFA_NONE 0
#define TWFA_LEFT 1
#define TWFA_CENTER 2
#define TWFA_RIGHT 3
#define TWSS_NONE 0
#define TWSS_A6 13
#define TWSS_BUSINESSCARD 53
#define TWMF_APPOWNS 0x0001
#define TWMF_DSMOWNS 0x0002
#define TWMF_DSOWNS 0x0004
#define TWMF_POINTER 0x0008
#define TWMF_HANDLE 0x0010
#define TWLG_USA 13
#define TWCY_USA 1

// The protocol this header describes.
#define TWON_PROTOCOLMINOR 4
#define TWON_PROTOCOLMAJOR 2

#ifdef __cplusplus
static_assert(sizeof(TW_FIX32) == 4 && sizeof(TW_FRAME) == 16, "TW_FIX32 and TW_FRAME");
static_assert(sizeof(TW_VERSION) == 42, "TW_VERSION");
static_assert(sizeof(TW_IDENTITY) == 156, "TW_IDENTITY is 156 bytes in every build");
static_assert(offsetof(TW_IDENTITY, ProtocolMajor) == 46 && offsetof(TW_IDENTITY, Manufacturer) == 54,
              "TW_IDENTITY fields");
static_assert(sizeof(TW_ONEVALUE) == 6 && sizeof(TW_RANGE) == 22, "TW_ONEVALUE and TW_RANGE");
static_assert(sizeof(TW_ENUMERATION) == 16 && offsetof(TW_ENUMERATION, ItemList) == 14, "TW_ENUMERATION");
static_assert(sizeof(TW_ARRAY) == 8 && offsetof(TW_ARRAY, ItemList) == 6, "TW_ARRAY");
static_assert(sizeof(TW_PENDINGXFERS) == 6 && sizeof(TW_STATUS) == 4, "TW_PENDINGXFERS and TW_STATUS");
static_assert(sizeof(TW_SETUPMEMXFER) == 12 && sizeof(TW_SETUPFILEXFER) == 260, "transfer setup records");
static_assert(sizeof(TW_IMAGEINFO) == 42 && sizeof(TW_IMAGELAYOUT) == 28, "TW_IMAGEINFO and TW_IMAGELAYOUT");
static_assert(sizeof(TW_CAPABILITY) == 4 + sizeof(void*), "TW_CAPABILITY");
static_assert(sizeof(TW_USERINTERFACE) == 4 + sizeof(void*), "TW_USERINTERFACE");
static_assert(sizeof(TW_EVENT) == sizeof(void*) + 2, "TW_EVENT");
static_assert(sizeof(TW_MEMORY) == 8 + sizeof(void*), "TW_MEMORY");
static_assert(offsetof(TW_IMAGEMEMXFER, Memory) == 26 && sizeof(TW_IMAGEMEMXFER) == 34 + sizeof(void*),
              "TW_IMAGEMEMXFER");
static_assert(sizeof(TW_CALLBACK) == sizeof(void*) + 6, "TW_CALLBACK");
static_assert(sizeof(TW_CALLBACK2) == 2 * sizeof(void*) + 2, "TW_CALLBACK2");
static_assert(sizeof(TW_ENTRYPOINT) == 4 + 5 * sizeof(void*), "TW_ENTRYPOINT");
#endif
