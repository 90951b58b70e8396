#include "catalog/PaperInfos.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "catalog/CatalogueDb.h"
#include "catalog/CatalogueSchema.h"
#include "catalog/Condition.h"
#include "catalog/ElementLayout.h"
#include "catalog/ReadSession.h"
#include "catalog/SearchIndex.h"
#include "util/Log.h"
#include "util/MacAddress.h"
#include "util/SafePath.h"
#include "util/ServedFiles.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

// How a column shows in one answer shape.
enum class Fill {
  kNone,          // no element
  kValue,         // the value; NULL leaves the line out
  kEmpty,         // always the empty element, whatever the value
  kValueOrEmpty,  // the value; NULL gives the empty element
};

struct ProductColumn {
  std::string_view expression;  // in the select list
  std::string_view name;        // result name the column is recognised by
  std::string_view listElement;
  Fill listFill;
  std::string_view listSecond;  // a second list element with the same value
  std::string_view detailElement;
  Fill detailFill;
  bool head;  // detail: written once, from the first row, as listElement
};

constexpr Fill V = Fill::kValue;
constexpr Fill N = Fill::kNone;

constexpr std::array<ProductColumn, 39> kColumns{{
    {"paperInfoId", "paperInfoId", "PAPER_GOODS_PNO", V, "", "", N, false},
    {"mc.name as category", "category", "", N, "", "", N, false},
    {"category_id", "category_id", "PAPER_GOODS_CATEGORY", V, "", "", N, false},
    {"goods", "goods", "PAPER_GOODS_NAME", V, "", "", N, true},
    {"goodsPartsNo", "goodsPartsNo", "PAPER_GOODS_PART_NUMBER", V, "", "", N, true},
    {"searchNo", "searchNo", "PAPER_GOODS_SEARCH_NUMBER", V, "", "", N, true},
    {"searchSelNo", "searchSelNo", "PAPER_GOODS_SEARCH_PART_NUMBER", V, "",
     "PAPER_GOODS_SEARCH_PART_NUMBER", V, false},
    {"goodsBackFront", "goodsBackFront", "PAPER_GOODS_BACK_FRONT", V, "",
     "PAPER_GOODS_BACK_FRONT", V, false},
    {"goodsAllEdit", "goodsAllEdit", "PAPER_GOODS_ALL_EDIT", V, "", "PAPER_GOODS_ALL_EDIT", V,
     false},
    {"goodsDisplayLabel", "goodsDisplayLabel", "PAPER_GOODS_DISPLAY_PART_NUMBER", V, "",
     "PAPER_GOODS_DISPLAY_PART_NUMBER", V, false},
    {"goodsThumbName", "goodsThumbName", "PAPER_GOODS_THUMB", V, "", "PAPER_GOODS_THUMB", V,
     false},
    {"goodsThumbName2", "goodsThumbName2", "PAPER_GOODS_THUMB2", V, "", "PAPER_GOODS_THUMB2", V,
     false},
    {"goodsPictFileName", "goodsPictFileName", "PAPER_GOODS_FILE_NAME", V, "",
     "PAPER_GOODS_FILE_NAME", V, false},
    {"goodsPictPartsLabel", "goodsPictPartsLabel", "PAPER_GOODS_PICT_LABEL", V, "",
     "PAPER_GOODS_PICT_LABEL", V, false},
    {"goodsPictPartsCut", "goodsPictPartsCut", "PAPER_GOODS_PICT_CUT", V, "",
     "PAPER_GOODS_PICT_CUT", V, false},
    {"goodsPictPartsBending", "goodsPictPartsBending", "PAPER_GOODS_PICT_BENDING", V, "",
     "PAPER_GOODS_PICT_BENDING", V, false},
    {"goodsPictPartsDesign1", "goodsPictPartsDesign1", "PAPER_GOODS_PICT_DESIGN1", V, "",
     "PAPER_GOODS_PICT_DESIGN1", V, false},
    {"goodsPictPartsDesign2", "goodsPictPartsDesign2", "PAPER_GOODS_PICT_DESIGN2", V, "",
     "PAPER_GOODS_PICT_DESIGN2", V, false},
    {"goodsPictMask", "goodsPictMask", "PAPER_GOODS_MASK", V, "", "PAPER_GOODS_MASK", V, false},
    {"goodsType", "goodsType", "PAPER_GOODS_TYPE", V, "", "PAPER_GOODS_TYPE", V, false},
    {"goodsLabel", "goodsLabel", "PAPER_GOODS_LABEL", V, "", "PAPER_GOODS_LABEL", V, false},
    {"goodsDrawSize", "goodsDrawSize", "PAPER_GOODS_DRAW_SIZE", V, "", "PAPER_GOODS_DRAW_SIZE",
     V, false},
    {"psize.name as goodsPaperSizeName", "goodsPaperSizeName", "PAPER_GOODS_PARTS_SIZE", V, "",
     "PAPER_GOODS_PARTS_SIZE", V, false},
    {"psize.sizeH as paperH", "paperH", "PAPER_GOODS_PARTS_H", V, "", "PAPER_GOODS_PARTS_H", V,
     false},
    {"psize.sizeW as paperW", "paperW", "PAPER_GOODS_PARTS_W", V, "", "PAPER_GOODS_PARTS_W", V,
     false},
    {"paperFieldsNo", "paperFieldsNo", "PAPER_GOODS_NUMBER", V, "PAPER_GOODS_PARTS_FIELDS",
     "PAPER_GOODS_PARTS_FIELDS", V, false},
    {"paperLocationType", "paperLocationType", "PAPER_GOODS_LOCATION_TYPE", Fill::kEmpty, "",
     "PAPER_GOODS_LOCATION_TYPE", Fill::kEmpty, false},
    {"paperFieldsHNo", "paperFieldsHNo", "PAPER_GOODS_PARTS_FIELDS_H_NUMBER", V, "",
     "PAPER_GOODS_PARTS__FIELDS_H_NUMBER", V, false},
    {"paperFieldsWNo", "paperFieldsWNo", "PAPER_GOODS_PARTS_FIELDS_W_NUMBER", V, "",
     "PAPER_GOODS_PARTS__FIELDS_W_NUMBER", V, false},
    {"paperOnePieceH", "paperOnePieceH", "PAPER_GOODS_PARTS_ONE_PIECE_H", V, "",
     "PAPER_GOODS_PARTS_ONE_PIECE_H", V, false},
    {"paperOnePieceW", "paperOnePieceW", "PAPER_GOODS_PARTS_ONE_PIECE_W", V, "",
     "PAPER_GOODS_PARTS_ONE_PIECE_W", V, false},
    {"paperUnfiliedSpaceU", "paperUnfiliedSpaceU", "PAPER_GOODS_PARTS_UNFILLED_SPACE_UP", V, "",
     "PAPER_GOODS_PARTS_UNFILLED_SPACE_UP", V, false},
    {"paperUnfiliedSpaceD", "paperUnfiliedSpaceD", "PAPER_GOODS_PARTS_UNFILLED_SPACE_DOWN", V,
     "", "PAPER_GOODS_PARTS_UNFILLED_SPACE_DOWN", V, false},
    {"paperUnfiliedSpaceL", "paperUnfiliedSpaceL", "PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT", V,
     "", "PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT", V, false},
    {"paperUnfiliedSpaceR", "paperUnfiliedSpaceR", "PAPER_GOODS_PARTS_UNFILLED_SPACE_RIGHT", V,
     "", "PAPER_GOODS_PARTS_UNFILLED_SPACE_RIGHT", V, false},
    {"paperUnfiliedSpaceUD", "paperUnfiliedSpaceUD", "PAPER_GOODS_PARTS_UNFILLED_SPACE_UP_DOWN",
     V, "", "PAPER_GOODS_PARTS_UNFILLED_SPACE_UP_DOWN", V, false},
    {"paperUnfiliedSpaceLR", "paperUnfiliedSpaceLR",
     "PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT_RIGHTH", V, "",
     "PAPER_GOODS_PARTS_UNFILLED_SPACE_LEFT_RIGHTH", V, false},
    {"partsUrl", "partsUrl", "PAPER_GOODS_PARTS_URL", V, "", "PAPER_GOODS_PARTS_URL",
     Fill::kEmpty, false},
    {"jan_code", "jan_code", "PAPER_GOODS_JAN_CODE", Fill::kValueOrEmpty, "",
     "PAPER_GOODS_JAN_CODE", Fill::kValueOrEmpty, false},
}};

