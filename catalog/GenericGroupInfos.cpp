#include "catalog/GenericGroupInfos.h"

#include <array>
#include <span>

#include "catalog/ReadSession.h"
#include "catalog/ElementLayout.h"
#include "catalog/ScanPictFolder.h"
#include "util/MacAddress.h"
#include "util/Text.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

constexpr std::string_view kListOpen = "<genGroupList>\n";
constexpr std::string_view kListClose = "</genGroupList>\n";

constexpr std::array<ElementName, 8> kGroupElements{{
    {"level", "level"},
    {"subLevel", "slevel"},
    {"hasSubLevel", "hasSubLevel"},
    {"name", "name"},
    {"thumbnailUrl", "thumbnail"},
    {"thumbnailHitUrl", "thumbnailH"},
    {"thumbnailUpUrl", "thumbnailP"},
    {"thumbnailClickUrl", "thumbnailS"},
}};

constexpr std::array<ElementName, 7> kBackGroupElements{{
    {"level", "level"},
    {"subLevel", "slevel"},
    {"name", "name"},
    {"thumbnailUrl", "thumbnail"},
    {"thumbnailHitUrl", "thumbnailH"},
    {"thumbnailUpUrl", "thumbnailP"},
    {"thumbnailClickUrl", "thumbnailS"},
}};

// The group that stands for the recently used pictures; the client asks for
// its pictures with sub-level 99.
constexpr std::string_view kRecentGroupRest =
    "</pno>\n"
    "    <level>0</level>\n"
    "    <slevel>99</slevel>\n"
    "    <hasSubLevel>0</hasSubLevel>\n"
    "    <name>最近使った画像</name>\n"
    "    <thumbnail>/pictGroup/tab_recently_1.png</thumbnail>\n"
    "    <thumbnailH>/pictGroup/tab_recently_1_h.png</thumbnailH>\n"
    "    <thumbnailP>/pictGroup/tab_recently_1_p.png</thumbnailP>\n"
    "    <thumbnailS>/pictGroup/tab_recently_2.png</thumbnailS>\n"
    "  </genGroupInfo>\n";

constexpr size_t kRecentRowLimit = 5;

// Writes the groups `statement` yields, numbered from `first`; returns how
// many were written and, in `firstLevel`, the level text of the first one.
int64_t AppendGroups(Statement& statement, std::span<const ElementName> elements, int64_t first,
                     std::string* out, std::optional<std::string>* firstLevel) {
  const ElementLayout layout(statement, elements);
  const int levelColumn = FindResultColumn(statement, "level");
  bool firstRow = true;
  return AppendNumberedRecords(statement, layout, "genGroupInfo", first, out,
                               [&](const Statement& row, std::string*) {
                                 if (firstRow && firstLevel != nullptr && levelColumn >= 0) {
                                   if (const auto level = row.Text(levelColumn)) {
                                     *firstLevel = std::string(*level);
                                   }
                                 }
                                 firstRow = false;
                               });
}

}  // namespace

std::string_view GenericGroupInfos::SelectColumns() {
  return "select id "
         "      ,groupInfoId "
         "      ,kbn "
         "      ,level "
         "      ,subLevel "
         "      ,hasSubLevel "
         "      ,name "
         "      ,folder "
         "      ,thumbnailUrl "
         "      ,thumbnailHitUrl "
         "      ,thumbnailUpUrl "
         "      ,thumbnailDisUrl "
         "      ,thumbnailClickUrl "
         "  from generic_group_infos ";
}

std::optional<std::string> GenericGroupInfos::GetGroupList(const Condition& condition) const {
  const std::string column = condition.name.find("subLevel") != std::string::npos
                                 ? std::string("level")
                                 : condition.name;
  std::string answer(kListOpen);
  if (!column.empty() && !condition.value) {
    return std::nullopt;
  }
  if (!IsColumnKey(column)) {
    answer.append(kListClose);
    return answer;
  }
  if (std::optional<ReadSession> session = ReadSession::Begin()) {
    std::string sql(SelectColumns());
    sql.append(" WHERE kbn = 4 AND ").append(column).append(" = ?");
    Statement& statement = session->Prepare(sql);
    if (statement.Valid() && statement.BindText(1, *condition.value)) {
      std::optional<std::string> firstLevel;
      const int64_t count = AppendGroups(statement, kGroupElements, 0, &answer, &firstLevel);
      if (count > 0 && firstLevel == "0") {
        answer.append("  <genGroupInfo>\n    <pno>");
        AppendNumber(&answer, count);
        answer.append(kRecentGroupRest);
      }
    }
  }
  answer.append(kListClose);
  return answer;
}

