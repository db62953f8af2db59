#pragma once
#include <string>
#include <string_view>

// A reply as a person reads it, judged by the request that asked for it:
// names in code page 932 as UTF-8 (bytes without a faithful UTF-8 form as
// \xHH, see Cp932ToTerminal), a list's entries as aligned columns with the
// current one marked "*", and statuses with their meaning. A reply to a
// request that is none of the protocol's commands is shown escaped, as
// VisibleText does. Lines after the first are indented; no line end at the end.
std::string ReadableReply(std::string_view request, std::string_view reply);
