#include "native_protocol/authorization/validation_error.h"

namespace vornakel::native_protocol {

ValidationError ValidationError::missing(std::string field) {
  ValidationError error(Kind::kMissing);
  error.field_ = std::move(field);
  return error;
}

ValidationError ValidationError::invalid_length(std::string field, uint64_t expected,
                                                uint64_t actual) {
  ValidationError error(Kind::kInvalidLength);
  error.field_ = std::move(field);
  error.expected_ = expected;
  error.actual_ = actual;
  return error;
}

ValidationError ValidationError::invalid_field(std::string field) {
  ValidationError error(Kind::kInvalidField);
  error.field_ = std::move(field);
  return error;
}

ValidationError ValidationError::limit_exceeded(std::string field, uint64_t limit) {
  ValidationError error(Kind::kLimitExceeded);
  error.field_ = std::move(field);
  error.expected_ = limit;
  return error;
}

ValidationError ValidationError::permission(PermissionError permission_error) {
  ValidationError error(Kind::kPermission);
  error.permission_ = permission_error;
  return error;
}

ValidationError ValidationError::ticket_expired() { return ValidationError(Kind::kTicketExpired); }

ValidationError ValidationError::ticket_from_future() {
  return ValidationError(Kind::kTicketFromFuture);
}

ValidationError ValidationError::ticket_lifetime() {
  return ValidationError(Kind::kTicketLifetime);
}

ValidationError ValidationError::binding_mismatch(std::string what) {
  ValidationError error(Kind::kBindingMismatch);
  error.field_ = std::move(what);
  return error;
}

std::string ValidationError::text() const {
  switch (kind_) {
    case Kind::kMissing:
      return "missing required field " + field_;
    case Kind::kInvalidLength:
      return field_ + " must be " + std::to_string(expected_) + " bytes; got " +
             std::to_string(actual_);
    case Kind::kInvalidField:
      return "invalid field " + field_;
    case Kind::kLimitExceeded:
      return field_ + " exceeds limit " + std::to_string(expected_);
    case Kind::kPermission:
      return permission_.text();
    case Kind::kTicketExpired:
      return "session ticket expired";
    case Kind::kTicketFromFuture:
      return "session ticket issue time exceeds clock-skew allowance";
    case Kind::kTicketLifetime:
      return "invalid session ticket lifetime";
    case Kind::kBindingMismatch:
      return "ticket binding mismatch for " + field_;
  }
  return {};
}

}  // namespace vornakel::native_protocol
