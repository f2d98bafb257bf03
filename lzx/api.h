/* The "LZX1" library for other programs: compressed files, memory buffers
 * and archives, with every failure returned as a status and a text.
 *
 * No call ends the process, shows anything, installs a signal or exit
 * handler, or leaves a file open or a temporary file behind when it fails.
 * The text is the one the system's own fatal path would have shown
 * (docs/library.md lists the statuses).
 *
 * Threads: any number of threads may call at once. A VornLzxFile is used by
 * one thread at a time (any thread; not two at once).
 *
 * Names are those of the platform (on Windows in the ANSI code page), below
 * 80 characters for compressed files and archives, below 260 for others.
 * Compressed files and the content of buffers hold less than 2 GiB.
 */
#ifndef VORN_LZX_API_H
#define VORN_LZX_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum VornLzxStatus {
  VORN_LZX_OK = 0,
  VORN_LZX_EARGUMENT = 1, /* a null pointer, an unknown mode, a buffer too small */
  VORN_LZX_EFILE = 2,     /* a file error of the system (file_code: 201-212, 432) */
  VORN_LZX_EDATA = 3,     /* damaged or unfinished data, a refused name or entry, a limit */
  VORN_LZX_EFAILED = 4    /* a call on a file whose earlier call failed: only close helps */
};

typedef struct VornLzxError {
  int status;        /* enum VornLzxStatus */
  int32_t file_code; /* with VORN_LZX_EFILE: the file error number, else 0 */
  char text[256];    /* "" after success */
} VornLzxError;

typedef struct VornLzxFile VornLzxFile;

/* Threads that code the blocks of the files this thread opens from now on
 * (handles and whole-file calls) and of the buffers it decompresses, 1 to 64: 1 (the default) codes each block on the
 * calling thread; more code batches of blocks in parallel, with the same
 * bytes and the same failures. Returns the number before. */
int vorn_lzx_set_threads(int threads);

/* Every function returns its status; err, when not null, receives it with
 * the text. */

/* Modes: "rb" reads (checks a checked file's every check). "wb" writes with
 * the LZ coder, "wbh" the Huffman byte coder, "wbs" the row transform; a
 * trailing 'c' ("wbc", "wbhc", "wbsc") writes a checked file. A written file
 * takes its name only when vorn_lzx_close succeeds; until then, and after a
 * failure, what was there stays as it was. */
int vorn_lzx_open(const char *name, const char *mode, VornLzxFile **file, VornLzxError *err);
/* Reads up to count bytes; *got is less than count only at the end. */
int vorn_lzx_read(VornLzxFile *file, void *buffer, int32_t count, int32_t *got, VornLzxError *err);
/* Read files: to an uncompressed position below the length. */
int vorn_lzx_seek(VornLzxFile *file, int32_t position, VornLzxError *err);
/* The position, and the uncompressed length (read files; written so far for
 * write files). */
int vorn_lzx_tell(VornLzxFile *file, int32_t *position, int32_t *length, VornLzxError *err);
int vorn_lzx_write(VornLzxFile *file, const void *data, int32_t count, VornLzxError *err);
/* Finishes a written file (its compressed size in *size, when given) and
 * frees the handle, which is gone whatever the status but one:
 * VORN_LZX_EARGUMENT when this thread has too many files open (about 28 of
 * the low-level interface) to take its files back, when it stays. A file
 * whose earlier call failed is discarded, returning that failure again. */
int vorn_lzx_close(VornLzxFile *file, int32_t *size, VornLzxError *err);

/* The bytes of a compressed file in memory: exactly what vorn_lzx_open
 * would write to a file in the same mode ("wb", "wbh", "wbs", with or
 * without 'c'). */
int32_t vorn_lzx_compress_bound(int32_t size);
int vorn_lzx_compress_buffer(const void *data, int32_t size, const char *mode, void *out, int32_t capacity,
                             int32_t *written, VornLzxError *err);
/* The uncompressed length that a compressed buffer's header gives. */
int vorn_lzx_buffer_length(const void *data, int32_t size, int32_t *length, VornLzxError *err);
/* Checks the framing, the index and every check before any byte is
 * trusted, then decodes; capacity must hold the length. */
int vorn_lzx_decompress_buffer(const void *data, int32_t size, void *out, int32_t capacity, int32_t *written,
                               VornLzxError *err);

/* Whole files: the output takes its name only when complete. */
int vorn_lzx_compress_file(const char *source, const char *target, const char *mode, VornLzxError *err);
int vorn_lzx_decompress_file(const char *source, const char *target, VornLzxError *err);

typedef struct VornLzxTestResult {
  int checked;    /* 1: the file has checks, and every one held */
  int32_t length; /* uncompressed bytes */
  int32_t blocks;
} VornLzxTestResult;
/* Reads every block of a compressed file (result may be null). */
int vorn_lzx_test(const char *name, VornLzxTestResult *result, VornLzxError *err);

/* Packs the files of a list file (docs/list-file.md) into the checked
 * archive it names; the list is checked whole first (its first mistake is
 * the text). Names resolve against the current directory. */
int vorn_lzx_pack(const char *list_file, int32_t *files, VornLzxError *err);
/* Reads the archive whole first (every block, check and name), then writes
 * its '#' entries under target; a name without '#' is refused. Existing
 * files are replaced only when overwrite is not 0. */
int vorn_lzx_unpack(const char *archive, const char *target, int overwrite, int32_t *files, VornLzxError *err);

#ifdef __cplusplus
}
#endif

#endif
