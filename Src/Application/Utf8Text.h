// Cutting UTF-8 text to a limit without splitting a character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest prefix of `text` that holds at most `maxBytes` bytes and at most
// `maxCharacters` characters and ends on a character boundary. Bytes that are not
// valid UTF-8 count as one character each, so any input gives a bounded result.
inline std::string utf8Prefix(std::string_view text, std::size_t maxBytes, std::size_t maxCharacters)
{
    std::size_t end = 0;
    std::size_t characters = 0;
    while (end < text.size() && characters < maxCharacters) {
        const unsigned char lead = static_cast<unsigned char>(text[end]);
        std::size_t length = 1;
        if (lead >= 0xF0 && lead < 0xF8) length = 4;
        else if (lead >= 0xE0) length = lead < 0xF0 ? 3 : 1;
        else if (lead >= 0xC0) length = 2;
        if (end + length > text.size()) length = 1;
        for (std::size_t i = 1; i < length; ++i)
            if ((static_cast<unsigned char>(text[end + i]) & 0xC0) != 0x80) length = 1;
        if (end + length > maxBytes) break;
        end += length;
        ++characters;
    }
    return std::string(text.substr(0, end));
}
