#include "output/PrinterMemory.h"

#include <gtest/gtest.h>

#include "ConfigFolders.h"
#include "TempDir.h"

namespace qb {
namespace {

class PrinterMemoryTest : public ::testing::Test {
 protected:
  std::string UserFile() const { return m_folders.UserFile(); }
  std::string SystemFile() const { return m_folders.SystemFile(); }
  qbtest::ConfigFolders m_folders;
};

// The list holds the sheet keys RecallPrinter would find, the user's value
// first; other [Print] keys and empty values are not remembered printers.
// Forgetting one empties the user's key, so the sheet prints to the default.
TEST_F(PrinterMemoryTest, ListsTheRememberedSheetsAndForgetsOne) {
  ASSERT_TRUE(RememberPrinter(100, 50, "Labels"));
  ASSERT_TRUE(RememberPrinter(62, 29, "Small"));
  qbtest::WriteFile(SystemFile(), "[Print]\n100x50mm=Office\n90x40mm=Office\ncolour=blue\n"
                                  "62x29=Other\n");
  EXPECT_EQ(RememberedPrinterList(),
            (std::vector<RememberedPrinter>{
                {"100x50mm", "Labels"}, {"62x29mm", "Small"}, {"90x40mm", "Office"}}));

  ASSERT_TRUE(ForgetPrinter("62x29mm"));
  EXPECT_EQ(RecallPrinter(62, 29), "");
  EXPECT_EQ(RecallPrinter(100, 50), "Labels");
  EXPECT_EQ(RememberedPrinterList(), (std::vector<RememberedPrinter>{{"100x50mm", "Labels"},
                                                                      {"90x40mm", "Office"}}));
}

}  // namespace
}  // namespace qb
