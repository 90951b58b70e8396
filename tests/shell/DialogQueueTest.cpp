#include <gtest/gtest.h>

#include <string>

#include "shell/DialogQueue.h"

namespace qb {
namespace {

TEST(DialogQueue, ItemsArrivingWhileADialogIsOpenRunAfterItInOrder) {
  DialogQueue queue;
  std::string events;
  auto drop = [&events] { events += "dropped "; };
  queue.Run(
      [&] {
        events += "first-open ";
        // Posted work handled inside the first dialog's event loop.
        queue.Run([&] { events += "second "; }, drop);
        queue.Run([&] { events += "third "; }, drop);
        EXPECT_TRUE(queue.Busy());
        EXPECT_EQ(queue.Waiting(), 2u);
        events += "first-closed ";
      },
      drop);
  EXPECT_EQ(events, "first-open first-closed second third ");
  EXPECT_FALSE(queue.Busy());
  EXPECT_EQ(queue.Waiting(), 0u);
}

TEST(DialogQueue, StopDropsWhatWaitsAndWhatComesLater) {
  DialogQueue queue;
  std::string events;
  queue.Run(
      [&] {
        queue.Run([&] { events += "shown "; }, [&] { events += "dropped "; });
        queue.Stop();  // the server stops while the dialog is open
      },
      nullptr);
  queue.Run([&] { events += "shown "; }, [&] { events += "late "; });
  EXPECT_EQ(events, "dropped late ");
}

}  // namespace
}  // namespace qb
