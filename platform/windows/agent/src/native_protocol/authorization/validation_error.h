// Errors of the ticket claim checks and of the control envelope checks.
#ifndef VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_VALIDATION_ERROR_H_
#define VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_VALIDATION_ERROR_H_

#include <cstdint>
#include <string>

#include "native_protocol/authorization/permissions.h"

namespace vornakel::native_protocol {

class ValidationError {
 public:
  enum class Kind {
    kMissing,
    kInvalidLength,
    kInvalidField,
    kLimitExceeded,
    kPermission,
    kTicketExpired,
    kTicketFromFuture,
    kTicketLifetime,
    kBindingMismatch,
  };

  static ValidationError missing(std::string field);
  static ValidationError invalid_length(std::string field, uint64_t expected, uint64_t actual);
  static ValidationError invalid_field(std::string field);
  static ValidationError limit_exceeded(std::string field, uint64_t limit);
  static ValidationError permission(PermissionError error);
  static ValidationError ticket_expired();
  static ValidationError ticket_from_future();
  static ValidationError ticket_lifetime();
  static ValidationError binding_mismatch(std::string what);

  Kind kind() const { return kind_; }
  const std::string& field() const { return field_; }
  std::string text() const;

  bool operator==(const ValidationError&) const = default;

 private:
  explicit ValidationError(Kind kind) : kind_(kind) {}
  Kind kind_;
  std::string field_;
  uint64_t expected_ = 0;  // or the limit
  uint64_t actual_ = 0;
  PermissionError permission_ = PermissionError::unspecified();
};

}  // namespace vornakel::native_protocol

#endif  // VORNAKEL_NATIVE_PROTOCOL_AUTHORIZATION_VALIDATION_ERROR_H_
