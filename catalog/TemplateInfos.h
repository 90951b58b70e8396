// Queries on the label templates (table template_infos): the templates of a
// product with the local paths of their downloaded files.
//
// Thread contract: no state; an instance serves one request on the calling
// thread and opens its own read-only connection.
#pragma once

#include <string>
#include <string_view>

namespace qb {

class TemplateInfos {
 public:
  ~TemplateInfos() = default;

  // The statement text up to the bound part number ?1.
  static std::string_view SelectColumns();

  // "<templateList>" with one "templateInfo" record, numbered from 1, per
  // template and product row of the part number `partNumber` sharing its
  // goodsThumbName, by templateInfoId. The file columns carry the path of the
  // file in the data folder's "template" folder, or NO_DATA when no such file
  // is there.
  std::string GetTemplateList(std::string_view partNumber) const;
};

}  // namespace qb
