// Answers of "dbAccess/TEMPLATE_LIST" and "dbAccess/TEMPLATE_DATA".
#include <filesystem>
#include <optional>
#include <string>

#include "catalog/PictureCatalogue.h"
#include "server/PictureRoutes.h"

namespace qb {
namespace {

class TemplateInfosTest : public qbtest::PictureCatalogue {};

TEST_F(TemplateInfosTest, TemplatesOfAPartNumber) {
  const std::string folder = DataFolder() + "/template/";
  auto plain = [&](int number) {
    return "  <templateInfo>\n    <pno>" + std::to_string(number) +
           "</pno>\n    <templateInfoId>3</templateInfoId>\n    <goodsThumbName>thumbA"
           "</goodsThumbName>\n    <templateUrl>" + folder + "plain.qx3</templateUrl>\n"
           "</templateInfo>\n";
  };
  auto seven = [&](int number) {
    return "  <templateInfo>\n    <pno>" + std::to_string(number) +
           "</pno>\n    <templateInfoId>7</templateInfoId>\n"
           "    <templateName>ラベル & <A></templateName>\n"
           "    <goodsThumbName>thumbA</goodsThumbName>\n"
           "    <templateUrl>" + folder + "t7.qx3</templateUrl>\n"
           "    <thumbnailUrl>NO_DATA</thumbnailUrl>\n</templateInfo>\n";
  };
  const std::string nine =
      "  <templateInfo>\n    <pno>1</pno>\n    <templateInfoId>9</templateInfoId>\n"
      "    <templateName>B</templateName>\n    <goodsThumbName>thumbB</goodsThumbName>\n"
      "    <templateUrl>NO_DATA</templateUrl>\n"
      "    <thumbnailUrl>" + folder + "b.png</thumbnailUrl>\n</templateInfo>\n";
  auto list = [](const std::string& records) {
    return "<templateList>\n" + records + "</templateList>\n";
  };
  struct Row {
    const char* name;
    std::string argument;
    std::optional<std::string> answer;  // nullopt: malformed, the server error
  };
  const Row rows[] = {
      {"one record per product sharing part number and thumbnail, NULLs left out, "
       "missing file NO_DATA, URL without / looked up whole",
       "partsNo=P-100", list(plain(1) + plain(2) + seven(3) + seven(4))},
      {"a folder of the file's name is NO_DATA", "x=P-101", list(nine)},
      {"apostrophe in the part number", "x=P'Q", list(nine)},
      {"pieces after the first are ignored", "a=P-101&b=P-100", list(nine)},
      {"part number without products", "x=NONE", list("")},
      {"pair without =", "P-100", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ServeTemplateList(row.argument), row.answer);
  }
}

TEST_F(TemplateInfosTest, TemplateDataStaysInTheDataFolder) {
  const std::string data = DataFolder();
  qbtest::WriteFile(data + "/template/bin.qx3", std::string("\x00\xff" "Ab", 4));
  qbtest::WriteFile(data + "/../secret", "s");
  std::filesystem::create_symlink(data + "/../secret", data + "/template/out.qx3");
  struct Row {
    const char* name;
    std::string argument;
    std::string answer;
  };
  const Row rows[] = {
      {"absolute path inside", data + "/template/bin.qx3", "00ff4162"},
      {"relative path resolves in the data folder", "template/bin.qx3", "00ff4162"},
      {"missing file", "template/none.qx3", ""},
      {"a folder", "template", ""},
      {"absolute path outside", "/etc/passwd", ""},
      {"dot-dot out", "../../x", ""},
      {"dot-dot out after a folder", "template/../../secret", ""},
      {"symbolic link out", "template/out.qx3", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ServeTemplateData(row.argument), row.answer);
  }
}

}  // namespace
}  // namespace qb
