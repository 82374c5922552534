#include "ZelEhTestSupport.h"

IMPLEMENT_DYNAMIC(CountedException, CException)
