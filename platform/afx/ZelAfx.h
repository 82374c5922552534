// The framework layer: the part of the host class framework that the library uses.
#pragma once

#include "AfxCore.h"
#include "AfxException.h"
#include "AfxList.h"
#include "AfxModule.h"
#include "AfxString.h"
