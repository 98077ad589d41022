/*
 * QPXDrv: the drive and container library.
 *
 * C calling convention and integer results throughout. Strings are UTF-8 and
 * NUL-terminated; container paths are Linux paths. Every call re-reads the
 * machine's registry (the folder named by QPX_ROOT) and keeps no state.
 */
#ifndef QPXDRV_H
#define QPXDRV_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define QPX_API __attribute__((visibility("default")))
#else
#define QPX_API
#endif

/* Sizes of the fixed records. */
#define QPX_CONTAINER_HEADER_SIZE 152  /* header fields up to the signature */
#define QPX_TRACK_NODE_SIZE 137
#define QPX_TRACK_NODE_COUNT 70
#define QPX_TRACK_TABLE_SIZE (QPX_TRACK_NODE_SIZE * QPX_TRACK_NODE_COUNT) /* 9,590 */

/* ---- Container file accessors: 1 success, 0 failure ------------------- */
QPX_API int QPXReadContainerHeader(const char* path, void* header);
QPX_API int QPXWriteContainerHeader(const char* path, const void* header);
QPX_API int QPXReadTrackTableNodes(const char* path, void* nodes);
QPX_API int QPXWriteTrackTableNodes(const char* path, const void* nodes);

/* ---- Disc addressing ---------------------------------------------------- */
/* LBA -> packed MSF (minute * 65536 + second * 256 + frame) of lba + 150. */
QPX_API uint32_t QPXCvtToRedbook(int32_t lba);
/* packed MSF -> LBA. */
QPX_API int32_t QPXCvtFromRedbook(uint32_t msf);

/* ---- Container catalogue and per-drive container list ------------------
 * Reading calls: 0 success, 1 buffer too small (nothing copied), 2 key cannot
 * be opened, 3 value missing or empty.
 * Writing calls: 0 success, 2 key cannot be opened for writing, 4 value not
 * written. */
QPX_API int QPXGetInstallPath(char* buffer, uint32_t size);
QPX_API int QPXGetContainerFiles(char* buffer, uint32_t size);
QPX_API int QPXSetContainerFiles(const char* list);
QPX_API int QPXGetContainerIndex(int n, char* buffer, uint32_t size);
QPX_API int QPXSetContainerIndex(int n, const char* record);
QPX_API int QPXGetNumberOfContainers(void);
QPX_API int QPXSetNumberOfContainers(int n);
QPX_API int QPXGetNumberOfUnits(void);
QPX_API int QPXIsRebootNeeded(void);
QPX_API int QPXSetRebootNeeded(uint32_t value);
/* New catalogue number (>= 1), or -1. */
QPX_API int QPXAddContainer(const char* record);
/* 0, 2 (key not writable), 4 (free list not written), 5 (record not deleted). */
QPX_API int QPXDeleteContainer(int n);
/* Catalogue number of the record whose path is exactly `path`, or 0. */
QPX_API int QPXGetContainerIndexNumber(const char* path);
/* 1 and entry k of the list in buffer, or 0. */
QPX_API int QPXGetContainerFromPosition(const char* list, int k, char* buffer, uint32_t size);
QPX_API int QPXDriveIsMounted(int k, const char* list);
/* Drive whose entry is exactly `path`, or -1. */
QPX_API int QPXContainerIsMounted(const char* list, const char* path);
QPX_API int QPXCheckContainerFiles(void);

/* ---- Driver control -------------------------------------------------------
 * Inserting and ejecting rewrite entry `drive` of the per-drive container
 * list and then send the port host the update request for that drive.
 * Non-zero when the update request was accepted, 0 otherwise (the list may
 * have been changed all the same). Device opens are tried up to 5 times, 1
 * second apart; QPX_DEVICE_RETRY_INTERVAL_MS sets another interval. */
QPX_API int QPXInsert(int drive, const char* path);
QPX_API int QPXEject(int drive);
QPX_API int QPXUpdateDriver(int drive);

