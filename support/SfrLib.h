/* SfrLib: instrument names, GS/XG file scan, SSTP client, shortcut writer.
 * C interface; every export takes plain integers or NUL-terminated byte
 * strings and returns a 32-bit integer. Nothing allocated by the library is
 * handed back. */
#ifndef SFRLIB_H
#define SFRLIB_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define SFRAPI __stdcall
#else
#define SFRAPI
#endif

#if defined(SFRLIB_BUILDING)
#if defined(_WIN32)
#define SFRLIB_EXPORT __declspec(dllexport)
#else
#define SFRLIB_EXPORT __attribute__((visibility("default")))
#endif
#else
#define SFRLIB_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Room that GetInstName needs: the longest name and its NUL. */
#define SFRLIB_INST_NAME_MAX 15
/* Room that SFRGetCopyright needs. */
#define SFRLIB_COPYRIGHT_MAX 58
/* Longest request the SSTP exports send (bytes, without a terminator). */
#define SFRLIB_SSTP_MAX_REQUEST 16383

/* GetMIDIModule results. */
#define SFRLIB_MODULE_NONE 0
#define SFRLIB_MODULE_XG 2
#define SFRLIB_MODULE_GS 3

/* Makes the instrument name table ready; returns 0. */
SFRLIB_EXPORT int32_t SFRAPI InstInit(void);
/* Copies the name of [bank][map][program] with its NUL into buffer (at least
 * SFRLIB_INST_NAME_MAX bytes); an unnamed entry or an index outside 0-127
 * gives the empty string. Returns 0. */
SFRLIB_EXPORT int32_t SFRAPI GetInstName(int32_t bank, int32_t map, int32_t program, char* buffer);
/* Raw scan of a file for the XG System On or GS Reset body: 2 XG, 3 GS, 0
 * neither or unreadable. */
SFRLIB_EXPORT int32_t SFRAPI GetMIDIModule(const char* path);

/* 0 when a mascot program accepts SSTP on the local machine, -1 otherwise. */
SFRLIB_EXPORT int32_t SFRAPI SSTPIsEnabled(void);
/* The send exports return 0 when the request was handed to a receiver and
 * -1 when no connection was made or the request exceeds
 * SFRLIB_SSTP_MAX_REQUEST bytes. */
SFRLIB_EXPORT int32_t SFRAPI SSTPSendString(const char* text);
SFRLIB_EXPORT int32_t SFRAPI SSTPSendMessage(const char* script, const char* sender,
                                             const char* option);
SFRLIB_EXPORT int32_t SFRAPI SSTPGiveDocument(const char* document, const char* sender);
SFRLIB_EXPORT int32_t SFRAPI SSTPGiveSongname(const char* songName, const char* sender);
SFRLIB_EXPORT int32_t SFRAPI SSTPCommunicate(const char* sentence, const char* sender);

/* Writes a shortcut (a desktop-entry launcher where there are no shell
 * links) at linkPath. Returns 0, or a negative status when nothing could be
 * written. */
SFRLIB_EXPORT int32_t SFRAPI CreateLink(const char* target, const char* linkPath,
                                        const char* arguments, const char* description,
                                        const char* workingFolder, const char* iconFile,
                                        int32_t iconIndex);
/* 200. */
SFRLIB_EXPORT int32_t SFRAPI SFRGetVersion(void);
/* Copies the library's notice line with its NUL into buffer (at least
 * SFRLIB_COPYRIGHT_MAX bytes); returns 0. */
SFRLIB_EXPORT int32_t SFRAPI SFRGetCopyright(char* buffer);

#ifdef __cplusplus
}
#endif

#endif /* SFRLIB_H */
