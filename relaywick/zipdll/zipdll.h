/*
 * libzipdll.so: the zip library that librelaywick loads by name at run time.
 * Both functions take their paths as pointer-sized values so that the caller can pass
 * them through unchanged.
 */
#ifndef ZIPDLL_H
#define ZIPDLL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Called once per extracted entry with its name inside the archive. */
typedef int (*ZipNameCallback)(const char* name);

/* Creates the archive (replacing any file of that name) from a file or a whole folder;
 * a folder's entries are named relative to the folder, and links inside it are not
 * stored. Returns 1 on success, 0 on failure. */
typedef int (*BasicZipFunction)(intptr_t archive, intptr_t source);

/* Extracts the archive into the folder (created when missing) and reports each entry.
 * An archive with an entry that would land outside the folder is refused before anything
 * is written. Entries that are symbolic links are skipped; files already in the folder are
 * replaced only by whole entries whose checksum matches (a failed entry leaves the file that
 * was there), and links already in the folder are never followed. reserved1 and reserved2 must
 * be 0. Returns 1 on success, 0 on failure. */
typedef int (*UnzipFunction)(intptr_t archive, intptr_t folder, intptr_t reserved1,
                             intptr_t reserved2, ZipNameCallback callback);

#define ZIPDLL_FILE_NAME "libzipdll.so"

#ifdef __cplusplus
}
#endif

#endif /* ZIPDLL_H */