void AppendColumn(std::string& out, std::string_view element, Fill fill, const Statement& row,
                  int column) {
  switch (fill) {
    case Fill::kNone:
      return;
    case Fill::kEmpty:
      AppendElementLine(&out, element, "");
      return;
    case Fill::kValue:
      if (const auto value = row.Text(column)) {
        AppendElementLine(&out, element, *value);
      }
      return;
    case Fill::kValueOrEmpty:
      AppendElementLine(&out, element, row.Text(column).value_or(""));
      return;
  }
}

// The description of each result column, found by its name (null for a
// column the answers do not know).
std::vector<const ProductColumn*> DescribeColumns(const Statement& statement) {
  std::vector<const ProductColumn*> described(static_cast<size_t>(statement.ColumnCount()));
  for (size_t i = 0; i < described.size(); ++i) {
    const std::string_view name = statement.ColumnName(static_cast<int>(i));
    for (const ProductColumn& column : kColumns) {
      if (column.name == name) {
        described[i] = &column;
        break;
      }
    }
  }
  return described;
}

// A statement under construction: its text and the values of its parameters.
// `refused` marks a request that named something other than a plain
// identifier as a column; it is answered as a statement that does not compile.
struct ProductQuery {
  std::string sql;
  std::vector<std::string> values;
  bool refused = false;

