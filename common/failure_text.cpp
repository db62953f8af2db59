#include "common/failure_text.h"

std::string WithReason(std::string_view text, std::string_view where, std::string_view reason)
{
    std::string message(text);
    if (where.empty() && reason.empty())
        return message;
    message += " (";
    message += where;
    if (!where.empty() && !reason.empty())
        message += ": ";
    message += reason;
    message += ')';
    return message;
}
