#include "common/terminal_text.h"

#include "common/text_conversion.h"

namespace {

bool IsLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool IsTrailByte(unsigned char b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

void AppendEscape(std::string& out, unsigned char b)
{
    static const char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[b >> 4];
    out += hex[b & 15];
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Length of the UTF-8 sequence starting with b (1 for anything malformed).
std::size_t Utf8Length(unsigned char b)
{
    if (b >= 0xF0 && b <= 0xF4)
        return 4;
    if (b >= 0xE0)
        return 3;
    if (b >= 0xC2 && b <= 0xDF)
        return 2;
    return 1;
}

// U+0080 to U+009F: a terminal takes these as controls (U+009B starts an
// escape sequence), so they must not reach it as characters.
bool IsC1Control(std::string_view utf8)
{
    return utf8.size() == 2 && static_cast<unsigned char>(utf8[0]) == 0xC2 &&
           static_cast<unsigned char>(utf8[1]) < 0xA0;
}

} // namespace

std::string Cp932ToTerminal(std::string_view cp932)
{
    std::string out;
    std::size_t i = 0;
    while (i < cp932.size()) {
        const auto b = static_cast<unsigned char>(cp932[i]);
        if (b == '\\') {
            out += "\\\\";
            ++i;
            continue;
        }
        if (b < 0x20 || b == 0x7F) {
            AppendEscape(out, b);
            ++i;
            continue;
        }
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        const std::size_t length =
            IsLeadByte(b) && i + 1 < cp932.size() && IsTrailByte(static_cast<unsigned char>(cp932[i + 1])) ? 2 : 1;
        const std::string_view character = cp932.substr(i, length);
        std::string utf8;
        std::string back;
        if (Cp932CharToUtf8(character, utf8) && !IsC1Control(utf8) && Utf8ToCp932Text(utf8, back) &&
            back == character) {
            out += utf8;
        } else {
            for (const char c : character)
                AppendEscape(out, static_cast<unsigned char>(c));
        }
        i += length;
    }
    return out;
}

std::optional<std::string> TerminalToCp932(std::string_view text)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            i += 2;
            continue;
        }
        if (c == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && HexValue(text[i + 2]) >= 0 &&
            HexValue(text[i + 3]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
            i += 4;
            continue;
        }
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
            ++i;
            continue;
        }
        const std::size_t length = Utf8Length(b);
        if (i + length > text.size())
            return std::nullopt;
        std::string bytes;
        if (!Utf8ToCp932Text(text.substr(i, length), bytes))
            return std::nullopt;
        out += bytes;
        i += length;
    }
    return out;
}
