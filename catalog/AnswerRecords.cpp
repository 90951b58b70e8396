#include "catalog/AnswerRecords.h"

#include <cstring>

namespace qb {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-'; }

// Walks the bytes of an answer; every step fails (false) on anything outside
// the usual shape.
class ShapeScanner {
 public:
  explicit ShapeScanner(std::string_view bytes)
      : m_begin(bytes.data()), m_pos(bytes.data()), m_end(bytes.data() + bytes.size()) {}

  size_t Position() const { return static_cast<size_t>(m_pos - m_begin); }
  bool AtEnd() const { return m_pos >= m_end; }
  bool At(std::string_view text) const {
    return static_cast<size_t>(m_end - m_pos) >= text.size() &&
           std::memcmp(m_pos, text.data(), text.size()) == 0;
  }
  bool At(char c) const { return m_pos < m_end && *m_pos == c; }

  void SkipSpace() {
    while (m_pos < m_end && IsSpace(*m_pos)) {
      ++m_pos;
    }
  }

  // Moves past the next `text`.
  bool SkipPast(std::string_view text) {
    const std::string_view rest(m_pos, static_cast<size_t>(m_end - m_pos));
    const size_t found = rest.find(text);
    if (found == std::string_view::npos) {
      return false;
    }
    m_pos += found + text.size();
    return true;
  }

  std::optional<std::string_view> Name() {
    const char* start = m_pos;
    if (m_pos >= m_end || !IsNameStart(*m_pos)) {
      return std::nullopt;
    }
    ++m_pos;
    while (m_pos < m_end && IsNameChar(*m_pos)) {
      ++m_pos;
    }
    return std::string_view(start, static_cast<size_t>(m_pos - start));
  }

  // A start tag after its "<" and name: its attributes and its end. Sets
  // `empty` for "/>" and clears `plain` when there are attributes.
  bool StartTagRest(bool* empty, bool* plain) {
    for (bool first = true;; first = false) {
      if (!first) {
        *plain = false;
      }
      if (At('>')) {
        ++m_pos;
        *empty = false;
        return true;
      }
      const char* before = m_pos;
      SkipSpace();
      if (At('>')) {
        ++m_pos;
        *empty = false;
        return true;
      }
      if (At("/>")) {
        m_pos += 2;
        *empty = true;
        return true;
      }
      if (m_pos == before || !Name()) {
        return false;
      }
      SkipSpace();
      if (!At('=')) {
        return false;
      }
      ++m_pos;
      SkipSpace();
      if (!At('"') && !At('\'')) {
        return false;
      }
      const char quote = *m_pos++;
      const char* close =
          static_cast<const char*>(std::memchr(m_pos, quote, static_cast<size_t>(m_end - m_pos)));
      if (close == nullptr ||
          std::memchr(m_pos, '<', static_cast<size_t>(close - m_pos)) != nullptr) {
        return false;
      }
      m_pos = close + 1;
    }
  }

  // An end tag after its "</": the name `open` and its ">".
  bool EndTagRest(std::string_view open) {
    if (static_cast<size_t>(m_end - m_pos) <= open.size() ||
        std::memcmp(m_pos, open.data(), open.size()) != 0) {
      return false;
    }
    m_pos += open.size();
    SkipSpace();
    if (!At('>')) {
      return false;
    }
    ++m_pos;
    return true;
  }

  // One element starting at its "<", up to and with its end tag. Clears
  // `plain` unless the element is plain (RecordReader::ReadPlain), its
  // references and carriage returns aside.
  bool Element(bool* plain) {
    *plain = true;
    m_open.clear();
    do {
      const char* less =
          static_cast<const char*>(std::memchr(m_pos, '<', static_cast<size_t>(m_end - m_pos)));
      if (less == nullptr) {
        return false;
      }
      m_pos = less + 1;
      if (At('/')) {
        ++m_pos;
        if (m_open.empty() || !EndTagRest(m_open.back())) {
          return false;
        }
        m_open.pop_back();
      } else if (At('!')) {
        *plain = false;
        if (m_open.empty()) {
          return false;
        }
        if (At("!--")) {
          m_pos += 3;
          if (!SkipPast("-->")) {
            return false;
          }
        } else if (At("![CDATA[")) {
          m_pos += 8;
          if (!SkipPast("]]>")) {
            return false;
          }
        } else {
          return false;
        }
      } else {
        const std::optional<std::string_view> name = Name();
        bool empty = false;
        if (!name || !StartTagRest(&empty, plain)) {
          return false;
        }
        if (m_open.size() >= 2) {
          *plain = false;  // a field holding elements
        }
        if (!empty) {
          m_open.push_back(*name);
        }
      }
    } while (!m_open.empty());
    return true;
  }

