#include <cerrno>
#include <iconv.h>

#include "common/text_conversion.h"

namespace {

// One conversion with a descriptor of its own: iconv descriptors carry state
// and must not be shared between threads.
bool Convert(const char* to, const char* from, std::string_view in, std::string& out)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.clear();
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    bool ok = true;
    while (inLeft > 0) {
        char buffer[256];
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, sizeof buffer - outLeft);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    if (ok) {
        char buffer[64];
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        ok = iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
        out.append(buffer, sizeof buffer - outLeft);
    }
    iconv_close(cd);
    return ok;
}

} // namespace

bool Cp932CharToUtf8(std::string_view character, std::string& utf8)
{
    return Convert("UTF-8", "CP932", character, utf8) && !utf8.empty();
}

bool Utf8ToCp932Text(std::string_view utf8, std::string& cp932)
{
    return Convert("CP932", "UTF-8", utf8, cp932);
}
