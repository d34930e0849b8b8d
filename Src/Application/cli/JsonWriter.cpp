#include "JsonWriter.h"

#include <cmath>
#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at `i`, or 0.
size_t utf8Length(const std::string& text, size_t i)
{
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    return length;
}

}  // namespace

std::string jsonQuote(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = utf8Length(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text, i, length);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
        i += length;
    }
    return out + "\"";
}

void JsonWriter::newline()
{
    out_ += '\n';
    out_.append(first_.size() * 2, ' ');
}

void JsonWriter::prefix(const char* key)
{
    if (!first_.empty()) {
        if (!first_.back()) out_ += ',';
        first_.back() = false;
        newline();
    }
    if (key) out_ += jsonQuote(key) + ": ";
}

void JsonWriter::open(const char* key, char bracket)
{
    prefix(key);
    out_ += bracket;
    first_.push_back(true);
}

void JsonWriter::close(char bracket)
{
    bool empty = first_.back();
    first_.pop_back();
    if (!empty) newline();
    out_ += bracket;
    if (first_.empty()) out_ += '\n';
}

void JsonWriter::value(const char* key, const std::string& text)
{
    prefix(key);
    out_ += jsonQuote(text);
}

void JsonWriter::value(const char* key, int64_t number)
{
    prefix(key);
    out_ += std::to_string(number);
}

void JsonWriter::value(const char* key, double number)
{
    prefix(key);
    if (!std::isfinite(number)) {
        out_ += "null";
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", number);
    out_ += text;
}

void JsonWriter::value(const char* key, bool flag)
{
    prefix(key);
    out_ += flag ? "true" : "false";
}

namespace {

std::string numberText(double number)
{
    if (!std::isfinite(number)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", number);
    return text;
}

}  // namespace

void JsonWriter::numbers(const char* key, const float* values, int count)
{
    prefix(key);
    out_ += '[';
    for (int i = 0; i < count; ++i) out_ += (i ? ", " : "") + numberText(values[i]);
    out_ += ']';
}

void JsonWriter::numbers(const char* key, const int32_t* values, int count)
{
    prefix(key);
    out_ += '[';
    for (int i = 0; i < count; ++i) out_ += (i ? ", " : "") + std::to_string(values[i]);
    out_ += ']';
}
