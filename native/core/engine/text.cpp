#include "engine/text.hpp"

#include <charconv>

namespace wrf {

std::string to_lower(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        // U+212A KELVIN SIGN (E2 84 AA) lower-cases to 'k'.
        if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x84 &&
            static_cast<unsigned char>(text[i + 2]) == 0xAA) {
            out.push_back('k');
            i += 2;
            continue;
        }
        out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c));
    }
    return out;
}

std::string to_upper_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string to_lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string_view trim(std::string_view text) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

std::string utf8_replace_invalid(const unsigned char* data, std::size_t size) {
    static constexpr char kReplacement[] = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(size);
    std::size_t i = 0;
    while (i < size) {
        const unsigned char c = data[i];
        std::size_t need = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        // Maximal valid prefix: a broken sequence becomes one replacement.
        std::size_t j = 1;
        for (; j <= need && i + j < size; ++j) {
            const unsigned char b = data[i + j];
            const unsigned char l = j == 1 ? lo : 0x80, h = j == 1 ? hi : 0xBF;
            if (b < l || b > h) break;
        }
        if (j == need + 1) {
            out.append(reinterpret_cast<const char*>(data + i), need + 1);
        } else {
            out += kReplacement;
        }
        i += j;
    }
    return out;
}

std::string format_shape(const std::vector<std::size_t>& shape) {
    std::string out = "[";
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(shape[i]);
    }
    return out + "]";
}

std::string format_shortest(double value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

}  // namespace wrf
