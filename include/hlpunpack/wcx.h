/* Packer plug-in (WCX) interface of hlpunpack: the records, constants and
   exports that file managers use to open a help file as an archive.

   Wide strings are UTF-16 code units on every platform (never a 32-bit
   wchar_t). On Windows the exports are __stdcall with undecorated names;
   elsewhere they use the platform's default C calling convention. */
#ifndef HLPUNPACK_WCX_H
#define HLPUNPACK_WCX_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define WCX_API __stdcall
#else
#define WCX_API
#endif

#if defined(HLPUNPACK_BUILDING)
#if defined(_WIN32)
/* The DLL's module-definition file names the exports: dllexport would add
   the decorated 32-bit names (OpenArchiveW@4) beside the plain ones. */
#define WCX_EXPORT
#else
#define WCX_EXPORT __attribute__((visibility("default")))
#endif
#else
#define WCX_EXPORT
#endif

#ifdef __cplusplus
typedef char16_t WCX_WCHAR;
#else
typedef uint_least16_t WCX_WCHAR;
#endif

typedef void* WCX_HANDLE;

/* Result codes */
#define E_SUCCESS 0
#define E_END_ARCHIVE 10
#define E_NO_MEMORY 11
#define E_BAD_DATA 12
#define E_BAD_ARCHIVE 13
#define E_UNKNOWN_FORMAT 14
#define E_EOPEN 15
#define E_ECREATE 16
#define E_ECLOSE 17
#define E_EREAD 18
#define E_EWRITE 19
#define E_SMALL_BUF 20
#define E_EABORTED 21
#define E_NO_FILES 22
#define E_TOO_MANY_FILES 23
#define E_NOT_SUPPORTED 24

/* Open modes and operations */
#define PK_OM_LIST 0
#define PK_OM_EXTRACT 1
#define PK_SKIP 0
#define PK_TEST 1
#define PK_EXTRACT 2

/* Capabilities */
#define PK_CAPS_NEW 1
#define PK_CAPS_MODIFY 2
#define PK_CAPS_MULTIPLE 4
#define PK_CAPS_DELETE 8
#define PK_CAPS_OPTIONS 16
#define PK_CAPS_MEMPACK 32
#define PK_CAPS_BY_CONTENT 64
#define PK_CAPS_SEARCHTEXT 128
#define PK_CAPS_HIDE 256
#define PK_CAPS_ENCRYPT 512

#define BACKGROUND_UNPACK 1
#define BACKGROUND_PACK 2
#define BACKGROUND_MEMPACK 4

typedef struct {
    char* ArcName;
    int OpenMode;
    int OpenResult;
    char* CmtBuf;
    int CmtBufSize;
    int CmtSize;
    int CmtState;
} tOpenArchiveData;

typedef struct {
    WCX_WCHAR* ArcName;
    int OpenMode;
    int OpenResult;
    WCX_WCHAR* CmtBuf;
    int CmtBufSize;
    int CmtSize;
    int CmtState;
} tOpenArchiveDataW;

typedef struct {
    char ArcName[260];
    char FileName[260];
    int Flags;
    int PackSize;
    int UnpSize;
    int HostOS;
    int FileCRC;
    int FileTime;
    int UnpVer;
    int Method;
    int FileAttr;
    char* CmtBuf;
    int CmtBufSize;
    int CmtSize;
    int CmtState;
} tHeaderData;

/* Hosts disagree on the layout after FileAttr (5180 bytes on 32-bit
   Windows, 5192 with natural 64-bit alignment, 5184 in hosts that pack
   their records), so only the fields up to FileAttr may be relied on. */
typedef struct {
    WCX_WCHAR ArcName[1024];
    WCX_WCHAR FileName[1024];
    int Flags;
    unsigned int PackSize;
    unsigned int PackSizeHigh;
    unsigned int UnpSize;
    unsigned int UnpSizeHigh;
    int HostOS;
    int FileCRC;
    int FileTime;
    int UnpVer;
    int Method;
    int FileAttr;
    char* CmtBuf;
    int CmtBufSize;
    int CmtSize;
    int CmtState;
    char Reserved[1024];
} tHeaderDataExW;

