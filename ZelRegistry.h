// ZelRegistry: classes for keeping user settings in the registry. Including this header
// brings every public class, the exception class, the framework layer and the registry
// function declarations.
#pragma once

/// @file
/// The umbrella header: `#include <ZelRegistry/ZelRegistry.h>` brings every public class,
/// the exception class, the framework layer and the registry function declarations.
/// ZelPropertyLocalException, the cause of the library's own errors, is declared in
/// `<ZelRegistry/frame/ZelPropertyLocalException.h>`.

#include "frame/ZelPlatform.h"
#include "frame/ZelPropertyObjectException.h"
#include "frame/ZelModule.h"
#include "frame/ZelVersion.h"
#include "ZelRegistryBase.h"
#include "ZelRegistrySet.h"
#include "zelpropitem.h"
#include "zelpropset.h"
#include "zelpropsets.h"
#include "ZelRegistryTransaction.h"
#include "ZelRegistryWatcher.h"
