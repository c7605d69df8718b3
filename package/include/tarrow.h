/* The archive library's public C interface.
 *
 * A host fills one process-wide settings block through the setters, makes the main call `Tarrow`,
 * and then reads the outcome with Tarrow_GetLastError and Tarrow_GetLastWarning. The main call puts
 * every setting back to its default before it returns, so a host sets them again before each call.
 *
 * Strings are NUL-terminated 8-bit strings that the library copies. Flags and numbers arrive as
 * 32-bit values of which only the low 16 bits count; a flag is on when those bits are not zero.
 */
#ifndef TARROW_H
#define TARROW_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TARROW_EXPORT __attribute__((visibility("default")))

/* Error codes (Tarrow_GetLastError, message 22). 4, 50 and 255 end the operation at once. */
#define TARROW_ERROR_NO_END_RECORD 2 /* no end-of-central-directory record, or a skip past the end */
#define TARROW_ERROR_BAD_CENTRAL 3   /* a central directory header signature was expected */
#define TARROW_ERROR_NO_MEMORY 4
#define TARROW_ERROR_NO_ARCHIVE 9 /* the archive does not exist or is a folder */
#define TARROW_ERROR_CANNOT_OPEN 10
#define TARROW_ERROR_NOTHING_DONE 11 /* no member was selected or processed */
#define TARROW_ERROR_WRITE 50        /* an output file could not be written completely */
#define TARROW_ERROR_READ 51         /* the archive ended early or could not be read */
#define TARROW_ERROR_ABORTED 255

/* Warning codes (Tarrow_GetLastWarning, message 23). A warning concerns one member. */
#define TARROW_WARNING_IMPLODE_CORRUPT 1
#define TARROW_WARNING_IMPLODE_SHORT 2 /* imploded data used less than its stored size */
#define TARROW_WARNING_CANNOT_CREATE 9
#define TARROW_WARNING_METHOD 11 /* compression method not supported */
#define TARROW_WARNING_NO_PASSWORD 12
#define TARROW_WARNING_LOCAL_HEADER 13 /* local header missing, unreadable, or declaring more than the catalogue */
#define TARROW_WARNING_PASSWORD 14     /* wrong password */
#define TARROW_WARNING_CRC 15
#define TARROW_WARNING_INFLATE_CORRUPT 21
#define TARROW_WARNING_DATA_CORRUPT 22 /* bzip2, LZMA, xz, zstd or PPMd data is corrupt */
#define TARROW_WARNING_VERSION 24      /* needs version 2.1 or later to extract */
#define TARROW_WARNING_TEST_ERRORS 26
/* With Tarrow_Recover, one for each member of an archive read by walking its local headers (its
 * end record or central directory failed), before its listing (message 21, whose fields stay as they
 * are) or its test or extraction: the member was found without a central directory. Each member is
 * named so that a host can mark it; a recovered member that tests or extracts without a further
 * warning is whole. */
#define TARROW_WARNING_RECOVERED 30
#define TARROW_WARNING_COMMENT 100 /* the archive comment could not be read completely */

/* Message codes: each message is "1|CCC|" followed by fields separated by "|". Callbacks receive
 * the text after that 6-character prefix; a progress window receives the whole text. */
#define TARROW_MSG_COMMENT 11       /* archive|bytes|comment text */
#define TARROW_MSG_EXTRACT_START 14 /* progress layout, see below */
#define TARROW_MSG_EXTRACT_DONE 15
#define TARROW_MSG_TEST_START 16
#define TARROW_MSG_TEST_DONE 17
#define TARROW_MSG_DISK 20      /* archive|disk (1-based, 0 = the last disk)| */
#define TARROW_MSG_LISTING 21   /* one member in view mode */
#define TARROW_MSG_ERROR 22     /* archive|file|code| ; the callback's answer is ignored */
#define TARROW_MSG_WARNING 23   /* archive|file|code| */
#define TARROW_MSG_OVERWRITE 24 /* archive|path|size|date|path|size|date| */
/* Progress layout: archive|member|size|bytes done|per cent|selected|index|selected compressed total|
 * compressed bytes read| */

#define TARROW_MESSAGE_SIZE 2048 /* every message fits this, prefix and NUL included */

