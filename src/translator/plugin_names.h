// The plug-in libraries the registry asks for a component's catalogue.
#pragma once

#include "zem_util/core.h"

namespace zem_util::detail {

// The library names tried for the pair, most specific first. Each candidate loses the last "_..." of the one
// before, and the underscore of "Msg_" stops the cut, so the component name itself is never shortened:
//   Cfg, fr_FR -> CfgMsg_fr_FR, CfgMsg_fr, CfgMsg        a_b, fr -> a_bMsg_fr, a_bMsg
// A candidate that would be a path rather than a name is left out, and the shorter ones are still tried:
//   Cfg, x/../../evil -> CfgMsg                          Cfg, fr_FR/x -> CfgMsg_fr, CfgMsg
ArrayPtr<ArrayPtr<char>> getPluginLibraryNames(const ArrayPtr<char>& name, const ArrayPtr<char>& language);

}  // namespace zem_util::detail
