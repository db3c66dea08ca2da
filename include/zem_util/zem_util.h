// Everything of ZemUtil in one include.
//
//   #include <zem_util/zem_util.h>
//
// Each family also has its own header: core.h (handles, strings, format), cst_str.h (constant strings),
// system.h (mutexes, events, threads, clock, Exception, fault translation), translator.h (message
// catalogues), alarm.h (AlarmMgr, AlarmListener).
#pragma once

#include "zem_util/core.h"
#include "zem_util/cst_str.h"
#include "zem_util/system.h"
#include "zem_util/translator.h"
#include "zem_util/alarm.h"
