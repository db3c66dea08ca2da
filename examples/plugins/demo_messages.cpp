// The demo's message catalogues as plug-ins: built twice, as DemoMsg_en and DemoMsg_fr, with MESSAGES_FR
// choosing the French texts. `getTranslator("Demo", "fr_FR")` finds DemoMsg_fr beside the demo.
#include <zem_util/translator_plugin.h>

namespace {
#if defined(MESSAGES_FR)
const char* kMessages[] = {"DEMO_START",    "Démonstration de ZemUtil, processus {0}, langue {1}",
                           "DEMO_REQUESTS", "{0} requêtes traitées en {1} ms",
                           "DEMO_TRACES",   "Fichiers de trace dans {0}",
                           "DEMO_ALARM",    "Alarme {0} déclenchée",
                           "DEMO_END",      "Terminé.",
                           nullptr};
#else
const char* kMessages[] = {"DEMO_START",    "ZemUtil demo, process {0}, language {1}",
                           "DEMO_REQUESTS", "{0} requests handled in {1} ms",
                           "DEMO_TRACES",   "Trace files in {0}",
                           "DEMO_ALARM",    "Alarm {0} fired",
                           "DEMO_END",      "Done.",
                           nullptr};
#endif
}  // namespace

ZEM_UTIL_TRANSLATOR_PLUGIN(kMessages)
