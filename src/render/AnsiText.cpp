#include "render/AnsiText.h"

#include <cerrno>
#include <iconv.h>

namespace {

struct CharsetPage {
    uint8_t charset;
    const char* page;
};

// lfCharSet values (wingdi.h) and the ANSI or OEM code page of each.
constexpr CharsetPage kPages[] = {
    {77, "MACINTOSH"}, {128, "CP932"}, {129, "CP949"}, {130, "JOHAB"}, {134, "CP936"}, {136, "CP950"},
    {161, "CP1253"},   {162, "CP1254"}, {163, "CP1258"}, {177, "CP1255"}, {178, "CP1256"}, {186, "CP1257"},
    {204, "CP1251"},   {222, "CP874"}, {238, "CP1250"}, {255, "CP437"},
};

class Converter {
public:
    explicit Converter(const char* page) : cd_(iconv_open("UTF-32LE", page)) {}
    ~Converter() {
        if (valid()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

char32_t littleEndian(const unsigned char* b) { return char32_t(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24); }

}  // namespace

const char* ansiCodePage(uint8_t charset) {
    if (charset == kSymbolCharset) return nullptr;
    for (const CharsetPage& p : kPages)
        if (p.charset == charset) return p.page;
    return "CP1252";
}

std::u32string decodeAnsiText(std::string_view bytes, uint8_t charset) {
    std::u32string out;
    const char* page = ansiCodePage(charset);
    if (!page) {
        for (const char c : bytes) out.push_back(char32_t(static_cast<unsigned char>(c)));
        return out;
    }
    Converter converter(page);
    if (!converter.valid()) {
        // No converter for the page: what ASCII the text holds, the rest replaced.
        for (const char c : bytes) out.push_back(static_cast<unsigned char>(c) < 0x80 ? char32_t(c) : U'\uFFFD');
        return out;
    }
    // Every code page here gives at most one character for each byte.
    unsigned char units[4 * 64];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* to = reinterpret_cast<char*>(units);
        size_t toLeft = sizeof units;
        const size_t done = iconv(converter.get(), &in, &inLeft, &to, &toLeft);
        const int error = done == size_t(-1) ? errno : 0;
        for (const unsigned char* u = units; u < reinterpret_cast<unsigned char*>(to); u += 4) out.push_back(littleEndian(u));
        if (error == EILSEQ || error == EINVAL) {
            // A byte the page does not define, or a double-byte character cut short.
            out.push_back(U'\uFFFD');
            ++in;
            --inLeft;
            iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
        } else if (error != 0 && error != E2BIG) {
            break;
        }
    }
    return out;
}

std::vector<AnsiCharacter> decodeAnsiCharacters(std::string_view bytes, uint8_t charset) {
    std::vector<AnsiCharacter> out;
    const char* page = ansiCodePage(charset);
    Converter converter(page ? page : "CP1252");
    if (!page || !converter.valid()) {
        const std::u32string characters = decodeAnsiText(bytes, charset);  // one for each byte
        for (size_t i = 0; i < characters.size() && i < bytes.size(); ++i) out.push_back({characters[i], i});
        return out;
    }
    // At each byte, the shortest run of bytes (up to 4) the page reads as characters; a
    // byte that starts none becomes U+FFFD.
    unsigned char units[4 * 8];
    for (size_t at = 0; at < bytes.size();) {
        size_t taken = 0;
        for (size_t length = 1; length <= 4 && at + length <= bytes.size() && taken == 0; ++length) {
            iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
            char* in = const_cast<char*>(bytes.data() + at);
            size_t inLeft = length;
            char* to = reinterpret_cast<char*>(units);
            size_t toLeft = sizeof units;
            const size_t done = iconv(converter.get(), &in, &inLeft, &to, &toLeft);
            const int error = done == size_t(-1) ? errno : 0;
            if (error == EINVAL) continue;  // a character longer than this
            if (error != 0 || inLeft != 0) break;
            iconv(converter.get(), nullptr, nullptr, &to, &toLeft);  // what a converter holds back
            if (to == reinterpret_cast<char*>(units)) break;
            for (const unsigned char* u = units; u < reinterpret_cast<unsigned char*>(to); u += 4) out.push_back({littleEndian(u), at});
            taken = length;
        }
        if (taken == 0) {
            out.push_back({U'\uFFFD', at});
            taken = 1;
        }
        at += taken;
    }
    return out;
}