/* Answers a callback gives. */
#define TARROW_ANSWER_ABORT 255 /* to any message but 22: end the operation (error 255) */
#define TARROW_OVERWRITE_YES 0  /* answers to message 24 */
#define TARROW_OVERWRITE_YES_TO_ALL 1
#define TARROW_OVERWRITE_NO 2
#define TARROW_OVERWRITE_NO_TO_ALL 3

/* Overwrite modes. */
#define TARROW_OVERWRITE_ASK 10
#define TARROW_OVERWRITE_ALWAYS 11
#define TARROW_OVERWRITE_NEVER 12

/* Attribute bits of the restore-attributes mask (0 to 39). */
#define TARROW_ATTRIBUTE_READ_ONLY 1
#define TARROW_ATTRIBUTE_HIDDEN 2
#define TARROW_ATTRIBUTE_SYSTEM 4
#define TARROW_ATTRIBUTE_ARCHIVE 32
#define TARROW_ATTRIBUTES_ALL 39

/* Results of the main call when it cannot start. */
#define TARROW_RESULT_NO_ARCHIVE (-1)
#define TARROW_RESULT_NO_MEMORY (-2)

typedef int16_t (*TarrowCallback)(int32_t library, int32_t code, const char* text);
typedef int16_t (*TarrowCallbackEx)(int32_t library, int32_t code, const char* text, intptr_t user);

TARROW_EXPORT void Tarrow_Initialise(void);
TARROW_EXPORT int16_t Tarrow_ArchiveName(const char* path);
TARROW_EXPORT int16_t Tarrow_ExtractTo(const char* folder);
TARROW_EXPORT int16_t Tarrow_Include(const char* patterns);
TARROW_EXPORT int16_t Tarrow_Exclude(const char* patterns);
TARROW_EXPORT int16_t Tarrow_IncludeListFile(const char* path);
TARROW_EXPORT int16_t Tarrow_ExcludeListFile(const char* path);
TARROW_EXPORT int16_t Tarrow_Decrypt(const char* password);
/* The code page (an iconv name such as "CP866") of names stored without the UTF-8 flag or a usable
 * Unicode Path field; NULL: CP437 for names made on MS-DOS and Windows. 0 for a code page iconv does
 * not know, which leaves the setting unset. A name not valid in the code page is read as without it;
 * the archive comment (message 11) is read in it too. */
TARROW_EXPORT int16_t Tarrow_NameCharset(const char* charset);
TARROW_EXPORT int16_t Tarrow_Overwrite(int32_t mode);
TARROW_EXPORT int16_t Tarrow_RestoreAttributes(int32_t mask);
TARROW_EXPORT int16_t Tarrow_RestoreStructure(int32_t flag);
/* Off by default: members made on Unix hosts whose attributes carry a mode get its read, write and
 * execute bits (never set-user-ID, set-group-ID or sticky) less the umask, instead of the DOS
 * attribute rules; folders get theirs when the extraction pass ends. */
TARROW_EXPORT int16_t Tarrow_RestorePermissions(int32_t flag);
TARROW_EXPORT int16_t Tarrow_DisplayComment(int32_t flag);
TARROW_EXPORT int16_t Tarrow_Freshen(int32_t flag);
TARROW_EXPORT int16_t Tarrow_Update(int32_t flag);
TARROW_EXPORT int16_t Tarrow_Test(int32_t flag);
TARROW_EXPORT int16_t Tarrow_View(int32_t flag);
TARROW_EXPORT int16_t Tarrow_Abort(int32_t flag);
/* When the end record or the central directory is missing or damaged, find the members by walking
 * the local headers from the start of the archive. */
TARROW_EXPORT int16_t Tarrow_Recover(int32_t flag);
TARROW_EXPORT int16_t Tarrow_InstallCallback(TarrowCallback callback);
TARROW_EXPORT int16_t Tarrow_InstallCallbackEx(TarrowCallbackEx callback, intptr_t user);
TARROW_EXPORT int16_t Tarrow_SetWindowHandle(intptr_t window);
TARROW_EXPORT int16_t Tarrow_SetParentWindowHandle(intptr_t window);
TARROW_EXPORT int16_t Tarrow_ToMemory(void* buffer, uint32_t capacity);
TARROW_EXPORT int16_t Tarrow_FromMemory(const void* block, uint32_t size);
TARROW_EXPORT int32_t Tarrow_InMemory(const void* block, uint32_t size, void* buffer, uint32_t capacity);
TARROW_EXPORT int16_t Tarrow_ToPrinter(const char* device);
TARROW_EXPORT int16_t Tarrow_SaveConfiguration(const char* path);
TARROW_EXPORT int16_t Tarrow_GetLastError(void);
TARROW_EXPORT int16_t Tarrow_GetLastWarning(void);
TARROW_EXPORT void Tarrow_GetVersion(int16_t* major, int16_t* minor);
TARROW_EXPORT int32_t Tarrow(void);

