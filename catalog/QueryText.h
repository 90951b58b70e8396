// Small pieces shared by the catalogue queries: reading the pairs of an
// argument text, checking names that a request wants used as column names,
// and appending XML element lines to an answer.
//
// Answers are built as UTF-8 with LF line ends; values go between the tags as
// the database holds them, without XML escaping.
//
// Thread contract: stateless; every function may run on any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// One "key=value" piece of an argument text. `value` is nullopt when the
// piece holds no "=" (text after a second "=" is not part of the value).
struct ArgumentPair {
  std::string key;
  std::optional<std::string> value;
};

// The argument text of `path` (its second piece when split at "@") cut into
// pairs at every "&" and each pair at "="; empty pieces are kept. Nullopt when
// the path holds no "@".
std::optional<std::vector<ArgumentPair>> ArgumentPairs(std::string_view path);

// True when `name` may be placed into a statement as a column name: a letter
// or "_" followed by letters, digits or "_" (ASCII only).
bool IsPlainIdentifier(std::string_view name);

// Appends `value` as it goes into an answer: UTF-8 up to its first zero byte,
// with every invalid sequence replaced by U+FFFD.
void AppendAnswerText(std::string& out, std::string_view value);

// Appends the element line "    <name>value</name>\n".
void AppendElement(std::string& out, std::string_view name, std::string_view value);

}  // namespace qb