  // Appends a parameter for `value` and returns its number.
  std::string Parameter(std::string value) {
    values.push_back(std::move(value));
    std::string parameter = "?";
    parameter.append(std::to_string(values.size()));
    return parameter;
  }

  // Appends `key` as a column name, or marks the query refused.
  void AppendColumnName(const std::string& key) {
    if (!IsColumnKey(key)) {
      LogDebug("refused a column name from a request: " + key);
      refused = true;
    }
    sql.append(key);
  }
};

// The product statement filtered by `conditions`: each written by `write`,
// joined by " AND ". nullopt when a condition has no value.
template <class WriteCondition>
std::optional<ProductQuery> FilteredQuery(std::vector<Condition>& conditions,
                                          WriteCondition&& write) {
  ProductQuery query;
  query.sql = PaperInfos::SelectColumns();
  query.sql.append("WHERE ");
  bool first = true;
  for (Condition& condition : conditions) {
    if (!condition.value) {
      return std::nullopt;
    }
    query.sql.append(first ? "" : " AND ");
    first = false;
    write(query, condition.name, *condition.value);
  }
  return query;
}

// Runs `query` and calls `onRow(statement, columns)` for every row. False
// when the database could not be opened; a statement that is refused or does
// not compile runs as one without rows.
template <class OnRow>
bool RunProductQuery(const ProductQuery& query, OnRow&& onRow) {
  std::optional<ReadSession> session = ReadSession::Begin(ReadSession::Missing::kCreate);
  if (!session) {
    return false;
  }
  if (query.refused) {
    return true;
  }
  Statement& statement = session->Prepare(query.sql);
  if (!statement.Valid()) {
    return true;
  }
  for (size_t i = 0; i < query.values.size(); ++i) {
    if (!statement.BindText(static_cast<int>(i + 1), query.values[i])) {
      return true;
    }
  }
  const std::vector<const ProductColumn*> columns = DescribeColumns(statement);
  while (statement.NextRow()) {
    onRow(statement, columns);
  }
  return true;
}

std::string ListAnswer(const ProductQuery& query) {
  std::string answer = "<PAPER_INFO>\n";
  answer.reserve(4096);
  RunProductQuery(query, [&](const Statement& row,
                             const std::vector<const ProductColumn*>& columns) {
    answer.append("  <PAPER_GOODS>\n");
    for (size_t i = 0; i < columns.size(); ++i) {
      if (const ProductColumn* column = columns[i]) {
        AppendColumn(answer, column->listElement, column->listFill, row, static_cast<int>(i));
        if (!column->listSecond.empty()) {
          AppendColumn(answer, column->listSecond, column->listFill, row, static_cast<int>(i));
        }
      }
    }
    answer.append("  </PAPER_GOODS>\n");
  });
  answer.append("</PAPER_INFO>\n");
  return answer;
}

