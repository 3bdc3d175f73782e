#ifndef KVBASE_PLATFORM_EXPORT_H
#define KVBASE_PLATFORM_EXPORT_H

// KVBASE_API marks what the shared library exports: the public classes, functions and data. Everything
// else is built hidden, so that no internal helper becomes part of the binary interface by accident.
//
// On Windows the library is built with KVBASE_BUILDING (dllexport) and clients import it; KVBASE_STATIC
// marks a static build, which exports nothing.

#if defined(KVBASE_STATIC)
#define KVBASE_API
#elif defined(_WIN32)
#if defined(KVBASE_BUILDING)
#define KVBASE_API __declspec(dllexport)
#else
#define KVBASE_API __declspec(dllimport)
#endif
#else
#define KVBASE_API __attribute__((visibility("default")))
#endif

#endif  // KVBASE_PLATFORM_EXPORT_H