 private:
  const char* m_begin;
  const char* m_pos;
  const char* m_end;
  std::vector<std::string_view> m_open;  // names of the elements not closed yet
};

}  // namespace

std::optional<AnswerRecords> AnswerRecords::Scan(std::string_view answer) {
  if (!answer.starts_with("<?xml") || answer.size() < 6 || !IsSpace(answer[5]) ||
      std::memchr(answer.data(), '\0', answer.size()) != nullptr) {
    return std::nullopt;
  }
  ShapeScanner scanner(answer);
  if (!scanner.SkipPast("?>")) {
    return std::nullopt;
  }
  scanner.SkipSpace();
  if (!scanner.At('<')) {
    return std::nullopt;
  }
  scanner.SkipPast("<");
  const std::optional<std::string_view> rootName = scanner.Name();
  bool empty = false;
  bool plainRoot = true;
  if (!rootName || !scanner.StartTagRest(&empty, &plainRoot) || empty) {
    return std::nullopt;
  }
  AnswerRecords records(answer);
  // The declaration and the root's start tag read as the whole document
  // reads them, the root closed right after.
  std::string prolog(answer.substr(0, scanner.Position()));
  prolog.append("</").append(*rootName).append(">");
  if (!records.m_prolog->load_buffer(prolog.data(), prolog.size(), kAnswerParseOptions,
                                     pugi::encoding_utf8)) {
    return std::nullopt;
  }
  const pugi::xml_node first = records.m_prolog->first_child();
  const pugi::xml_node root = first ? first.next_sibling() : pugi::xml_node();
  if (first.type() != pugi::node_declaration || root.type() != pugi::node_element ||
      root.next_sibling() || std::string_view(root.name()) != *rootName) {
    return std::nullopt;
  }
  while (true) {
    scanner.SkipSpace();
    if (scanner.At("</")) {
      scanner.SkipPast("</");
      if (!scanner.EndTagRest(*rootName)) {
        return std::nullopt;
      }
      scanner.SkipSpace();
      if (!scanner.AtEnd()) {
        return std::nullopt;
      }
      return records;
    }
    const size_t start = scanner.Position();
    bool plain = false;
    if (!scanner.At('<') || !scanner.Element(&plain)) {
      return std::nullopt;
    }
    const size_t size = scanner.Position() - start;
    plain = plain && std::memchr(answer.data() + start, '&', size) == nullptr &&
            std::memchr(answer.data() + start, '\r', size) == nullptr;
    records.m_records.push_back({start, size, plain});
  }
}

pugi::xml_node AnswerRecords::Root() const {
  const pugi::xml_node first = m_prolog->first_child();
  return first ? first.next_sibling() : pugi::xml_node();
}

std::optional<const std::vector<std::string_view>*> AnswerRecords::Next(RecordReader& reader) {
  if (m_next >= m_records.size()) {
    return nullptr;
  }
  const auto [offset, size, plain] = m_records[m_next++];
  if (plain) {
    return &reader.ReadPlain(m_answer.substr(offset, size));
  }
  m_recordBytes.assign(m_answer.substr(offset, size));
  if (!m_record->load_buffer_inplace(m_recordBytes.data(), m_recordBytes.size(),
                                     kAnswerParseOptions, pugi::encoding_utf8)) {
    return std::nullopt;
  }
  const pugi::xml_node record = m_record->first_child();
  if (record.type() != pugi::node_element || record.next_sibling()) {
    return std::nullopt;
  }
  return &reader.Read(record);
}

}  // namespace qb
