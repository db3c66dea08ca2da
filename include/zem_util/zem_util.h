// Everything of ZemUtil in one include.
//
//   #include <zem_util/zem_util.h>
//
// Each family also has its own header: core.h (handles, strings, format), system.h (mutexes, events, threads,
// clock, Exception), env.h (paths, process, libraries, languages, base-36/64 codes), translator.h.
#pragma once

#include "zem_util/core.h"
#include "zem_util/env.h"
#include "zem_util/system.h"
#include "zem_util/trace.h"
#include "zem_util/translator.h"
