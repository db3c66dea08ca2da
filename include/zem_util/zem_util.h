// Everything of ZemUtil in one include.
//
//   #include <zem_util/zem_util.h>
//
// Each family also has its own header: core.h (handles, strings, format), cst_str.h (constant strings),
// system.h (mutexes, events, threads, clock, Exception, fault translation), env.h (paths, process, libraries,
// languages, base-36/64 codes), regexp.h (wildcard matching), trace.h (tracing), translator.h (message
// catalogues; plug-ins are written with translator_plugin.h), alarm.h (AlarmMgr, AlarmListener).
#pragma once

#include "zem_util/alarm.h"
#include "zem_util/core.h"
#include "zem_util/cst_str.h"
#include "zem_util/env.h"
#include "zem_util/regexp.h"
#include "zem_util/system.h"
#include "zem_util/trace.h"
#include "zem_util/translator.h"