/* The overwrite dialog's procedure, for a host that builds the dialog from its template: buttons
 * 1 "Yes", 5 "Yes to all", 3 "No", 4 "No to all". Command 2 (IDCANCEL: Escape or the close box)
 * and any other command answer "No". WM_COMMAND records the answer and returns 1; WM_INITDIALOG
 * returns 1; every other message returns 0. */
#define TARROW_DIALOG_YES 1
#define TARROW_DIALOG_YES_TO_ALL 5
#define TARROW_DIALOG_NO 3
#define TARROW_DIALOG_NO_TO_ALL 4
#define TARROW_WM_INITDIALOG 0x0110
#define TARROW_WM_COMMAND 0x0111
TARROW_EXPORT intptr_t UnzipDlgBoxProc(intptr_t dialog, uint32_t message, uintptr_t wparam, intptr_t lparam);

/* Host hooks: what the library asks of the windowing system. Any member left null keeps its
 * default; tarrow_platform_set_hooks(NULL) restores every default.
 * - size: the host sets it to sizeof(TarrowPlatformHooks) as its header declares the table. Later
 *   versions only add members at the end: the library reads the first `size` bytes and takes every
 *   member beyond them as null, so a host built against an older header keeps working (a size of 0
 *   leaves every default in place).
 * - pump_messages: run the host's pending events (called after every delivered message).
 *   Default: nothing.
 * - send_text: show a whole message text in the progress window. Default: nothing.
 * - message_box: show text with a title, owned by `owner`; buttons is TARROW_BOX_OK or
 *   TARROW_BOX_OK_CANCEL; returns TARROW_BOX_ANSWER_OK or TARROW_BOX_ANSWER_CANCEL. Default: Cancel
 *   (OK where there is no Cancel).
 * - overwrite_dialog: ask the overwrite question; returns a TARROW_OVERWRITE_* answer, and any other
 *   value (the question was closed or could not be read) counts as "No". Default: "No".
 * - volume_label: write the label of the volume holding `path` into label (NUL-terminated, at most
 *   capacity bytes); returns 1 when it found one. Default: the file system's label, when it has one.
 * - resolve_target: given the path of a file or folder about to be extracted ("/"-separated, a
 *   folder ending in "/"), write the path to use instead into resolved (NUL-terminated, at most
 *   capacity bytes) and return 1, or return 0 to keep the path. A host that wants the names of a
 *   case-insensitive file system resolves each component to an existing entry that differs only in
 *   letter case; a later member then replaces the earlier one, as the overwrite mode allows.
 *   Default: every path is kept.
 */
#define TARROW_BOX_OK 0
#define TARROW_BOX_OK_CANCEL 1
#define TARROW_BOX_ANSWER_OK 1
#define TARROW_BOX_ANSWER_CANCEL 2

typedef struct TarrowPlatformHooks {
    size_t size; /* sizeof(TarrowPlatformHooks) in the host's header */
    void* context;
    void (*pump_messages)(void* context);
    void (*send_text)(void* context, intptr_t window, const char* text);
    int32_t (*message_box)(void* context, intptr_t owner, const char* text, const char* title, int32_t buttons);
    int32_t (*overwrite_dialog)(void* context, intptr_t owner, const char* text);
    int32_t (*volume_label)(void* context, const char* path, char* label, uint32_t capacity);
    int32_t (*resolve_target)(void* context, const char* path, char* resolved, uint32_t capacity);
} TarrowPlatformHooks;

TARROW_EXPORT void tarrow_platform_set_hooks(const TarrowPlatformHooks* hooks);

#ifdef __cplusplus
}
#endif

/* Archives as objects, for hosts that read from several threads. */
#include "tarrow_archive.h"

#endif
