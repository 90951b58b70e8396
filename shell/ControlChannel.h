// The control channel of the running server: a Unix stream socket in the
// runtime folder. A client sends one ASCII line ("1035", "1037 <param>",
// "1041"); the server answers one line, "ok" or "unknown", and closes.
// Meanings: 1035 bind the listening socket again; 1037 quit, but only with
// the parameter 513; 1041 quit. Signals stand for some of them.
//
// Besides, the line "status" asks the running server about itself: it
// answers "key=value" lines (pid, uptime in seconds, where it listens,
// headless or not, the display, the catalogue server, its version) and
// closes.
//
// The line "show" asks it to show its status window: it answers "ok", or
// "headless" when it runs without a display.
//
// Thread contract: stateless; any thread.
#pragma once

#include <signal.h>

#include <optional>
#include <string>
#include <string_view>

namespace qb {

inline constexpr int kMsgRelisten = 1035;
inline constexpr int kMsgNotify = 1037;
inline constexpr int kMsgQuit = 1041;
inline constexpr int kNotifyQuitParam = 513;

inline constexpr std::string_view kStatusRequest = "status";
inline constexpr std::string_view kShowRequest = "show";
inline constexpr std::string_view kShowHeadless = "headless";

enum class ControlAction { kNone, kRelisten, kQuit, kUnknown };

// The signals that stand for control messages: SIGTERM and SIGINT (quit),
// SIGHUP (rebind).
sigset_t ControlSignals();

// What message `code` with `param` asks for.
ControlAction ActionFor(int code, int param);

struct ControlMessage {
  int code = 0;
  int param = 0;  // 0 when the line gives none
};

// Reads a control line: a decimal code, optionally a blank and a decimal
// parameter. Nullopt when the line is not of that form.
std::optional<ControlMessage> ParseControlLine(std::string_view line);

// Sends `line` to the server listening on `socketPath`; its reply (without
// the last line end; at most 4 KiB), or nullopt when no server answers there.
std::optional<std::string> SendControlMessage(const std::string& socketPath,
                                              const std::string& line);

// The value of `key` in a "key=value" reply to the status request; empty
// when the reply has no such line.
std::string StatusValue(std::string_view reply, std::string_view key);

}  // namespace qb
