/*
 * relaywick.h - HTTP download, multipart upload and a zip pass-through for C callers.
 *
 * Build with: cc app.c $(pkg-config --cflags --libs relaywick)
 *
 * Every function returns a one-byte boolean: 1 = success, 0 = failure. No call raises
 * anything across the library boundary. The library keeps one transfer object and one zip
 * state for the whole process and does no locking: make one call at a time.
 *
 * Certificates of https servers are verified against the system's trust store. A test
 * server with a self-signed certificate can be reached only when the caller sets the
 * environment variable RELAYWICK_INSECURE_TLS=1 on purpose; while it is set, transfers
 * skip the certificate and host name checks. A certificate error is never retried without
 * the checks. Proxies come from the usual environment variables (http_proxy, https_proxy,
 * no_proxy).
 */
#ifndef RELAYWICK_H
#define RELAYWICK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define RELAYWICK_API __attribute__((visibility("default")))
#else
#define RELAYWICK_API
#endif

/* Size of the caller's buffer for SendHttpRequest's result text. */
#define RELAYWICK_RESULT_SIZE 256
/* Size of the caller's buffer for UnZip's last name. */
#define RELAYWICK_NAME_SIZE 512

/* Removes every upload field added by AddUploadVariables. Always 1. */
RELAYWICK_API unsigned char Init(void);

/* Appends one form field (name, value) for the next uploads; duplicates are kept and
 * fields stay until Init. Returns 0 only when memory runs out. */
RELAYWICK_API unsigned char AddUploadVariables(const char* name, const char* value);

/*
 * One synchronous transfer.
 *  local_file  upload: the file sent as the form part "FILE" (NULL or "" for none);
 *              download: the file written (NULL or "" keeps the body as result text only).
 *              Only a regular file is uploaded or replaced (error 21 for a folder, 22 for
 *              a FIFO or a device). A download goes to a hidden file beside it that takes
 *              its place only when whole: after a failure the old file is as it was. A
 *              link in its place is replaced, its target left alone.
 *  url         "http://host[:port]/path", "https://...", or "host/path" (http assumed).
 *  upload      nonzero: POST local_file and the fields as multipart/form-data.
 *  proxy_user, proxy_password  answer a proxy that asks for credentials (407); NULL = none.
 *  secure      nonzero: TLS even for an http URL. Without a port in the URL the server
 *              port is 443 (secure) or 80; an explicit port is always used, and an https
 *              URL is always secure.
 *  result      a zero-filled buffer of RELAYWICK_RESULT_SIZE bytes. After success: the
 *              start of the server's answer as text, or "Success" when it is empty; after
 *              failure: an error text. At most 255 bytes are copied: a text of 255 bytes
 *              or more gets no terminating zero, which is why the buffer must be
 *              zero-filled and one byte longer.
 * Returns 1 when the server answered 200 and the whole body moved, else 0. A transfer
 * that moves less than 1 KiB a second for 30 seconds fails (12002).
 *
 * Error texts carry a number: errno for local file errors; for network failures 12007 name
 * not resolved, 12029 cannot connect, 12002 timed out, 12030 / 12031 connection aborted /
 * reset, 12037 / 12038 / 12045 certificate date / name / unknown authority, 12006 scheme
 * refused (also a redirect from https to http), else libcurl's CURLcode. Examples:
 *   "Unable to open Internet connection"           (URL unusable, scheme not http/https)
 *   "Failed in call to HttpSendRequest, Error:12029\n"
 *   "The server answered with HTTP status 404\n"
 *   "HTTP status 407: the proxy asks for credentials and none were given\n"
 *   "Error reading the file: 2 "                   (upload of a missing file)
 */
RELAYWICK_API unsigned char SendHttpRequest(const char* local_file, const char* url,
                                            unsigned char upload, const char* proxy_user,
                                            const char* proxy_password, unsigned char secure,
                                            char* result);

/* Loads libzipdll.so, from the folder of this library first, then from the loader's search
 * path. Returns 0 when it cannot be loaded. */
RELAYWICK_API unsigned char LoadZipLib(void);

/* Releases the zip library. Always 1. */
RELAYWICK_API unsigned char UnLoadZipLib(void);

/*
 * Zip(archive, source): passes both values unchanged to the zip library. With libzipdll,
 * archive and source are path strings (const char* cast to intptr_t): source is a file or
 * a folder, and the archive is created anew. Returns 0 before LoadZipLib, after
 * UnLoadZipLib, or when the zip library reports failure.
 */
RELAYWICK_API unsigned char Zip(intptr_t archive, intptr_t source);

/*
 * UnZip(archive, folder, last_name): passes both values unchanged to the zip library, which
 * extracts the archive into the folder and reports each extracted name. last_name (a buffer
 * of RELAYWICK_NAME_SIZE bytes, or NULL) receives the last name reported so far in the
 * process, cut to 511 bytes; a run that reports nothing leaves the previous name. With
 * libzipdll an archive with an entry that would land outside the folder is refused as a
 * whole. Returns 0 before LoadZipLib, after UnLoadZipLib, or when the extraction failed.
 */
RELAYWICK_API unsigned char UnZip(intptr_t archive, intptr_t folder, char* last_name);

#ifdef __cplusplus
}
#endif

#endif /* RELAYWICK_H */