// "(col like ?n or ...)" over `columns`, one parameter "%value%" for all. With
// `indexed`, the rows are first narrowed to the search index's candidates
// where the value allows it; the condition itself stays the same.
void AppendKeyword(ProductQuery& query, std::initializer_list<std::string_view> columns,
                   std::string value, bool indexed = false) {
  if (std::optional<std::string> filter = indexed ? SearchIndexFilter(value) : std::nullopt) {
    query.sql.append("mpi.id IN (SELECT rowid FROM ")
        .append(kSearchIndexTable)
        .append(" WHERE ")
        .append(kSearchIndexTable)
        .append(" MATCH ")
        .append(query.Parameter(std::move(*filter)))
        .append(") AND ");
  }
  // The whole pattern "%value%" is one parameter, so it is not rebuilt for
  // every row.
  const std::string parameter = query.Parameter("%" + value + "%");
  query.sql.append("(");
  bool first = true;
  for (const std::string_view column : columns) {
    query.sql.append(first ? "" : " or ").append(column);
    query.sql.append(" like ").append(parameter);
    first = false;
  }
  query.sql.append(")");
}

// The value a DETAIL condition compares with: the stored words for the side
// and the edit mode, any other value unchanged.
std::string DetailValue(const std::string& key, const std::string& value) {
  if (key.find("goodsBackFront") != std::string::npos) {
    if (value == "front") return "\xE8\xA1\xA8";  // 表
    if (value == "back") return "\xE8\xA3\x8F";   // 裏
    return "\xE3\x81\xAA\xE3\x81\x97";            // なし
  }
  if (key == "goodsAllEdit") {
    if (value == "all") return "\xE5\x85\xA8\xE4\xBD\x93";   // 全体
    if (value == "part") return "\xE5\x80\x8B\xE5\x88\xA5";  // 個別
    return "\xE3\x81\xAA\xE3\x81\x97";                       // なし
  }
  return value;
}

}  // namespace

const std::string& PaperInfos::SelectColumns() {
  static const std::string text = [] {
    std::string sql = "SELECT  ";
    sql.append(kColumns[0].expression).append(",");
    for (size_t i = 1; i < kColumns.size(); ++i) {
      sql.append("        ").append(kColumns[i].expression);
      if (i + 1 < kColumns.size()) {
        sql.append(",");
      }
    }
    sql.append(
        "  from paper_infos mpi"
        "  inner join categories mc"
        "     on mpi.category_id = mc.categoryId"
        "  inner join paper_size_infos psize"
        "     on mpi.paperSizeInfo_id = psize.paperSizeId ");
    return sql;
  }();
  return text;
}

std::optional<std::string> PaperInfos::GetSearchList(std::vector<Condition> conditions) {
  // The query below runs inside this session, on the file the index was
  // looked for in.
  std::optional<ReadSession> session = ReadSession::Begin();
  const bool indexed = session && SearchIndexReady(*session);
  std::optional<ProductQuery> query = FilteredQuery(
      conditions, [indexed](ProductQuery& query, const std::string& key, std::string& value) {
        if (key.find("usage") != std::string::npos) {
          AppendKeyword(query,
                        {"goods", "searchSelNo", "searchNo", "goodsPartsNo", "goodsDisplayLabel"},
                        std::move(value), indexed);
        } else if (key == "category_id" && value == "99") {
          query.sql.append("category_id <> ''");
        } else if (value == "1") {
          query.sql.append("(");
          query.AppendColumnName(key);
          query.sql.append(" = ").append(query.Parameter(value)).append(" OR ");
          query.AppendColumnName(key);
          query.sql.append(" = '13')");
        } else {
          query.AppendColumnName(key);
          query.sql.append(" = ").append(query.Parameter(std::move(value)));
        }
      });
  if (!query) {
    return std::nullopt;
  }
  // The unary "+" keeps SQLite from walking the whole searchSelNo index to
  // avoid the sort: filtering first and sorting the matches is several times
  // faster, and the order is the same.
  query->sql.append(" ORDER BY +searchSelNo");
  return ListAnswer(*query);
}

