/*
 * Susie plug-in interface for Linux, as Kelvora loads it.
 *
 * A plug-in is a shared object named "*.spi" that exports the entry points
 * below with C linkage. It is built for the host's architecture (x86-64 and
 * other 64-bit targets: the records keep the layout of 64-bit Windows plug-in
 * sources, packed, with pointer-sized handles). Windows' LONG and DWORD are
 * 32 bits wide, so every such field is int32_t or uint32_t here; the calling
 * convention is the platform's C convention.
 *
 * Memory handed to the host is allocated with LocalAlloc from the small
 * library libkelvora_local (link with -lkelvora_local); the host owns the
 * blocks afterwards and frees them with LocalFree. A handle is the address
 * of its block, so LocalLock returns the handle itself.
 *
 * The host passes pictures in two forms, chosen by the low three bits of
 * `flag`: 0 = `buf` is a NUL-terminated file name and `len` the offset in the
 * file where the data begins; 1 = `buf` points at the data in memory and
 * `len` is its length. IsSupported always gets a pointer to the first 2 KiB
 * of the data (zero-filled past its end), never a file handle.
 */
#ifndef KELVORA_SUSIE_H
#define KELVORA_SUSIE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define SUSIE_EXTERN_C extern "C"
#else
#define SUSIE_EXTERN_C
#endif
#define SUSIE_EXPORT SUSIE_EXTERN_C __attribute__((visibility("default")))

typedef void* HLOCAL;

/* LocalAlloc and LocalReAlloc flags */
#define LMEM_FIXED 0x0000u
#define LMEM_MOVEABLE 0x0002u
#define LMEM_ZEROINIT 0x0040u
#define LMEM_MODIFY 0x0080u
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

SUSIE_EXPORT HLOCAL LocalAlloc(uint32_t uFlags, size_t uBytes);
/* NULL for a handle that LocalAlloc did not return (or that was freed). */
SUSIE_EXPORT void* LocalLock(HLOCAL hMem);
/* Non-zero while the block is still locked. */
SUSIE_EXPORT int32_t LocalUnlock(HLOCAL hMem);
/* NULL on success; the handle itself when it is not a live block. */
SUSIE_EXPORT HLOCAL LocalFree(HLOCAL hMem);
/* The size asked for, or 0 for a handle that is not a live block. */
SUSIE_EXPORT size_t LocalSize(HLOCAL hMem);
/* Without LMEM_MOVEABLE a block only shrinks in place; growing it fails. */
SUSIE_EXPORT HLOCAL LocalReAlloc(HLOCAL hMem, size_t uBytes, uint32_t uFlags);

#pragma pack(push, 1)

/* GetPictureInfo's record: 30 bytes. */
typedef struct PictureInfo {
    int32_t left, top;     /* where the picture is placed */
    int32_t width, height; /* its size in pixels */
    uint16_t x_density;    /* horizontal pixels per metre */
    uint16_t y_density;    /* vertical pixels per metre */
    int16_t colorDepth;    /* bits per pixel */
    HLOCAL hInfo;          /* text about the picture, or NULL; freed by the host */
} PictureInfo;

typedef struct BITMAPINFOHEADER {
    uint32_t biSize; /* 40 */
    int32_t biWidth;
    int32_t biHeight;       /* negative: rows run top-down */
    uint16_t biPlanes;      /* 1 */
    uint16_t biBitCount;    /* 1, 4, 8, 16, 24 or 32 */
    uint32_t biCompression; /* BI_RGB, or the bit-field forms for 16 and 32 bits */
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed; /* colour-table entries; 0: all for 1, 4 and 8 bits */
    uint32_t biClrImportant;
} BITMAPINFOHEADER;

typedef struct RGBQUAD {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
} RGBQUAD;

#pragma pack(pop)

#define BI_RGB 0u
#define BI_BITFIELDS 3u
#define BI_ALPHABITFIELDS 6u /* four masks after the header: red, green, blue, alpha */

/* Result codes of the entry points */
#define SPI_SUCCESS 0
#define SPI_NOT_IMPLEMENTED (-1)
#define SPI_ABORT 1 /* the progress callback asked to stop */
#define SPI_UNKNOWN_FORMAT 2
#define SPI_BROKEN_DATA 3
#define SPI_NO_MEMORY 4
#define SPI_MEMORY_ERROR 5
#define SPI_FILE_READ_ERROR 6
#define SPI_INTERNAL_ERROR 8

/* Called with (done, total, lData); a non-zero result asks the plug-in to stop. */
typedef int (*SUSIE_PROGRESS)(int32_t nNum, int32_t nDenom, intptr_t lData);

/*
 * Entry points. An import filter ("00IN") exports the first five;
 * ConfigurationDlg and the archive functions are optional.
 *
 * GetPluginInfo: number 0 the API version ("00IN"), 1 the plug-in's name and
 * author, then pairs: 2n a file mask ("*.png", or several joined by ";"),
 * 2n+1 its format name. Writes at most buflen bytes, NUL-terminated, and
 * returns the text's length; 0 for a number it does not have.
 */
typedef int32_t (*GetPluginInfoFunc)(int32_t infono, char* buf, int32_t buflen);
typedef int32_t (*IsSupportedFunc)(const char* filename, const void* header);
typedef int32_t (*GetPictureInfoFunc)(const char* buf, intptr_t len, uint32_t flag,
                                      PictureInfo* lpInfo);
/* On SPI_SUCCESS *pHBInfo holds a BITMAPINFO (header and colour table) and
 * *pHBm the pixel rows (each padded to 4 bytes); both belong to the host. */
typedef int32_t (*GetPictureFunc)(const char* buf, intptr_t len, uint32_t flag, HLOCAL* pHBInfo,
                                  HLOCAL* pHBm, SUSIE_PROGRESS progressCallback, intptr_t lData);
typedef GetPictureFunc GetPreviewFunc;

#endif /* KELVORA_SUSIE_H */
