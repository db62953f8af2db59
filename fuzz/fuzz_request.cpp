// The server's request recognizer on arbitrary bytes: whatever it accepts is
// one of the twelve commands, and the request the client would build for it
// is recognised as the same command and number.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "remocon/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string request(reinterpret_cast<const char*>(data), size);
    const auto recognized = RecognizeRequest(request);
    if (!recognized)
        return 0;
    const Command command = recognized->command;
    const std::string name = CommandName(command);
    FUZZ_CHECK(request.compare(0, name.size(), name) == 0);
    if (ReplyKindOf(command) != ReplyKind::Status) {
        FUZZ_CHECK(request.substr(0, request.find('\0')) == name);
        return 0;
    }
    const std::string rebuilt = FormatSetRequest(name, recognized->number);
    const auto again = RecognizeRequest(rebuilt);
    FUZZ_CHECK(again && again->command == command && again->number == recognized->number);
    return 0;
}