std::optional<std::string> PaperInfos::GetDetail(std::vector<Condition> conditions) {
  const std::optional<ProductQuery> query = FilteredQuery(
      conditions, [](ProductQuery& query, const std::string& key, const std::string& value) {
        query.AppendColumnName(key);
        query.sql.append(" = ").append(query.Parameter(DetailValue(key, value)));
      });
  if (!query) {
    return std::nullopt;
  }

  std::string answer = "<PAPER_INFO>\n";
  answer.reserve(4096);
  size_t rows = 0;
  const bool opened = RunProductQuery(*query, [&](const Statement& row,
                                                 const std::vector<const ProductColumn*>& columns) {
    if (rows++ == 0) {
      answer.append("  <PAPER_GOODS>\n");
      for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i] != nullptr && columns[i]->head) {
          AppendColumn(answer, columns[i]->listElement, Fill::kValue, row, static_cast<int>(i));
        }
      }
    }
    answer.append("  <PAPER_GOODS_PARTS>\n");
    for (size_t i = 0; i < columns.size(); ++i) {
      if (const ProductColumn* column = columns[i]) {
        AppendColumn(answer, column->detailElement, column->detailFill, row, static_cast<int>(i));
      }
    }
    answer.append("  </PAPER_GOODS_PARTS>\n");
  });
  if (opened) {
    if (rows == 0) {
      answer.append("  <PAPER_GOODS>\n");
    }
    answer.append("    <PAPER_GOODS_NUMBER>")
        .append(std::to_string(rows))
        .append("</PAPER_GOODS_NUMBER>\n  </PAPER_GOODS>\n");
  }
  answer.append("</PAPER_INFO>\n");
  return answer;
}

std::optional<std::string> PaperInfos::GetRecentList(std::vector<Condition> conditions) {
  // A "mac_address" condition asks for this machine's rows; its value is not
  // used.
  bool identityAsked = false;
  for (const Condition& condition : conditions) {
    if (condition.name == "mac_address") {
      identityAsked = true;
    } else if (!condition.value) {
      return std::nullopt;
    }
  }
  AddColumnIfMissing("paper_infos", "jan_code");

  ProductQuery query;
  query.sql = SelectColumns();
  const std::string identity = identityAsked ? GetMacAddress() : std::string();
  query.sql.append(
      "   inner join ( select min(paper_infos.paperInfoId) id,"
      "                       event_contents3,"
      "                       logs.create_at createat"
      "                  from logs "
      "                  inner join paper_infos"
      "                     on logs.event_contents3 = paper_infos.searchSelNo"
      "                 where event_type = 3"
      "                   and mac_address = ");
  query.sql.append(query.Parameter(identity));
  query.sql.append(
      "                 group by event_contents3"
      "                 order by logs.create_at DESC "
      "                 limit 5 ) ll "
      "     on mpi.paperInfoId = ll.id");
  bool anyCondition = false;
  for (Condition& condition : conditions) {
    if (condition.name == "mac_address") {
      continue;
    }
    const bool keyword = condition.name.find("usage") != std::string::npos;
    query.sql.append(anyCondition ? " AND " : " WHERE ");
    anyCondition = true;
    if (keyword) {
      AppendKeyword(query, {"goods", "searchNo", "goodsPartsNo", "goodsDisplayLabel"},
                    std::move(*condition.value));
    } else {
      query.AppendColumnName(condition.name);
      query.sql.append(" = ").append(query.Parameter(std::move(*condition.value)));
    }
  }
  query.sql.append(" ORDER BY ll.createat DESC ");
  return ListAnswer(query);
}

std::string PaperInfos::GetSvgData(std::string name) {
  // The name is a file below the data folder; a leading "/" is the data
  // folder itself, as are the "\" separators the catalogue's paths may carry.
  std::string relative = std::move(name);
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  relative.erase(0, relative.find_first_not_of('/'));
  if (relative.empty()) {
    return std::string();
  }
  const std::optional<std::string> file = ResolveInsideFolder(GetDataFolder(), relative);
  if (!file) {
    LogDebug("refused a drawing file outside the data folder: " + relative);
    return std::string();
  }
  // Drawing files only: never the catalogue, its journals, the version files
  // or files being written, whatever name or link leads to them.
  std::error_code error;
  const std::string resolved =
      std::filesystem::path(*file)
          .lexically_relative(std::filesystem::weakly_canonical(GetDataFolder(), error))
          .string();
  std::string refusal = DrawingFileRefusal(relative);
  if (refusal.empty()) {
    refusal = DrawingFileRefusal(resolved);
  }
  if (!refusal.empty()) {
    LogInfo("refused to read \"" + relative.substr(0, 200) + "\" as a drawing file: " + refusal);
    return std::string();
  }
  if (!std::filesystem::is_regular_file(*file, error)) {
    return std::string();
  }
  std::ifstream in(*file, std::ios::binary);
  if (!in) {
    return std::string();
  }
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  // Lines are joined without their ends ("\n" or "\r\n").
  std::string answer;
  answer.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' || (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) {
      continue;
    }
    answer.push_back(bytes[i]);
  }
  return answer;
}

}  // namespace qb