std::string GenericGroupInfos::GetBackGroupList() const {
  std::string answer(kListOpen);
  if (std::optional<ReadSession> session = ReadSession::Begin()) {
    std::string sql(SelectColumns());
    sql.append(" WHERE kbn = 1 ");
    Statement& statement = session->Prepare(sql);
    AppendGroups(statement, kBackGroupElements, 1, &answer, nullptr);
  }
  answer.append(kListClose);
  return answer;
}

std::optional<std::string> GenericGroupInfos::GetPictList(const Condition& condition,
                                                          PictMode mode) const {
  std::string filter;
  bool bindValue = true;
  if (condition.name.find("level") != std::string::npos) {
    if (!condition.value) {
      return std::nullopt;
    }
    if (condition.value->find("99") != std::string::npos) {
      return GetRecentPictList();
    }
    filter = "subLevel = ?";
  } else if (condition.name.find("mac_address") != std::string::npos) {
    // No filter: the statement would end in "and" and never compile.
    return std::string(kPictListOpen).append(kPictListClose);
  } else {
    if (!condition.value) {
      return std::nullopt;
    }
    if (!IsColumnKey(condition.name)) {
      return std::string(kPictListOpen).append(kPictListClose);
    }
    // The value "null" compares with SQL NULL, which no row equals.
    bindValue = *condition.value != "null";
    filter = condition.name + (bindValue ? " = ?" : " = null");
  }

  std::string answer(kPictListOpen);
  if (std::optional<ReadSession> session = ReadSession::Begin()) {
    std::string sql(SelectColumns());
    sql.append(mode == PictMode::kBackground ? " WHERE kbn = 1 and " : " WHERE kbn = 4 and ");
    sql.append(filter);
    Statement& statement = session->Prepare(sql);
    const int folderColumn = FindResultColumn(statement, "folder");
    const bool bound =
        statement.Valid() && (!bindValue || statement.BindText(1, *condition.value));
    const std::string dataFolder = GetDataFolder();
    const std::string_view kind =
        mode == PictMode::kBackground ? "sozai/汎用素材" : "sozai4_S/汎用素材";
    while (bound && statement.NextRow()) {
      if (const std::optional<std::string_view> folder = statement.Text(folderColumn)) {
        ScanMaterialFolder(dataFolder, kind, *folder, &answer);
      }
    }
  }
  answer.append(kPictListClose);
  return answer;
}

std::string GenericGroupInfos::GetRecentPictList() {
  std::string answer(kPictListOpen);
  if (std::optional<ReadSession> session = ReadSession::Begin()) {
    Statement& statement = session->Prepare(
        "SELECT event_contents1                 "
        "  FROM logs                            "
        " WHERE event_type  = '3'               "
        "   AND mac_address = ?"
        " ORDER BY create_at DESC               "
        " LIMIT 5");
    if (statement.Valid() && statement.BindText(1, GetMacAddress())) {
      std::vector<std::string> pieces;
      for (size_t rows = 0; rows < kRecentRowLimit && statement.NextRow(); ++rows) {
        const std::optional<std::string_view> contents = statement.Text(0);
        pieces.clear();
        Split(&pieces, contents.value_or(std::string_view()), ",");
        for (size_t i = 0; i < pieces.size(); ++i) {
          const size_t slash = pieces[i].find('/');
          if (slash != std::string::npos) {
            AppendPictRecord(&answer, static_cast<int64_t>(i),
                             std::string_view(pieces[i]).substr(slash));
          }
        }
      }
    }
  }
  answer.append(kPictListClose);
  return answer;
}

}  // namespace qb
