// The outcome of an operation that can fail for a reason worth telling: a
// value, or the text saying why there is none. Operations that only have a
// value or none return std::optional; those whose caller logs or shows the
// reason return Result<T>, and actions that have no value return Result<>
// (true when done).
//
//   Result<std::string> Fetch(...) { ...; return Failure{"status 404"}; }
//   if (const auto text = Fetch(...)) Use(*text); else LogError(text.Error());
//
// A failure the caller must tell apart by number (an errno) carries it too:
//   return Failure{std::strerror(errno), errno};  ...  if (opened.Code() == EADDRINUSE)
//
// Thread contract: a plain value type.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace qb {

// Why an operation failed; converts to any Result.
struct Failure {
  std::string reason;
  int code = 0;  // a number the caller acts on (an errno), 0 when none
};

template <typename T = void>
class [[nodiscard]] Result {
 public:
  Result(T value) : m_value(std::move(value)) {}  // NOLINT: a value is a success
  Result(Failure failure) : m_error(std::move(failure.reason)), m_code(failure.code) {}  // NOLINT

  explicit operator bool() const { return m_value.has_value(); }
  bool has_value() const { return m_value.has_value(); }
  T& operator*() { return *m_value; }
  const T& operator*() const { return *m_value; }
  T* operator->() { return &*m_value; }
  const T* operator->() const { return &*m_value; }
  T value_or(T fallback) const { return m_value ? *m_value : std::move(fallback); }
  // Why it failed; empty after a success.
  const std::string& Error() const { return m_error; }
  // The failure's number (Failure::code); 0 after a success.
  int Code() const { return m_code; }

 private:
  std::optional<T> m_value;
  std::string m_error;
  int m_code = 0;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;  // done
  Result(Failure failure) : m_bOk(false), m_error(std::move(failure.reason)) {}  // NOLINT

  explicit operator bool() const { return m_bOk; }
  const std::string& Error() const { return m_error; }

 private:
  bool m_bOk = true;
  std::string m_error;
};

}  // namespace qb
