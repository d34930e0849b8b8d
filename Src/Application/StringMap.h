// StringMap.h — a hash map keyed by std::string that looks up by std::string_view
// without building a temporary string.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

struct StringViewHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

template <class Value>
using StringMap = std::unordered_map<std::string, Value, StringViewHash, std::equal_to<>>;
