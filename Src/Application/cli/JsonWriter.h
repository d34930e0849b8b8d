// JsonWriter.h — a small streaming JSON writer for the command-line tool's reports:
// objects, arrays, numbers and strings, with the commas and indentation done for you.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class JsonWriter {
public:
    void beginObject(const char* key = nullptr) { open(key, '{'); }
    void endObject() { close('}'); }
    void beginArray(const char* key = nullptr) { open(key, '['); }
    void endArray() { close(']'); }

    void value(const char* key, const std::string& text);
    void value(const char* key, const char* text) { value(key, std::string(text)); }
    void value(const char* key, int64_t number);
    void value(const char* key, int32_t number) { value(key, static_cast<int64_t>(number)); }
    void value(const char* key, double number);
    void value(const char* key, float number) { value(key, static_cast<double>(number)); }
    void value(const char* key, bool flag);
    // A short list of numbers on one line.
    void numbers(const char* key, const float* values, int count);
    void numbers(const char* key, const int32_t* values, int count);

    const std::string& text() const { return out_; }

private:
    void open(const char* key, char bracket);
    void close(char bracket);
    void prefix(const char* key);
    void newline();

    std::string out_;
    std::vector<bool> first_;  // per open level: nothing written in it yet
};

// Text as a JSON string literal. Invalid UTF-8 (old files keep pin names in a
// Windows code page) becomes U+FFFD rather than broken output.
std::string jsonQuote(const std::string& text);
