// The printer the user chose last for each sheet size, remembered in the
// group [Print] of the user's configuration file, one key per size in
// millimetres as the client gives it ("100x50mm=Label_Printer"). A system-wide
// file may set the same keys as a default for every user.
//
// Thread contract: stateless; Recall and the list on any thread; Remember and
// Forget on the UI thread (the configuration file's one writer).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/Result.h"

namespace qb {

struct RememberedPrinter {
  std::string sheet;    // the key of the sheet size ("100x50mm")
  std::string printer;  // the print queue

  bool operator==(const RememberedPrinter&) const = default;
};

// The group of the keys.
inline constexpr std::string_view kPrinterMemoryGroup = "Print";

// The key of a sheet of `width` x `height` millimetres ("100x50mm").
std::string SheetKey(int width, int height);
// True for a key SheetKey makes: digits, "x", digits, "mm".
bool IsSheetKey(std::string_view key);
// The printer remembered for the sheet; empty when none is.
std::string RecallPrinter(int width, int height);
// Remembers `printer` for the sheet in the user's configuration file.
Result<> RememberPrinter(int width, int height, const std::string& printer);
// Every sheet size a printer is remembered for, as RecallPrinter finds them
// (the user's file first, then the system-wide ones), in file order.
std::vector<RememberedPrinter> RememberedPrinterList();
// Forgets the printer remembered for the sheet `sheetKey` (as SheetKey
// writes it) in the user's file: prints of that size go to the default
// destination again.
Result<> ForgetPrinter(const std::string& sheetKey);

}  // namespace qb
