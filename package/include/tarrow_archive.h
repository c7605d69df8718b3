/* The archive library's handle interface: archives as objects, beside the flat interface.
 *
 * tarrow_open or tarrow_open_memory reads an archive's central directory once, together with every
 * member's local header, and decides each member's facts there: what tarrow_entry_at reports is what
 * tarrow_read and tarrow_extract check the data against. Where the central directory and a local
 * header disagree on the method, the encryption flags, the CRC-32, the sizes (where the local header
 * states them) or the name, the member is damaged: its entry says why, and reading it fails with
 * TARROW_E_DAMAGED, while the other members stay readable.
 *
 * Handles share no state: any number of threads may each use their own handle, and several threads
 * may call tarrow_read and tarrow_extract on one handle at once. tarrow_close must not overlap any
 * other call on the same handle. The only process-wide state the calls read is the table of
 * tarrow_platform_set_hooks, which must not change while a call runs.
 *
 * Archives spanning several disks are read through the flat interface only.
 */
#ifndef TARROW_ARCHIVE_H
#define TARROW_ARCHIVE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef TARROW_EXPORT
#define TARROW_EXPORT __attribute__((visibility("default")))
#endif

/* Results of the handle calls: 0 for success, one of these otherwise. */
#define TARROW_OK 0
#define TARROW_E_ARGUMENT 1      /* a null pointer, or an index beyond the last entry */
#define TARROW_E_NO_MEMORY 2     /* memory ran out */
#define TARROW_E_OPEN 3          /* the archive cannot be opened or read */
#define TARROW_E_NOT_ZIP 4       /* no end-of-central-directory record: not a ZIP archive, or truncated */
#define TARROW_E_MULTIDISK 5     /* the archive spans several disks */
#define TARROW_E_DIRECTORY 6     /* the central directory is damaged */
#define TARROW_E_DAMAGED 7       /* the member is damaged; its entry's `damage` says how */
#define TARROW_E_METHOD 8        /* the member's compression method or cipher is not supported */
#define TARROW_E_NEED_PASSWORD 9 /* the member is encrypted and no password was given */
#define TARROW_E_PASSWORD 10     /* the password does not fit the member */
#define TARROW_E_DATA 11         /* the member's compressed data is corrupt */
#define TARROW_E_CRC 12          /* the data does not match its CRC-32 or authentication code */
#define TARROW_E_SIZE 13         /* the data decodes to another size than the entry lists */
#define TARROW_E_STOPPED 14      /* the sink returned non-zero */
#define TARROW_E_WRITE 15        /* the output file cannot be created or written */

/* Flags of an entry. */
#define TARROW_ENTRY_FOLDER 1
#define TARROW_ENTRY_SYMLINK 2 /* a symbolic link: its data is the target's path */
#define TARROW_ENTRY_ENCRYPTED 4
#define TARROW_ENTRY_RECOVERED 8 /* found by walking local headers: the central directory had no record of it */

/* Flags of tarrow_open_options. */
/* When the end record or the central directory is missing or damaged, find the members by walking
 * the local headers from the start. */
#define TARROW_OPEN_RECOVER 1

/* Options of tarrow_open_with and tarrow_open_memory_with. Set size to sizeof(tarrow_open_options):
 * later versions add members at the end, and read only the members a caller's size covers. */
typedef struct tarrow_open_options {
    size_t size;
    uint32_t flags;           /* TARROW_OPEN_* */
    const char* name_charset; /* NULL, or the code page (an iconv name such as "CP866") of names stored
                                 without the UTF-8 flag or a usable Unicode Path field, whatever system
                                 made them; a name not valid in it, and with NULL every name, is CP437
                                 when made on MS-DOS, OS/2 or Windows and keeps its bytes otherwise */
} tarrow_open_options;

typedef struct tarrow_archive tarrow_archive;

