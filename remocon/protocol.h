#pragma once
// The remote-control protocol spoken with EpgDataCap_Bon (as client) and with
// the viewer (as server): bare command texts, TAB-separated replies, no
// terminators. Everything here is plain text work, with no sockets.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/named_number.h"

// Status values of the protocol.
inline constexpr int StatusSuccess = 0;
inline constexpr int StatusRefused = 2;   // a selection the virtual tuner refuses
inline constexpr int StatusFailed = -1;   // the exchange with EpgDataCap_Bon failed
inline constexpr const char* FailedText = "-1";

// One request is read with one receive of at most this many bytes into a
// zero-filled buffer one byte larger.
inline constexpr int RequestBufferSize = 256;
inline constexpr int ReceiveLength = RequestBufferSize - 1;

// A list or text reply ends when the connection has been quiet this long.
inline constexpr long QuietPeriodMicroseconds = 1000;

// How long the client waits for a whole reply before it gives the exchange
// up as failed. EpgDataCap_Bon answers a SetBon only after it has opened the
// tuner driver, which can take several seconds; an upstream that never
// answers, or never stops answering, must not hold the "Remocon" and "Tuner"
// locks forever. Connecting to it is bounded apart, by ConnectTimeoutMs
// (10000 ms, net/socket.h).
inline constexpr int ReplyTimeoutMs = 15000;

// The most a reply may hold; a longer one fails the exchange. The longest
// real reply, a service list, is a few kilobytes.
inline constexpr int MaxReplyBytes = 64 * 1024;

// The texts of the virtual tuner's own answers.
inline constexpr const char* VirtualBonDriverName = "TVTest";
// "混在デジタル" (mixed digital) in code page 932.
inline constexpr const char* VirtualSpaceName = "\x8D\xAC\x8D\xDD\x83\x66\x83\x57\x83\x5E\x83\x8B";

enum class Command {
    GetBonList,
    GetSpaceList,
    GetChList,
    GetServiceList,
    GetServiceList2,
    SetBon,
    SetSpace,
    SetCh,
    SetService,
    SetService2,
    GetNowPgInfo,
    GetNextPgInfo,
};

enum class ReplyKind { List, Status, Text };

// The command's own name, which is also its request text (list and text
// commands) or the part before the colon (set commands).
const char* CommandName(Command command);
ReplyKind ReplyKindOf(Command command);

struct Request {
    Command command;
    std::int32_t number = 0; // set commands only
};

// Recognises one request as the server receives it (the text up to its first
// NUL): list and text commands must match exactly; a set command is its name,
// a colon and a number as scanf's "%d" reads it, with anything after it
// ignored. Nothing when the request is none of the twelve commands.
std::optional<Request> RecognizeRequest(std::string_view request);

// "%s:%d", the client's set request.
std::string FormatSetRequest(std::string_view name, std::int32_t number);

// TVTest takes each reply with one receive of at most this many bytes; what
// is left in the connection it reads as the reply to its next command.
inline constexpr std::size_t ViewerReceiveLimit = 4095;

// "%d\t%d" and "\t%d\t%s" per entry. With a limit (0: none), only as many
// whole entries, from the first, as keep the reply within limit bytes; the
// status and the current number always go.
std::string FormatListReply(int status, int current, const NamedNumberList& entries, std::size_t limit = 0);
// How many entries FormatListReply carries within limit (all when 0).
std::size_t ListEntriesWithin(int status, int current, const NamedNumberList& entries, std::size_t limit);
// "%d".
std::string FormatStatusReply(int status);

// Parses a collected list reply. Fewer than three fields is a failed exchange
// (StatusFailed), leaving list and current untouched. Otherwise the list is
// replaced, current is stored unless the reply gives -1 or current is null,
// and the reply's status is returned.
int ParseListReply(std::string_view reply, NamedNumberList& list, std::int32_t* current);
