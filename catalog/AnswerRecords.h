// Reads a catalogue server answer record by record instead of as one
// document, so that importing an answer of a hundred megabytes needs memory
// for one record rather than for the whole tree.
//
// Only answers of the usual shape are read this way: an XML declaration,
// whitespace, the root element, then record elements separated by whitespace
// only, then whitespace to the end; no zero byte anywhere; inside the
// records only elements with plain names, quoted attributes, text, comments
// and CDATA sections, every element closed by its own end tag. Scan checks
// all of that before anything is handed out, and each record then reads
// exactly as it does in the whole document (same parser, same options, see
// ReadAnswer), or, for a plain record, straight from its bytes. Any other
// answer, well-formed or not, is left to ReadAnswer,
// which keeps its errors and its lenient reading.
//
// Thread contract: one reader per import, used on the importing thread; the
// answer's bytes must outlive it.
#pragma once

#include <pugixml.hpp>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/RecordSource.h"

namespace qb {

// How every answer is parsed. A text that is an element's first content is
// kept in the element itself rather than in a node of its own (child_value
// and text() read it).
inline constexpr unsigned kAnswerParseOptions =
    pugi::parse_minimal | pugi::parse_escapes | pugi::parse_eol | pugi::parse_cdata |
    pugi::parse_declaration | pugi::parse_embed_pcdata;

class AnswerRecords : public RecordSource {
 public:
  // The reader of `answer`, or nullopt when it is not of the usual shape.
  static std::optional<AnswerRecords> Scan(std::string_view answer);

  AnswerRecords(AnswerRecords&&) = default;
  AnswerRecords& operator=(AnswerRecords&&) = default;

  // The root element, with its attributes but without its records.
  pugi::xml_node Root() const;

  size_t Count() const override { return m_records.size(); }
  std::optional<const std::vector<std::string_view>*> Next(RecordReader& reader) override;

 private:
  explicit AnswerRecords(std::string_view answer) : m_answer(answer) {}

  std::string_view m_answer;
  // Holds the declaration and the root element, emptied.
  std::unique_ptr<pugi::xml_document> m_prolog = std::make_unique<pugi::xml_document>();
  struct Span {
    size_t offset;  // in the answer
    size_t size;
    bool plain;  // as RecordReader::ReadPlain takes it
  };
  std::vector<Span> m_records;
  size_t m_next = 0;
  // The current record: its bytes, parsed in place.
  std::unique_ptr<pugi::xml_document> m_record = std::make_unique<pugi::xml_document>();
  std::string m_recordBytes;
};

}  // namespace qb
