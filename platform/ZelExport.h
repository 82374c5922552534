// Export macros of the project's shared libraries. Each library defines its ZEL_BUILDING_*
// macro while it is compiled; everyone else sees the import side. Symbols are hidden by
// default, so only what carries one of these macros leaves its module.
#pragma once

#if defined(_WIN32)
#define ZEL_DLL_EXPORT __declspec(dllexport)
#define ZEL_DLL_IMPORT __declspec(dllimport)
#else
#define ZEL_DLL_EXPORT __attribute__((visibility("default")))
#define ZEL_DLL_IMPORT __attribute__((visibility("default")))
#endif

#if defined(ZEL_BUILDING_AFX)
#define ZEL_AFX_API ZEL_DLL_EXPORT
#else
#define ZEL_AFX_API ZEL_DLL_IMPORT
#endif

#if defined(ZEL_BUILDING_EH)
#define ZEL_EH_API ZEL_DLL_EXPORT
#else
#define ZEL_EH_API ZEL_DLL_IMPORT
#endif

#if defined(ZEL_BUILDING_LANG)
#define ZEL_LANG_API ZEL_DLL_EXPORT
#else
#define ZEL_LANG_API ZEL_DLL_IMPORT
#endif

#if defined(ZEL_BUILDING_OFSET)
#define ZEL_OFSET_API ZEL_DLL_EXPORT
#else
#define ZEL_OFSET_API ZEL_DLL_IMPORT
#endif

#if defined(ZEL_BUILDING_WINREG)
#define ZEL_WINREG_API ZEL_DLL_EXPORT
#else
#define ZEL_WINREG_API ZEL_DLL_IMPORT
#endif

// Static objects that must be built before a module's entry function runs at load
// (on Windows the C runtime builds every static object before the entry function anyway).
#if defined(_WIN32)
#define ZEL_INIT_BEFORE_ENTRY
#else
#define ZEL_INIT_BEFORE_ENTRY __attribute__((init_priority(1000)))
#endif
