// The printer the user chose last for each sheet size, remembered in the
// group [Print] of the user's configuration file, one key per size in
// millimetres as the client gives it ("100x50mm=Label_Printer"). A system-wide
// file may set the same keys as a default for every user.
//
// Thread contract: stateless; Recall on any thread; Remember on the UI thread
// (the configuration file's one writer).
#pragma once

#include <string>

#include "util/Result.h"

namespace qb {

// The key of a sheet of `width` x `height` millimetres ("100x50mm").
std::string SheetKey(int width, int height);
// The printer remembered for the sheet; empty when none is.
std::string RecallPrinter(int width, int height);
// Remembers `printer` for the sheet in the user's configuration file.
Result<> RememberPrinter(int width, int height, const std::string& printer);

}  // namespace qb
