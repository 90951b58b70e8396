#include "catalog/TemplateInfos.h"

#include <sys/stat.h>

#include <array>

#include "catalog/ReadSession.h"
#include "catalog/ElementLayout.h"
#include "util/UserFolders.h"

namespace qb {
namespace {

constexpr std::array<ElementName, 3> kPlainElements{{
    {"templateInfoId", "templateInfoId"},
    {"templateName", "templateName"},
    {"goodsThumbName", "goodsThumbName"},
}};

// The element of a stored file URL: the path of its file in `templateFolder`
// when that names an existing file (not a folder), else NO_DATA. NULL writes
// nothing.
void AppendLocalFile(const Statement& statement, int column, std::string_view element,
                     const std::string& templateFolder, std::string* path, std::string* out) {
  const std::optional<std::string_view> url = column >= 0 ? statement.Text(column) : std::nullopt;
  if (!url) {
    return;
  }
  const size_t slash = url->rfind('/');
  path->assign(templateFolder).append(slash == std::string_view::npos ? *url
                                                                      : url->substr(slash + 1));
  struct stat info {};
  const bool present = stat(path->c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
  AppendElementLine(out, element, present ? std::string_view(*path) : "NO_DATA");
}

}  // namespace

std::string_view TemplateInfos::SelectColumns() {
  return "select  tm.templateInfoId, "
         "        tm.templateName, "
         "        tm.goodsThumbName, "
         "        tm.templateUrl, "
         "        tm.thumbnailUrl "
         "  from template_infos tm "
         "  left join paper_infos pr "
         "    on tm.goodsThumbName = pr.goodsThumbName "
         " where pr.goodsPartsNo = ?1";
}

std::string TemplateInfos::GetTemplateList(std::string_view partNumber) const {
  std::string answer = "<templateList>\n";
  if (std::optional<ReadSession> session = ReadSession::Begin()) {
    std::string sql(SelectColumns());
    sql.append(" ORDER BY templateInfoId ");
    Statement& statement = session->Prepare(sql);
    const ElementLayout layout(statement, kPlainElements);
    const int templateColumn = FindResultColumn(statement, "templateUrl");
    const int thumbnailColumn = FindResultColumn(statement, "thumbnailUrl");
    const std::string templateFolder = GetDataFolder() + "/template/";
    std::string path;
    if (statement.Valid() && statement.BindText(1, partNumber)) {
      AppendNumberedRecords(
          statement, layout, "templateInfo", 1, &answer,
          [&](const Statement& row, std::string* out) {
            AppendLocalFile(row, templateColumn, "templateUrl", templateFolder, &path, out);
            AppendLocalFile(row, thumbnailColumn, "thumbnailUrl", templateFolder, &path, out);
          });
    }
  }
  answer.append("</templateList>\n");
  return answer;
}

}  // namespace qb