/* ---- Virtual drives among the drive letters ----------------------------- */
/* Platform code: 3 = NT 5 family. */
QPX_API int QPXGetVersionInfo(void);
/* Number of the (first) SCSI port driven by qpxmport, or -1. */
QPX_API int QPXGetNTScsiPort(void);
/* One bit per letter (bit 0 = A): 0 for a virtual drive, 1 otherwise. */
QPX_API int32_t QPXGetDriveMask(void);
/* Fills buffer (>= 28 bytes) with drive letters; mode 0 all virtual drives in
 * letter order, 1 those holding a container, 2 all in drive-number order.
 * Returns the drive mask, or -1 when there are no virtual drives. */
QPX_API int32_t QPXGetDriveLetters(char* buffer, int mode);
/* Drive number of a letter, or -1. */
QPX_API int QPXGetDriveUnit(char letter);

/* ---- Drive count -------------------------------------------------------- */
/* 0 success or nothing to do, 2 a key could not be opened, 4 not written. */
QPX_API int QPXChangeNumberOfDrives(uint32_t count, char first_letter);

/* ---- Block compression (zlib result codes) ----------------------------- */
/* On entry *out_len is the capacity of out; on success the bytes written. */
QPX_API int Compress(uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len);
QPX_API int Uncompress(uint8_t* out, uint32_t* out_len, const uint8_t* in, uint32_t in_len);

/* ---- Physical CD access and the table of contents ------------------------
 * Any CD-ROM drive letter ('E'): a physical drive, an attached disc image or
 * an emulated drive. Read modes: 1 = 2048-byte user data, 2 = 2352-byte CD-DA
 * (the whole sector, data sectors included), any other (4) = 2352-byte raw
 * data sectors with sync, header and mode byte. Sector numbers carry 24 bits,
 * sector counts 16. */

/* 1 when every sector was read into buffer (count x sector size bytes), else
 * 0. 2352-byte sectors are tried up to three times each. */
QPX_API int QPXReadSectorsFromCD(char drive, uint32_t sector, uint32_t count, void* buffer, int mode);
/* 1 when the first data track among the records (bit 0x40 of the control
 * byte) can be read, waiting up to a minute; disc format 2 (audio) and a disc
 * without data tracks are ready at once. drive: its first character. */
QPX_API int QPXWaitForDiscReady(const char* drive, int disc_format, int track_count, const void* track_records);
/* 1 when the audio sector can be read, waiting up to 16 seconds. */
QPX_API int QPXWaitForAudioReady(char drive, uint32_t sector);
/* 1 when a raw 2352-byte read of sector 16 succeeds. */
QPX_API int QPXRawCDTest(char drive);
/* The end of a data track between low and high: high when it can be read,
 * else the end found by probing and binary search in the given mode. */
QPX_API int32_t QPXBinSrchSize(char drive, int32_t low, int32_t high, int mode);
/* Free bytes the caller may write on the volume holding path; 0 when unknown. */
QPX_API int64_t QPXGetFreeDiskSpace(const char* path);

/* TOC summary: uint8 first track, uint8 last track, uint32 lead-out LBA
 * (little-endian). Track records: QPX_TRACK_NODE_SIZE bytes each, int32
 * start (LBA), int32 end (left alone), uint8 control byte (CONTROL high
 * nibble, ADR low; 0x40 = data), 128-byte title (left alone). */
#define QPX_TOC_SUMMARY_SIZE 6
/* 1 and the track count, summary and records (the caller's table of
 * QPX_TRACK_NODE_COUNT records); 0 when the TOC cannot be read or the disc
 * has more tracks than the table holds. A disc whose only data track is its
 * last reports first track = that track, last track = the one before. */
QPX_API int QPXGetTOCInfo(char drive, uint16_t* track_count, void* summary, void* track_records);
/* The result of QPXGetTOCInfo; the buffer (cleared first) receives the TOC
 * text: the track starts and the lead-out in decimal, one blank apart, as far
 * as whole numbers fit. */
QPX_API int QPXGetTOC(char drive, char* buffer, uint32_t size);
/* 1 when the disc's TOC text equals toc_text exactly, else 0. */
QPX_API int QPXCheckTOC(char drive, const char* toc_text);

#ifdef __cplusplus
}
#endif

#endif /* QPXDRV_H */
