// The return-code type lives in the base layer; this header keeps the
// interpreter's older include path working.
#pragma once
#include "base/rc.h"
