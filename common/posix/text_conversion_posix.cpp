#include <cerrno>
#include <iconv.h>

#include "common/text_conversion.h"

namespace {

// One descriptor per direction and thread: a descriptor carries shift state
// and must not be used by two threads at once, and opening one for every
// character would cost more than the conversion itself.
class Converter {
public:
    Converter(const char* to, const char* from) : FCd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (FCd != Invalid())
            iconv_close(FCd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Convert(std::string_view in, std::string& out)
    {
        out.clear();
        if (FCd == Invalid())
            return false;
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        while (inLeft > 0) {
            char buffer[256];
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t r = iconv(FCd, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, sizeof buffer - outLeft);
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                // Neither side has shift states, so only a conversion that
                // failed half-way can leave state behind for the next one.
                iconv(FCd, nullptr, nullptr, nullptr, nullptr);
                return false;
            }
        }
        return true;
    }

private:
    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }
    iconv_t FCd;
};

} // namespace

bool Cp932CharToUtf8(std::string_view character, std::string& utf8)
{
    thread_local Converter toUtf8("UTF-8", "CP932");
    return toUtf8.Convert(character, utf8) && !utf8.empty();
}

bool Utf8ToCp932Text(std::string_view utf8, std::string& cp932)
{
    thread_local Converter toCp932("CP932", "UTF-8");
    return toCp932.Convert(utf8, cp932);
}
