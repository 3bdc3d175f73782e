#ifndef KVBASE_PLATFORM_WINDOWS_TYPES_H
#define KVBASE_PLATFORM_WINDOWS_TYPES_H

// The few Windows base types that the library's interface names. On Windows these come from
// <windows.h>; here they are plain typedefs of the same widths, so that code written against the
// Windows names reads the same on Linux.

#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef unsigned int UINT;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Handles are pointers to structures that only the platform layer defines.
typedef struct KWindow* HWND;
typedef struct KDeviceContext* HDC;
typedef struct KGdiObject* HGDIOBJ;

#endif  // KVBASE_PLATFORM_WINDOWS_TYPES_H