typedef struct tarrow_entry {
    const char* name;         /* UTF-8, never empty; valid until tarrow_close */
    uint64_t size;            /* uncompressed size */
    uint64_t compressed_size; /* size of the stored data (with any encryption overhead) */
    uint16_t method;          /* compression method of the data (for AES members, the inner one) */
    uint32_t crc32;           /* as listed (0 for AES members of version 2, which store none) */
    int64_t mtime;            /* modification time, seconds since 1970: the UTC time of an NTFS (0x000a)
                                 field, else of an extended-timestamp (0x5455) field, where one is
                                 well-formed; else the DOS time read as local time (0 when it names
                                 no moment) */
    uint16_t dos_date;        /* the DOS date and time as stored */
    uint16_t dos_time;
    uint32_t attributes; /* external attributes as stored (DOS in the low byte, Unix mode above) */
    uint32_t flags;      /* TARROW_ENTRY_* */
    const char* damage;  /* NULL, or why the member cannot be read; valid until tarrow_close */
} tarrow_entry;

/* Opens the archive at path (read with positioned reads: handles share no file position). A path
 * ending in ".001" names the first piece of a byte-split set: NAME.001, NAME.002, ... are read as the
 * archive they make when joined; a piece missing between others gives TARROW_E_OPEN. */
TARROW_EXPORT int tarrow_open(const char* path, tarrow_archive** out);
/* Opens the archive in a memory block, which must outlive the handle. */
TARROW_EXPORT int tarrow_open_memory(const void* data, size_t size, tarrow_archive** out);
/* tarrow_open and tarrow_open_memory with options; options may be NULL. An unknown flag, a size
 * smaller than the first two members or a code page iconv does not know gives TARROW_E_ARGUMENT.
 * With TARROW_OPEN_RECOVER, an archive whose end record is missing or cut, or whose central directory
 * is not where the end record says or cannot be read, has the members a walk of its local headers
 * finds, each flagged TARROW_ENTRY_RECOVERED (the member the end of the archive cuts short, if any,
 * comes last and is damaged); when the walk finds none, the error stays. An intact archive is read
 * from its central directory. */
TARROW_EXPORT int tarrow_open_with(const char* path, const tarrow_open_options* options, tarrow_archive** out);
TARROW_EXPORT int tarrow_open_memory_with(const void* data, size_t size, const tarrow_open_options* options,
                                          tarrow_archive** out);
/* The number of members in the central directory (or found by recovery); each has an entry, damaged
 * or not. */
TARROW_EXPORT size_t tarrow_entry_count(const tarrow_archive* archive);
/* The entry at index, in the order of the central directory (of the archive, for recovered members). */
TARROW_EXPORT int tarrow_entry_at(const tarrow_archive* archive, size_t index, tarrow_entry* out);
/* Decodes a member into sink, block by block, and checks its size and CRC-32 (or authentication
 * code) at the end: a result other than TARROW_OK means the blocks handed over are not the member.
 * A sink returning non-zero stops it with TARROW_E_STOPPED. password may be NULL. */
TARROW_EXPORT int tarrow_read(tarrow_archive* archive, size_t index, const char* password,
                              int (*sink)(void* user, const void* data, size_t size), void* user);
/* Writes a member below folder at its stored path, with "..", absolute prefixes and characters
 * unfit for file names taken out, so that nothing lands outside folder; folders in between are
 * made; an existing file is replaced; a file whose data fails its checks is removed again. A folder
 * entry makes the folder. The file gets the entry's mtime. A member made on a Unix host whose
 * attributes carry a mode gets its read, write and execute bits (never set-user-ID, set-group-ID or
 * sticky) less the umask; a symbolic link, written as a file holding its target, gets none. A
 * folder's mode is set at once when it leaves the owner write and search permission, else at
 * tarrow_close, so that the files extracted into it after it can still be written. */
TARROW_EXPORT int tarrow_extract(tarrow_archive* archive, size_t index, const char* folder, const char* password);
TARROW_EXPORT void tarrow_close(tarrow_archive* archive);
/* A fixed English text for a result code. */
TARROW_EXPORT const char* tarrow_strerror(int code);

#ifdef __cplusplus
}
#endif

#endif
