#ifndef VELLORAN_DSSCORE_H
#define VELLORAN_DSSCORE_H
/*
 * libdsscore: decodes DSS dictation recordings (SP and LP) into 16-bit mono PCM.
 *
 * One decoding session per process: a folder and a file are made active, decoding is
 * started, and PCM is fetched buffer by buffer from the start of the recording to its end.
 * Two interfaces share that session:
 *   - the transcription interface (DSSSetTransWAY ... DSSTransGetPCM) hands out SP
 *     recordings in caller-owned 528-byte buffers;
 *   - the second interface (DSSInitDecoder ... DSSDecodeToPCM) hands out any recording in
 *     library-owned buffers.
 * Every function returns 0 on success and one of the DSS_E_* codes otherwise (the two
 * buffer functions document their own results). Calls are serialised by a lock, but the
 * session is shared by the whole process, so one caller at a time should drive it.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(DSSCORE_BUILDING)
#define DSSCORE_API __attribute__((visibility("default")))
#else
#define DSSCORE_API
#endif

/* Result codes. */
#define DSS_OK 0
#define DSS_E_ARGUMENT 1  /* a required pointer was null */
#define DSS_E_NOT_FOUND 2 /* the folder or file does not exist or cannot be read */
#define DSS_E_FORMAT 3    /* not a DSS recording, or a codec this library cannot decode */
#define DSS_E_STATE 4     /* no active file, or the call does not suit its kind */
#define DSS_E_DECODER 5   /* the speech decoder could not be set up */
#define DSS_E_INTERNAL 6  /* out of memory or another unexpected failure */

/* Recording kinds reported by DSSActiveFile. */
#define DSS_KIND_SP 1 /* 11025 Hz, 264 samples (528 bytes) per buffer */
#define DSS_KIND_LP 2 /* 8000 Hz, 240 samples (480 bytes) per buffer */

/* Bytes in one PCM buffer of each kind. */
#define DSS_SP_BUFFER_BYTES 528
#define DSS_LP_BUFFER_BYTES 480

/* Selects the transcription interface's mode; remembered, otherwise without effect. */
DSSCORE_API int DSSSetTransWAY(int32_t mode);

/* Prepares the transcription interface; *options is read, never kept. */
DSSCORE_API int DSSTransInitDecoder(const int32_t* options);

/* Accepts `folder` (the recording's folder, "" for the current one) when it is a readable
 * folder. `reserved` is ignored. */
DSSCORE_API int DSSActiveFolder(const char* folder, int32_t reserved);

/* Opens the recording at `path` and reads its header. On success *kind receives the
 * recording kind and *info its sample rate (either pointer may be null). Replaces any
 * previously active file. */
DSSCORE_API int DSSActiveFile(const char* path, int32_t* info, uint8_t* kind);

/* Starts the active SP recording from its beginning on the transcription interface.
 * DSS_E_STATE for no active file or an LP recording. */
DSSCORE_API int DSSTransStartDecoding(void);

/* Fills `buffer` with the next 528 bytes (264 samples) of PCM; silence pads whatever the
 * recording lacks. Returns nonzero while more buffers follow and 0 with the last one (and
 * on every call after it, or when decoding has not been started). */
DSSCORE_API int DSSTransGetPCM(uint8_t* buffer);

/* Resets the second interface; *options is read, never kept. `reserved` is ignored. */
DSSCORE_API int DSSInitDecoder(int32_t reserved, const int32_t* options);

/* Starts the active recording from its beginning on the second interface. */
DSSCORE_API int DSSStartDecoding(int32_t reserved);

/* Sets *buffer to the next PCM buffer, which the library owns and keeps valid until the
 * next call into the library, or to null when the recording is done. *flag tells its
 * length: 0 for an SP buffer of 528 bytes, 1 for an LP buffer of 480 bytes. The last
 * buffer is padded with silence. */
DSSCORE_API int DSSDecodeToPCM(uint8_t** buffer, int32_t* flag);

/* Extension: what went wrong while the active recording was decoded. */

/* Where a damage report stops listing the starts of damaged stretches. */
#define DSS_MAX_DAMAGE_STARTS 8

typedef struct DSSDamageReport {
    uint64_t decoded_frames;  /* frames decoded since decoding was started */
    uint64_t replaced_frames; /* damaged frames handed out as silence of their length */
    uint32_t start_count;     /* entries of `starts` in use */
    /* Sample positions (in the PCM handed out) where the first damaged stretches begin. */
    uint64_t starts[DSS_MAX_DAMAGE_STARTS];
    /* errno value of a read error that ended the recording early, 0 when none did. The
     * PCM handed out before it is not the whole recording. */
    int32_t read_error;
} DSSDamageReport;

/* Fills *report for the decoding started last (on either interface), as far as it has
 * gone; all zero when nothing was started. DSS_E_ARGUMENT for a null report. */
DSSCORE_API int DSSGetDamageReport(DSSDamageReport* report);

#ifdef __cplusplus
}
#endif

#endif /* VELLORAN_DSSCORE_H */
