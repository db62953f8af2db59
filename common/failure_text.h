#pragma once
// A failure as a person reads it: the system's own text first, then where it
// happened (an address and port, or a path) and the operating system's
// reason, for example
//   "リモコン接続に失敗しました。 (127.0.0.1:4510: Connection refused)".
#include <string>
#include <string_view>

// text, then " (where: reason)"; " (where)" without a reason, and text alone
// without either.
std::string WithReason(std::string_view text, std::string_view where, std::string_view reason);
