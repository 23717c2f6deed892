#pragma once

#include <cstddef>
#include <string_view>

#include <nlohmann/json.hpp>

namespace berthkeep {

// The deepest nesting of arrays and objects that any reader of JSON accepts. What the
// program and the core library write nests a handful of levels; a much deeper tree is
// hostile, and copying, comparing or converting it recursively would overflow the stack.
inline constexpr std::size_t kMaximumJsonNestingDepth = 256;

// JSON text parsed as nlohmann::json::parse parses it, except that text nesting arrays
// and objects deeper than kMaximumJsonNestingDepth is refused before any tree is built.
// Throws nlohmann::json::parse_error for that as for a syntax error, so every caller
// already handling bad JSON handles it too.
nlohmann::json parseBoundedJson(std::string_view text);

// The same without exceptions: a discarded value for text that is not JSON or nests too
// deeply, as nlohmann::json::parse(text, nullptr, false) gives for bad syntax.
nlohmann::json parseBoundedJsonOrDiscarded(std::string_view text);

} // namespace berthkeep