/* Bytes of tHeaderDataExW that sit at the same offsets in every host. */
#define WCX_HEADER_EX_COMMON_SIZE (offsetof(tHeaderDataExW, FileAttr) + sizeof(int))
/* Size of tHeaderDataExW as 32-bit Windows hosts lay it out. */
#define WCX_HEADER_EX_SIZE_32 5180

typedef int(WCX_API* tChangeVolProc)(char* ArcName, int Mode);
typedef int(WCX_API* tChangeVolProcW)(WCX_WCHAR* ArcName, int Mode);
typedef int(WCX_API* tProcessDataProc)(char* FileName, int Size);
typedef int(WCX_API* tProcessDataProcW)(WCX_WCHAR* FileName, int Size);

WCX_EXPORT WCX_HANDLE WCX_API OpenArchiveW(tOpenArchiveDataW* ArchiveData);
WCX_EXPORT int WCX_API ReadHeaderExW(WCX_HANDLE hArcData, tHeaderDataExW* HeaderData);
WCX_EXPORT int WCX_API ProcessFileW(WCX_HANDLE hArcData, int Operation, WCX_WCHAR* DestPath,
                                    WCX_WCHAR* DestName);
WCX_EXPORT int WCX_API CloseArchive(WCX_HANDLE hArcData);
WCX_EXPORT void WCX_API SetProcessDataProcW(WCX_HANDLE hArcData, tProcessDataProcW pProcessDataProc);
WCX_EXPORT void WCX_API SetProcessDataProc(WCX_HANDLE hArcData, tProcessDataProc pProcessDataProc);
WCX_EXPORT void WCX_API SetChangeVolProc(WCX_HANDLE hArcData, tChangeVolProc pChangeVolProc);
WCX_EXPORT void WCX_API SetChangeVolProcW(WCX_HANDLE hArcData, tChangeVolProcW pChangeVolProc);
WCX_EXPORT WCX_HANDLE WCX_API OpenArchive(tOpenArchiveData* ArchiveData);
WCX_EXPORT int WCX_API ReadHeader(WCX_HANDLE hArcData, tHeaderData* HeaderData);
WCX_EXPORT int WCX_API ProcessFile(WCX_HANDLE hArcData, int Operation, char* DestPath, char* DestName);
WCX_EXPORT int WCX_API GetPackerCaps(void);
WCX_EXPORT int WCX_API GetBackgroundFlags(void);

/* hlpunpack's own switches, not part of the WCX interface. The plug-in
   module does not export this call (hosts know only the thirteen above; the
   module reads hlpunpack.ini beside itself instead); programs that link the
   library itself, like the command-line tool, call it before opening files.
   The flags replace the settings file's for every later open. */
#define HLPUNPACK_SALVAGE 1
#define HLPUNPACK_HTML 2
/* The HTML edition (implied) with an HTML Help project beside its pages:
   NAME.hhp, NAME.h, NAME.hhc and NAME.hhk. */
#define HLPUNPACK_HTMLHELP 8
/* CloseArchive frees the session instead of keeping it for a reopen: for
   programs that open each file once, so that memory stays that of the files
   open at the time. */
#define HLPUNPACK_NO_CACHE 4
void WCX_API SetHlpunpackOptions(int flags);

/* Figures of an opened help file for a program's report, taken from the
   decompile (not exported from the plug-in module either). */
typedef struct {
    int SystemMinor; /* the |SYSTEM minor version: 15 WinHelp 3.0, 21 WinHelp 3.1, 27 and 33 later */
    int MediaView;   /* 1 for a MediaView file */
    int Topics;      /* topics of the topic file */
    int Keywords;    /* distinct K keywords */
    int ContextIds;  /* entries of the context table (hashes of context strings) */
    int CodePage;    /* Windows code page of the help file's text (and of its project file) */
} tHlpunpackFacts;
/* 0 and the record filled, or E_END_ARCHIVE for a null handle or record. */
int WCX_API GetHlpunpackFacts(WCX_HANDLE hArcData, tHlpunpackFacts* facts);

#ifdef __cplusplus
}
#endif

#endif
